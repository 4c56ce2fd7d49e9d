#include <gtest/gtest.h>

#include <array>
#include <string_view>

#include "ranges/QueueMerge.h"

namespace {

// Ranges in billions of p, to keep the table readable.
constexpr uint64_t G = 1'000'000'000;
const Range A{100 * G, 110 * G};
const Range B{110 * G, 120 * G};
const Range C{120 * G, 130 * G};
const Range D{200 * G, 210 * G};   // appended by someone else
const Range A2{100 * G, 105 * G};  // A edited
const Range AB{105 * G, 115 * G};  // across A and B
const Range E{300 * G, 310 * G};   // added by the user, far from the rest

TEST(MergeQueueEdit, AppliesTheEditToTheFileAsItIsNow) {
  struct Case {
    std::string_view what;
    std::vector<Range> asRead, edited, now;
    MergedQueue merged;
  };
  const std::array cases{
      Case{"nothing changed anywhere", {A, B}, {A, B}, {A, B}, {{A, B}, {}}},
      Case{"user deleted, nothing taken", {A, B, C}, {A, C}, {A, B, C}, {{A, C}, {}}},
      Case{"client took the first range", {A, B}, {A, B}, {B}, {{B}, {}}},
      Case{"client took every range", {A, B}, {A, B}, {}, {{}, {}}},
      Case{"client took one, user deleted the one after", {A, B, C}, {A, C}, {B, C}, {{C}, {}}},
      Case{"client took one, user edited it", {A, B}, {A2, B}, {B}, {{B}, {A2}}},
      Case{"client took one, user added across it", {A, C}, {A, AB, C}, {C}, {{C}, {AB}}},
      Case{"client took one, user edited the one after",
           {A, B},
           {A, Range{110 * G, 119 * G}},
           {B},
           {{Range{110 * G, 119 * G}}, {}}},
      Case{"client took one, user added after", {A, B}, {A, B, E}, {B}, {{B, E}, {}}},
      Case{"client took one, user added before", {A, B}, {E, A, B}, {B}, {{E, B}, {}}},
      Case{"client took one, a range touching it is no overlap",
           {A, C},
           {Range{90 * G, 100 * G}, C},
           {C},
           {{Range{90 * G, 100 * G}, C}, {}}},
      Case{"someone appended a range", {A, B}, {A, B, E}, {A, B, D}, {{A, B, E, D}, {}}},
      Case{"someone appended, user deleted all", {A, B}, {}, {A, B, D}, {{D}, {}}},
      Case{"client took one and someone appended", {A, B}, {A2, B}, {B, D}, {{B, D}, {A2}}},
      Case{"the same range twice, one taken", {A, A}, {A, A}, {A}, {{A}, {}}},
      Case{"a range added by the user and by others is queued once",
           {A},
           {A, E},
           {A, E},
           {{A, E}, {}}},
      Case{"a file read empty that got ranges", {}, {E}, {D}, {{E, D}, {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const MergedQueue merged = MergeQueueEdit(c.asRead, c.edited, c.now);
    EXPECT_EQ(merged.Queue, c.merged.Queue);
    EXPECT_EQ(merged.LeftOut, c.merged.LeftOut);
  }
}

// A range moved from one machine's queue to another's while the first
// machine's client took it must not be queued on the second as well.
TEST(MergeQueueEdit, LeavesOutWhatWasTakenFromAnotherFile) {
  const std::vector<Range> takenElsewhere = TakenRanges({A, B}, {B});
  EXPECT_EQ(takenElsewhere, std::vector<Range>{A});
  const MergedQueue merged = MergeQueueEdit({C}, {A, C}, {C}, takenElsewhere);
  EXPECT_EQ(merged.Queue, std::vector<Range>{C});
  EXPECT_EQ(merged.LeftOut, std::vector<Range>{A});
}

TEST(OutsideOf, CutsWhatWasTakenOutOfEachRange) {
  struct Case {
    std::string_view what;
    std::vector<Range> ranges, taken, outside;
  };
  const std::array cases{
      Case{"nothing taken", {A, B}, {}, {A, B}},
      Case{"a range taken whole", {A, B}, {A}, {B}},
      Case{"a range touching the taken one stays whole", {B}, {A}, {B}},
      Case{"the end of a range taken", {AB}, {A}, {Range{110 * G, 115 * G}}},
      Case{"the middle of a range taken",
           {Range{95 * G, 120 * G}},
           {A},
           {Range{95 * G, 100 * G}, Range{110 * G, 120 * G}}},
      Case{"a range inside the taken one", {A2}, {A}, {}},
      Case{"two ranges taken from one", {Range{100 * G, 130 * G}}, {A, C}, {B}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(OutsideOf(c.ranges, c.taken), c.outside);
  }
}

}  // namespace

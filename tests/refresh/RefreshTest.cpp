#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <filesystem>
#include <mutex>
#include <numeric>
#include <sstream>

#include "farm/Refresh.h"
#include "location/CurlFetcher.h"
#include "monitor/MachineRow.h"
#include "monitor/StatusFile.h"
#include "ranges/QueueFile.h"
#include "support/HttpTestServer.h"
#include "support/ReadStatusFile.h"
#include "support/TempDir.h"

namespace {

using namespace std::chrono_literals;

// Short enough for the silent host, long enough for a loaded machine (or
// ThreadSanitizer) to answer the others.
const FetchLimits kShortLimits{.connectTimeout = 3000ms, .stallTimeout = 3s};

const std::string kStatus =
    "pmax=2000000000000\npmin=1000000000000 : 40 kp/s\npmin=1000500000000 : 60 kp/s\n";
const std::string kFactors =
    "1000000000123 | 3*2^100+1\n# a comment\n1000000000457 | 5*2^200+1\n"
    "1000100000789 | 7*2^300+1\n";

// Everything a refresh leaves behind, as text, for comparing and for
// readable failures. Why a file failed is shown only as failed: libcurl's
// texts carry timings.
std::string Describe(const Model& model) {
  std::ostringstream out;
  for (const Machine& m : model.Machines) {
    out << m.Name << ": total " << m.TotalFactors << " range " << m.RangeFactors << " ["
        << m.RangeStart << ", " << m.Pmax << "] at " << m.CurrentP << " speed " << m.Speed
        << (m.Done ? " done" : "") << " last old " << m.LastOldFactor << " queue";
    for (const Range& r : m.QueuedRanges) out << ' ' << r.Pmin << '-' << r.Pmax;
    out << " errors " << !m.StatusError.empty() << !m.QueueError.empty() << !m.FactorError.empty()
        << "\n  row";
    for (const std::string& cell : MachineRowTexts(m)) out << " | " << cell;
    out << '\n';
  }
  out << "new " << model.NewFactorCount << ":\n"
      << model.NewFactorsText << "all:\n"
      << model.AllFactorsText << "marks:";
  for (const NewFactorMark& mark : model.Marks)
    out << ' ' << mark.MachineIndex << '@' << mark.Factor;
  out << "\nbusy " << model.RefreshBusy << model.SubmitBusy << '\n';
  return out.str();
}

// Reads one machine after the other, as a refresh without threads would.
void RefreshOneAtATime(Model& model, const Fetcher& fetcher) {
  model.Marks.clear();
  model.NewFactorsText.clear();
  model.AllFactorsText.clear();
  model.NewFactorCount = 0;
  for (size_t i = 0; i < model.Machines.size(); ++i) ReadStatusFile(model, i, fetcher);
}

class RefreshTest : public ::testing::Test {
 protected:
  // A machine whose files lie in folder `name` of the temporary folder.
  Machine LocalMachine(const std::string& name, const std::string& status,
                       const std::string& factors, uint64_t lastOld = 0) {
    const std::string statusPath = dir_.write(name + "/QsvStatus.dat", status);
    return Machine(name, dir_.write(name + "/fact.txt", factors), statusPath, lastOld);
  }

  Machine HttpMachine(const std::string& name, const std::string& status,
                      const std::string& factors, uint64_t lastOld = 0) {
    server_.serve("/" + name + "/QsvStatus.dat", status);
    server_.serve("/" + name + "/fact.txt", factors);
    return Machine(name, server_.url("/" + name + "/fact.txt"),
                   server_.url("/" + name + "/QsvStatus.dat"), lastOld);
  }

  TempDir dir_;
  HttpTestServer server_;
  CurlFetcher fetcher_{kShortLimits};
};

TEST_F(RefreshTest, ReadsLikeOneMachineAtATime) {
  const std::string dead = "http://127.0.0.1:" + std::to_string(UnusedPort());
  Model model;
  model.Options.SpeedAvgIntervals = 2;
  model.Machines = {
      LocalMachine("local", kStatus, kFactors, 1000000000457),
      HttpMachine("http", kStatus + "Done\n", kFactors),
      Machine("missing", dir_.file("missing/fact.txt"), dir_.file("missing/QsvStatus.dat"), 0),
      Machine("dead host", dead + "/fact.txt", dead + "/QsvStatus.dat", 0),
      Machine("not found", server_.url("/none/fact.txt"), server_.url("/none/QsvStatus.dat"), 0),
      Machine("", "", "", 0),
      LocalMachine("all old", kStatus, kFactors, 1000100000789),
      HttpMachine("crlf", "pmin=5 : 7\r\n", "11 | a\r\n13 | b\r\n", 11),
  };
  dir_.write("local/nextrange.txt", "pmin=12000000000\npmax=15000000000\n");
  dir_.write("all old/nextrange.txt", "pmin=3\n");

  Model together = model;
  ASSERT_TRUE(RefreshAll(together, fetcher_));
  Model oneByOne = model;
  RefreshOneAtATime(oneByOne, fetcher_);

  EXPECT_EQ(Describe(together), Describe(oneByOne));
  // And what they agree on is right.
  EXPECT_EQ(together.Machines[0].QueuedRanges, (std::vector<Range>{{12000000000, 15000000000}}));
  EXPECT_EQ(together.NewFactorCount, 1 + 3 + 1);
  EXPECT_EQ(together.NewFactorsText,
            "1000100000789 | 7*2^300+1\r\n"
            "1000000000123 | 3*2^100+1\r\n1000000000457 | 5*2^200+1\r\n"
            "1000100000789 | 7*2^300+1\r\n"
            "13 | b\r\n");
  EXPECT_EQ(together.Marks, (NewFactorMarks{{0, 1000100000789}, {1, 1000100000789}, {7, 13}}));
  for (size_t failed : {2, 3}) {
    SCOPED_TRACE(together.Machines[failed].Name);
    EXPECT_FALSE(together.Machines[failed].StatusError.empty() &&
                 together.Machines[failed].FactorError.empty());
  }
}

// What tells a stalled machine, after each of a sequence of refreshes.
TEST_F(RefreshTest, KeepsWhenEachStatusFileLastChanged) {
  const std::string moved =
      "pmax=2000000000000\npmin=1000000000000 : 40 kp/s\npmin=1000700000000 : 60 kp/s\n";
  Model model;
  model.Machines = {LocalMachine("local", kStatus, kFactors),
                    HttpMachine("dated", kStatus, kFactors),
                    HttpMachine("undated", kStatus, kFactors)};
  const timespec written[2] = {{1796911320, 0}, {1796911320, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, model.Machines[0].StatusPath.c_str(), written, 0), 0);
  server_.setLastModified("/dated/QsvStatus.dat", "Sun, 06 Nov 1994 08:49:37 GMT");

  struct Step {
    const char* what;
    int64_t now;
    std::function<void()> change;
    int64_t undatedSince;
  };
  const std::array steps{
      Step{"first sight", 1000, [] {}, 1000},
      Step{"standing still", 2000, [] {}, 1000},
      Step{"moved", 3000, [&] { server_.serve("/undated/QsvStatus.dat", moved); }, 3000},
      Step{"unreadable", 4000, [&] { server_.serve("/undated/QsvStatus.dat", "", 503); }, 3000},
      Step{"back where it was", 5000, [&] { server_.serve("/undated/QsvStatus.dat", moved); },
           3000},
  };
  for (const auto& [what, now, change, undatedSince] : steps) {
    SCOPED_TRACE(what);
    change();
    ASSERT_TRUE(RefreshAll(model, fetcher_, {}, [now] { return now; }));
    EXPECT_EQ(model.Machines[0].StatusModified, 1796911320);
    EXPECT_EQ(model.Machines[1].StatusModified, 784111777);
    EXPECT_EQ(model.Machines[2].StatusModified, std::nullopt);
    EXPECT_EQ(model.Machines[0].PositionSince, 1000);
    EXPECT_EQ(model.Machines[2].PositionSince, undatedSince);
    EXPECT_EQ(model.Machines[2].ReadAt, now);
  }
  EXPECT_EQ(model.Machines[2].PositionSeen, 1000700000000u);
}

TEST_F(RefreshTest, ReadsEveryFileExactlyOnce) {
  Model model;
  model.Machines = {HttpMachine("a", kStatus, kFactors), HttpMachine("b", kStatus, kFactors)};
  ASSERT_TRUE(RefreshAll(model, fetcher_));
  for (const char* path : {"/a/QsvStatus.dat", "/a/fact.txt", "/b/QsvStatus.dat", "/b/fact.txt"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(server_.requestCount(path), 1);
  }
}

TEST_F(RefreshTest, RefusedWhileBusy) {
  struct Case {
    bool refreshBusy, submitBusy;
  };
  for (const auto& [refreshBusy, submitBusy] : {Case{true, false}, Case{false, true}}) {
    SCOPED_TRACE(std::to_string(refreshBusy) + std::to_string(submitBusy));
    Model model;
    model.Machines = {LocalMachine("a", kStatus, kFactors)};
    model.RefreshBusy = refreshBusy;
    model.SubmitBusy = submitBusy;
    model.NewFactorsText = PaneText("on display\r\n");
    const std::string before = Describe(model);
    EXPECT_FALSE(RefreshAll(model, fetcher_));
    EXPECT_FALSE(BeginRefresh(model));
    EXPECT_EQ(Describe(model), before);
  }
}

TEST_F(RefreshTest, BusyFromBeginToFinish) {
  Model model;
  model.Machines = {LocalMachine("a", kStatus, kFactors)};
  auto request = BeginRefresh(model);
  ASSERT_TRUE(request);
  EXPECT_TRUE(model.RefreshBusy);
  EXPECT_FALSE(BeginRefresh(model));
  EXPECT_FALSE(RefreshAll(model, fetcher_));
  // What is on display stays until the files are applied.
  model.NewFactorsText = PaneText("on display\r\n");
  auto files = FetchMachineFiles(request->Machines, fetcher_);
  EXPECT_EQ(model.NewFactorsText, "on display\r\n");
  EXPECT_TRUE(FinishRefresh(model, *request, std::move(files)));
  EXPECT_FALSE(model.RefreshBusy);
  EXPECT_EQ(model.Machines[0].TotalFactors, 3);
  EXPECT_TRUE(RefreshAll(model, fetcher_));
}

TEST_F(RefreshTest, FactorsMarkedAsOldWhileFilesAreReadStayOld) {
  Model model;
  model.Machines = {LocalMachine("a", kStatus, kFactors), LocalMachine("b", kStatus, kFactors)};
  auto request = BeginRefresh(model);
  ASSERT_TRUE(request);
  auto files = FetchMachineFiles(request->Machines, fetcher_);
  model.Machines[1].LastOldFactor = 1000000000457;  // Mark as old, meanwhile
  FinishRefresh(model, *request, std::move(files));

  EXPECT_EQ(model.NewFactorsText,
            "1000000000123 | 3*2^100+1\r\n1000000000457 | 5*2^200+1\r\n"
            "1000100000789 | 7*2^300+1\r\n"
            "1000100000789 | 7*2^300+1\r\n");
  EXPECT_EQ(model.NewFactorCount, 4);
  EXPECT_EQ(model.Marks, (NewFactorMarks{{0, 1000100000789}, {1, 1000100000789}}));
  EXPECT_EQ(model.Machines[1].TotalFactors, 3);
}

TEST_F(RefreshTest, QueueEditedWhileFilesAreReadStaysAsEdited) {
  Model model;
  model.Machines = {LocalMachine("a", kStatus, kFactors), LocalMachine("b", kStatus, kFactors)};
  dir_.write("a/nextrange.txt", "pmin=3000000000000\npmax=4000000000000\n");
  dir_.write("b/nextrange.txt", "pmin=5000000000000\npmax=6000000000000\n");
  auto request = BeginRefresh(model);
  ASSERT_TRUE(request);
  auto files = FetchMachineFiles(request->Machines, fetcher_);
  // The user edits a's queue meanwhile and it is written.
  dir_.write("a/nextrange.txt", "pmin=7000000000000\npmax=8000000000000\n");
  ReadQueuedRanges(model, 0);
  ASSERT_TRUE(FinishRefresh(model, *request, std::move(files)));

  EXPECT_EQ(model.Machines[0].QueuedRanges, (std::vector<Range>{{7000000000000, 8000000000000}}));
  EXPECT_EQ(model.Machines[1].QueuedRanges, (std::vector<Range>{{5000000000000, 6000000000000}}));
  EXPECT_EQ(model.Machines[0].TotalFactors, 3);  // the rest of a's files still apply
  EXPECT_EQ(model.Machines[0].Pmax, 2000000000000u);
}

TEST_F(RefreshTest, FilesReadForAnotherTableAreDropped) {
  Model model;
  model.Machines = {LocalMachine("a", kStatus, kFactors), LocalMachine("b", "", "")};
  auto request = BeginRefresh(model);
  ASSERT_TRUE(request);
  auto files = FetchMachineFiles(request->Machines, fetcher_);
  // Machine 0 is deleted meanwhile: b must not get a's counts.
  ReplaceMachines(model, {model.Machines[1]});
  EXPECT_FALSE(FinishRefresh(model, *request, std::move(files)));

  EXPECT_FALSE(model.RefreshBusy);
  EXPECT_EQ(model.Machines[0].Name, "b");
  EXPECT_EQ(model.Machines[0].TotalFactors, 0);
  EXPECT_EQ(model.Machines[0].Pmax, 0u);
  EXPECT_TRUE(model.Marks.empty());
  EXPECT_TRUE(RefreshAll(model, fetcher_));
}

TEST_F(RefreshTest, FactorsOnDisplayFollowTheMachinesReadInTableOrder) {
  Model model;
  model.Machines = {
      LocalMachine("first", "", "101 a\n102 b\n"),
      LocalMachine("second", "", "201 c\n"),
      LocalMachine("third", "", "301 d\n"),
  };
  auto request = BeginRefresh(model);
  ASSERT_TRUE(request);
  auto files = FetchMachineFiles(request->Machines, fetcher_);
  RefreshApplier applier(model, *request);

  // The third machine comes first: its row is filled, its factors wait.
  EXPECT_FALSE(applier.Apply(2, std::move(files[2])));
  EXPECT_EQ(model.Machines[2].TotalFactors, 1);
  EXPECT_EQ(model.NewFactorsText, "");
  EXPECT_EQ(applier.Prefix(), 0u);

  EXPECT_TRUE(applier.Apply(0, std::move(files[0])));
  EXPECT_EQ(model.NewFactorsText, "101 a\r\n102 b\r\n");
  EXPECT_EQ(model.Marks, (NewFactorMarks{{0, 102}}));

  EXPECT_TRUE(applier.Apply(1, std::move(files[1])));
  EXPECT_EQ(applier.Prefix(), 3u);
  EXPECT_EQ(model.NewFactorsText, "101 a\r\n102 b\r\n201 c\r\n301 d\r\n");
  EXPECT_EQ(model.NewFactorCount, 4);
  EXPECT_EQ(model.Marks, (NewFactorMarks{{0, 102}, {1, 201}, {2, 301}}));
  applier.Finish();
  EXPECT_FALSE(model.RefreshBusy);
}

TEST_F(RefreshTest, FaultyMachinesGetTheirRowsAndTheRefreshEnds) {
  SilentServer silent;
  const std::string dead = "http://127.0.0.1:" + std::to_string(UnusedPort());
  server_.serve("/404/QsvStatus.dat", "<html><body>Not here</body></html>", 404, "text/html");
  Model model;
  model.Machines = {
      Machine("silent", silent.url("/fact.txt"), silent.url("/QsvStatus.dat"), 0),
      Machine("dead", dead + "/fact.txt", dead + "/QsvStatus.dat", 0),
      Machine("404", server_.url("/404/fact.txt"), server_.url("/404/QsvStatus.dat"), 0),
      Machine("folder", dir_.path().string(), dir_.path().string(), 0),
      Machine("empty", "", "", 0),
      LocalMachine("good", kStatus, kFactors),
  };
  ASSERT_TRUE(RefreshAll(model, fetcher_));

  EXPECT_FALSE(model.RefreshBusy);
  for (size_t i = 0; i + 1 < model.Machines.size(); ++i) {
    const Machine& machine = model.Machines[i];
    SCOPED_TRACE(machine.Name);
    EXPECT_EQ(MachineRowTexts(machine), (MachineRow{machine.Name, "0", "0", "0", "0", "0", "0 kp/s",
                                                    "Big Crunch", "0", "0/G", ""}));
  }
  EXPECT_NE(model.Machines[0].StatusError, "");
  EXPECT_NE(model.Machines[1].FactorError, "");
  // An error page is no file: its lines could pass for status or factor lines.
  EXPECT_EQ(model.Machines[2].StatusError,
            server_.url("/404/QsvStatus.dat") + ": HTTP 404 Not Found");
  EXPECT_NE(model.Machines[3].StatusError, "");
  EXPECT_NE(model.Machines[4].FactorError, "");
  EXPECT_EQ(model.Machines[5].TotalFactors, 3);
  EXPECT_EQ(model.NewFactorCount, 3);
}

TEST_F(RefreshTest, FileThatDisappearsReadsAsUnreadable) {
  Model model;
  model.Machines = {LocalMachine("a", kStatus, kFactors)};
  ASSERT_TRUE(RefreshAll(model, fetcher_));
  EXPECT_EQ(model.Machines[0].Pmax, 2000000000000u);
  std::filesystem::remove(model.Machines[0].StatusPath);
  std::filesystem::remove(model.Machines[0].FactorPath);
  ASSERT_TRUE(RefreshAll(model, fetcher_));
  EXPECT_EQ(model.Machines[0].Pmax, 0u);
  EXPECT_EQ(model.Machines[0].TotalFactors, 0);
  EXPECT_NE(model.Machines[0].StatusError.find("No such file"), std::string::npos);
  EXPECT_EQ(model.NewFactorsText, "");
  EXPECT_TRUE(model.Marks.empty());
}

TEST_F(RefreshTest, ThousandMachinesAllGetRead) {
  const Machine shared = LocalMachine("m", kStatus, kFactors);
  Model model;
  model.Machines.assign(1000, shared);
  ASSERT_TRUE(RefreshAll(model, fetcher_, {.parallel = 7, .progress = {}}));
  EXPECT_EQ(model.NewFactorCount, 3000);
  EXPECT_EQ(model.Marks.size(), 1000u);
  EXPECT_EQ(model.Marks.back().MachineIndex, 999);
  for (const Machine& machine : model.Machines) ASSERT_EQ(machine.Speed, 50u);
}

TEST_F(RefreshTest, ProgressCountsEveryMachineOnce) {
  Model model;
  model.Machines.assign(20, LocalMachine("m", kStatus, kFactors));
  std::mutex lock;
  std::vector<size_t> reported;
  RefreshOptions options;
  options.progress = [&](size_t read, size_t of) {
    const std::lock_guard guard(lock);
    EXPECT_EQ(of, 20u);
    reported.push_back(read);
  };
  ASSERT_TRUE(RefreshAll(model, fetcher_, options));
  std::sort(reported.begin(), reported.end());
  std::vector<size_t> expected(20);
  std::iota(expected.begin(), expected.end(), 1);
  EXPECT_EQ(reported, expected);
}

TEST_F(RefreshTest, SelectionNarrowsThePanesToOneMachine) {
  Model model;
  model.Machines = {
      LocalMachine("first", "", "101 a\n102 b\n"),
      LocalMachine("second", "", "201 c\n", 201),
      LocalMachine("third", "", "301 d\n302 e\n303 f\n304 g\n", 301),
  };
  ASSERT_TRUE(RefreshAll(model, fetcher_));
  EXPECT_EQ(model.NewFactorsText, "101 a\r\n102 b\r\n302 e\r\n303 f\r\n304 g\r\n");
  EXPECT_EQ(model.NewFactorCount, 5);
  EXPECT_EQ(model.Marks, (NewFactorMarks{{0, 102}, {2, 304}}));
  EXPECT_EQ(model.AllFactorsText, "");

  ShowMachineFactors(model, 2, fetcher_);
  EXPECT_EQ(model.AllFactorsText, "301 d\r\n302 e\r\n303 f\r\n304 g\r\n");
  EXPECT_EQ(model.NewFactorsText, "302 e\r\n303 f\r\n304 g\r\n");
  EXPECT_EQ(model.NewFactorCount, 3);
  EXPECT_EQ(model.Marks, (NewFactorMarks{{2, 304}}));

  ShowMachineFactors(model, 1, fetcher_);
  EXPECT_EQ(model.AllFactorsText, "201 c\r\n");
  EXPECT_EQ(model.NewFactorsText, "");
  EXPECT_EQ(model.NewFactorCount, 0);
  EXPECT_TRUE(model.Marks.empty());

  const std::string before = Describe(model);
  ShowMachineFactors(model, 3, fetcher_);  // no such row
  EXPECT_EQ(Describe(model), before);

  ASSERT_TRUE(RefreshAll(model, fetcher_));
  EXPECT_EQ(model.AllFactorsText, "");
  EXPECT_EQ(model.NewFactorCount, 5);
}

}  // namespace

#include <gtest/gtest.h>
#include <httplib.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <regex>
#include <set>
#include <thread>
#include <vector>

#include "SieveClient.h"
#include "SieveClientFiles.h"
#include "model/Files.h"
#include "monitor/FactorFile.h"
#include "monitor/StatusFile.h"
#include "ranges/QueueFile.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;

// The path of quillstrand-sieve-client in this build, in SieveClientPath.cpp
// alone: it differs from clone to clone, and this file would compile again
// in each.
extern const char kSieveClientPath[];

inline void PrintTo(const Range& range, std::ostream* out) {
  *out << '{' << range.Pmin << ", " << range.Pmax << '}';
}

namespace {

constexpr uint32_t kSpeedAvgIntervals = 5;

std::set<std::string> FilesIn(const TempDir& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    names.insert(entry.path().filename().string());
  return names;
}

StatusReading ReadStatus(const TempDir& dir) {
  return ParseStatusFile(ReadFile(dir.file("QsvStatus.dat")), kSpeedAvgIntervals);
}

std::vector<Range> ReadQueue(const TempDir& dir) {
  return ParseQueuedRanges(ReadFile(dir.file("nextrange.txt")));
}

// quillstrand's way of writing a queue: a whole new file renamed over it.
void WriteQueue(const std::string& path, const std::vector<Range>& ranges) {
  const Status written = WriteFileAtomically(path, FormatQueuedRanges(ranges));
  ASSERT_TRUE(written) << written.error().message;
}

// How many factor lines of `factors` lie in none of the `ranges`.
int FactorsOutside(const std::string& factors, const std::vector<Range>& ranges) {
  std::string newText;
  int outside = ScanFactorFile(factors, 0, 0, 0, newText, nullptr).TotalFactors;
  for (const Range& range : ranges)
    outside -= ScanFactorFile(factors, 0, range.Pmin, range.Pmax, newText, nullptr).RangeFactors;
  return outside;
}

const Range kA{1'000'000'000'000, 1'002'000'000'000};
const Range kB{1'010'000'000'000, 1'012'000'000'000};
const Range kC{1'020'000'000'000, 1'022'000'000'000};
const Range kD{2'000'000'000'000, 2'002'000'000'000};
const Range kE{2'010'000'000'000, 2'012'000'000'000};
const Range kF{3'000'000'000'000, 3'002'000'000'000};
const Range kG{3'010'000'000'000, 3'012'000'000'000};

TEST(TakeQueuedRange, TakesFromTheQueueAsItIsWhenTheRestGoesIn) {
  struct Case {
    const char* what;
    std::vector<std::vector<Range>> rewrites;  // by quillstrand, one before each swap
    std::optional<Range> taken;
    std::vector<Range> left;
  };
  const std::array cases{
      Case{"left alone", {}, kA, {kB, kC}},
      Case{"rewritten after the read", {{kD, kE}}, kD, {kE}},
      Case{"rewritten again while the new queue goes back", {{kD, kE}, {kF, kG}}, kF, {kG}},
      Case{"emptied after the read", {{}}, std::nullopt, {}},
  };
  for (const auto& [what, rewrites, taken, left] : cases) {
    SCOPED_TRACE(what);
    TempDir dir;
    const std::string path = dir.write("nextrange.txt", FormatQueuedRanges({kA, kB, kC}));
    size_t swaps = 0;
    const auto result = TakeQueuedRange(path, [&, &rewrites = rewrites] {
      if (swaps < rewrites.size()) WriteQueue(path, rewrites[swaps]);
      ++swaps;
    });
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_EQ(result.value(), taken);
    EXPECT_EQ(ReadQueue(dir), left);
    EXPECT_EQ(FilesIn(dir), std::set<std::string>{"nextrange.txt"});
  }
}

TEST(TakeQueuedRange, LeavesAQueueWithoutARangeAsItIs) {
  struct Case {
    const char* what;
    std::optional<std::string> text;
  };
  const std::array cases{
      Case{"no file", std::nullopt},
      Case{"empty", ""},
      Case{"a bound without its pair", "pmin=1000000000000\n"},
  };
  for (const auto& [what, text] : cases) {
    SCOPED_TRACE(what);
    TempDir dir;
    if (text) dir.write("nextrange.txt", *text);
    const auto result = TakeQueuedRange(dir.file("nextrange.txt"));
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_EQ(result.value(), std::nullopt);
    EXPECT_EQ(FilesIn(dir).size(), text ? 1u : 0u);
    EXPECT_EQ(ReadFile(dir.file("nextrange.txt")), text.value_or(""));
  }
}

// 1000 kp/s reported every second: 10^6 p a tick, with some twenty factors
// in each.
constexpr SieveClientOptions kOneMillionATick{
    .rate = 1000, .intervalSeconds = 1, .factorsPerG = 20'000, .seed = 7};

TEST(SieveClient, SievesEachQueuedRangeOnceThenIdlesUntilAnotherIsQueued) {
  TempDir dir;
  const Range first{1'000'000'000'000, 1'000'003'500'000};
  const Range second{1'000'100'000'000, 1'000'102'000'000};
  dir.write("nextrange.txt", FormatQueuedRanges({first, second}));
  SieveClient client(dir.path(), kOneMillionATick);

  // Each range begun, up to the position reached; a range begins with a
  // status file that is not done, after one that was.
  std::vector<Range> sieved;
  std::optional<StatusReading> last;
  for (int tick = 0; tick < 12; ++tick) {
    SCOPED_TRACE(tick);
    ASSERT_TRUE(client.Tick());
    const StatusReading status = ReadStatus(dir);
    if ((!last || last->Done) && !status.Done) {
      sieved.push_back({status.RangeStart, status.CurrentP});
    } else if (!status.Done) {
      EXPECT_GT(status.CurrentP, sieved.back().Pmax);
      EXPECT_NEAR(status.Speed, 1000, 30);
    }
    ASSERT_FALSE(sieved.empty());
    sieved.back().Pmax = status.CurrentP;
    EXPECT_LE(status.CurrentP, status.Pmax);
    EXPECT_EQ(FactorsOutside(ReadFile(dir.file("fact.txt")), sieved), 0);
    last = status;
  }
  EXPECT_EQ(sieved, (std::vector<Range>{first, second}));
  EXPECT_TRUE(last->Done);
  EXPECT_EQ(ReadQueue(dir), std::vector<Range>{});
  EXPECT_GT(ReadFile(dir.file("fact.txt")).size(), 0u);

  const std::string statusBefore = ReadFile(dir.file("QsvStatus.dat"));
  const std::string factorsBefore = ReadFile(dir.file("fact.txt"));
  ASSERT_TRUE(client.Tick());
  EXPECT_EQ(ReadFile(dir.file("QsvStatus.dat")), statusBefore);
  EXPECT_EQ(ReadFile(dir.file("fact.txt")), factorsBefore);

  const Range third{1'000'200'000'000, 1'000'201'000'000};
  WriteQueue(dir.file("nextrange.txt"), {third});
  ASSERT_TRUE(client.Tick());
  const StatusReading status = ReadStatus(dir);
  EXPECT_EQ((Range{status.RangeStart, status.Pmax}), third);
  EXPECT_EQ(status.CurrentP, third.Pmin);
  EXPECT_FALSE(status.Done);
  EXPECT_EQ(ReadQueue(dir), std::vector<Range>{});
}

TEST(SieveClient, GoesOnWhereItsStatusFileStopsAtTheSpeedItShows) {
  TempDir dir;
  dir.write("QsvStatus.dat",
            "pmax=2000000000\npmin=1000000000 : 2000 kp/s\npmin=1100000000 : 2200 kp/s\n");
  SieveClient client(dir.path(), {.intervalSeconds = 10});
  ASSERT_TRUE(client.Tick());
  const StatusReading status = ReadStatus(dir);
  EXPECT_EQ(status.RangeStart, 1'000'000'000u);
  EXPECT_EQ(status.Pmax, 2'000'000'000u);
  // 10 s at 2100 kp/s, the mean of the rates so far, give or take 3 %.
  EXPECT_NEAR(static_cast<double>(status.CurrentP - 1'100'000'000), 21e6, 0.031 * 21e6);
}

TEST(SieveClient, IdlesInAFolderWithoutWork) {
  TempDir dir;
  SieveClient client(dir.path(), kOneMillionATick);
  ASSERT_TRUE(client.Tick());
  EXPECT_EQ(FilesIn(dir), std::set<std::string>{});
}

TEST(SieveClient, FactorLinesHaveTheFormTheSiteAccepts) {
  TempDir dir;
  dir.write("nextrange.txt", FormatQueuedRanges({{1, 3'000'000}}));
  SieveClient client(dir.path(), kOneMillionATick);
  for (int tick = 0; tick < 5; ++tick) ASSERT_TRUE(client.Tick());
  const std::string factors = ReadFile(dir.file("fact.txt"));
  ASSERT_FALSE(factors.empty());
  const std::regex line(R"(([1-9][0-9]*) \| [1-9][0-9]*\*2\^[1-9][0-9]*\+1)");
  std::istringstream lines(factors);
  for (std::string text; std::getline(lines, text);) {
    SCOPED_TRACE(text);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(text, match, line));
    const uint64_t p = std::stoull(match[1]);
    EXPECT_GT(p, 1u);
    EXPECT_EQ(p % 2, 1u);
  }
}

// The built program, run as a child process with its standard output on a
// pipe; killed when the test leaves it running.
class ClientProcess {
 public:
  explicit ClientProcess(std::vector<std::string> args) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    out_ = pipe[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    if (spawned != 0) throw std::runtime_error(std::strerror(spawned));
  }
  ClientProcess(const ClientProcess&) = delete;
  ClientProcess& operator=(const ClientProcess&) = delete;
  ~ClientProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(out_);
  }

  // The first line of its output, or what came of it in `timeout`.
  std::string ReadLine(std::chrono::milliseconds timeout) {
    std::string line;
    pollfd ready{out_, POLLIN, 0};
    char c;
    while (::poll(&ready, 1, static_cast<int>(timeout.count())) > 0 && ::read(out_, &c, 1) == 1 &&
           c != '\n')
      line.push_back(c);
    return line;
  }

  void Signal(int signal) const { ::kill(pid_, signal); }

  // Its wait status once it ended, or nothing if it still runs after `timeout`.
  std::optional<int> Wait(std::chrono::milliseconds timeout) {
    for (auto end = std::chrono::steady_clock::now() + timeout;
         std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(10ms)) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return status;
      }
    }
    return std::nullopt;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
};

TEST(SieveClientProgram, ServesItsFolderWhileItSievesAndEndsOnASignal) {
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(strsignal(signal));
    TempDir dir;
    // 10^6 kp/s reported every 20 ms: five ticks a range.
    const Range first{1'000'000'000'000, 1'000'100'000'000};
    const Range second{1'000'200'000'000, 1'000'300'000'000};
    dir.write("nextrange.txt", FormatQueuedRanges({first, second}));
    ClientProcess client({kSieveClientPath, dir.path().string(), "--interval", "0.02",
                          "--rate", "1000000", "--factors-per-g", "1000", "--http-port", "0"});
    const std::string serving = client.ReadLine(10s);
    std::smatch match;
    ASSERT_TRUE(
        std::regex_match(serving, match, std::regex(R"(serving http://127\.0\.0\.1:([0-9]+)/)")))
        << serving;

    // Watched over http, as quillstrand watches a machine by URL.
    httplib::Client http("127.0.0.1", std::stoi(match[1]));
    StatusReading status;
    std::vector<uint64_t> positions;
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (status.RangeStart != second.Pmin && std::chrono::steady_clock::now() < end) {
      if (const auto got = http.Get("/QsvStatus.dat"); got && got->status == 200) {
        status = ParseStatusFile(got->body, kSpeedAvgIntervals);
        if (status.RangeStart == first.Pmin) positions.push_back(status.CurrentP);
      }
      std::this_thread::sleep_for(5ms);
    }
    ASSERT_EQ(status.RangeStart, second.Pmin);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_GT(std::set<uint64_t>(positions.begin(), positions.end()).size(), 1u);

    client.Signal(signal);
    const std::optional<int> ended = client.Wait(5s);
    ASSERT_TRUE(ended) << "still running";
    EXPECT_TRUE(WIFEXITED(*ended) && WEXITSTATUS(*ended) == 0) << *ended;
    EXPECT_EQ(FactorsOutside(ReadFile(dir.file("fact.txt")), {first, second}), 0);
    EXPECT_EQ(ReadQueue(dir), std::vector<Range>{});
  }
}

}  // namespace

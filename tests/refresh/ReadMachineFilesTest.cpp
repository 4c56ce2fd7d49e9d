#include <gtest/gtest.h>

#include <cerrno>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "farm/Refresh.h"
#include "support/FakeFetcher.h"
#include "support/TempDir.h"

namespace {

const std::string kStatus = "pmax=2000\npmin=1000 : 40 kp/s\n";
const std::string kFactors = "1500 | a\n1600 | b\n";

// Serves like FakeFetcher and keeps the batches it was asked for.
class BatchRecorder : public FakeFetcher {
 public:
  void FetchAll(std::span<const std::string> urls, const FetchDone& done,
                std::stop_token stop) const override {
    batches.emplace_back(urls.begin(), urls.end());
    FakeFetcher::FetchAll(urls, done, stop);
  }

  mutable std::vector<std::vector<std::string>> batches;
};

MachineLocations Locations(std::string status, std::string factors) {
  return {.Status = std::move(status), .Queue = std::nullopt, .Factors = std::move(factors)};
}

// Every machine's files as they arrived, checking that each arrives once.
std::vector<MachineFiles> Read(const std::vector<MachineLocations>& locations,
                               const Fetcher& fetcher, const RefreshOptions& options = {}) {
  std::mutex lock;
  std::vector<std::optional<MachineFiles>> read(locations.size());
  ReadMachineFiles(locations, fetcher, options, [&](size_t i, MachineFiles files) {
    const std::lock_guard guard(lock);
    EXPECT_FALSE(read[i]) << "machine " << i << " arrived twice";
    read[i] = std::move(files);
  });
  std::vector<MachineFiles> files;
  for (std::optional<MachineFiles>& machine : read) {
    EXPECT_TRUE(machine) << "a machine never arrived";
    if (machine) files.push_back(std::move(*machine));
  }
  return files;
}

class ReadMachineFilesTest : public ::testing::Test {
 protected:
  // A machine served under http://<host>/.
  MachineLocations Remote(const std::string& host) {
    const std::string base = "http://" + host + "/";
    fetcher_.bodies[base + "QsvStatus.dat"] = kStatus;
    fetcher_.bodies[base + "fact.txt"] = kFactors;
    return Locations(base + "QsvStatus.dat", base + "fact.txt");
  }

  MachineLocations Local(const std::string& name) {
    return Locations(dir_.write(name + "/QsvStatus.dat", kStatus),
                     dir_.write(name + "/fact.txt", kFactors));
  }

  void ExpectRead(const MachineFiles& files) {
    ASSERT_TRUE(files.Status.ok()) << files.Status.error().message;
    EXPECT_EQ(files.Status.value().Pmax, 2000u);
    ASSERT_TRUE(files.Factors.ok()) << files.Factors.error().message;
    EXPECT_EQ(files.Factors.value().reading.TotalFactors, 2);
  }

  TempDir dir_;
  BatchRecorder fetcher_;
};

TEST_F(ReadMachineFilesTest, FetchesEveryHttpFileInOneBatchBesideTheLocalOnes) {
  MachineLocations mixed = Local("mixed");
  mixed.Status = Remote("m3").Status;
  const std::vector<MachineLocations> locations{Remote("m0"), Local("l1"), Remote("m2"), mixed};

  const std::vector<MachineFiles> files = Read(locations, fetcher_);
  EXPECT_EQ(fetcher_.batches,
            (std::vector<std::vector<std::string>>{{"http://m0/QsvStatus.dat", "http://m0/fact.txt",
                                                    "http://m2/QsvStatus.dat", "http://m2/fact.txt",
                                                    "http://m3/QsvStatus.dat"}}));
  ASSERT_EQ(files.size(), locations.size());
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(i);
    ExpectRead(files[i]);
  }
}

TEST_F(ReadMachineFilesTest, AStopCancelsTheHttpFilesAndStillReadsTheLocalOnes) {
  const std::vector<MachineLocations> locations{Remote("m0"), Local("l1")};
  std::stop_source stop;
  stop.request_stop();
  RefreshOptions options;
  options.stop = stop.get_token();

  const std::vector<MachineFiles> files = Read(locations, fetcher_, options);
  ASSERT_EQ(files.size(), 2u);
  ASSERT_FALSE(files[0].Status.ok());
  EXPECT_EQ(files[0].Status.error().message, "http://m0/QsvStatus.dat: cancelled");
  ASSERT_FALSE(files[0].Factors.ok());
  EXPECT_EQ(files[0].Factors.error().code, ECANCELED);
  ExpectRead(files[1]);
}

}  // namespace

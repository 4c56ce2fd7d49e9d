#include "SieveClient.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <vector>

#include "SieveClientFiles.h"
#include "model/Constants.h"
#include "model/Files.h"
#include "model/Numbers.h"
#include "ranges/QueueFile.h"

namespace {

constexpr uint32_t kDefaultRate = 10'000;
// The rates averaged when the speed is taken up from the status file.
constexpr uint32_t kResumedSamples = 5;
constexpr double kBillion = 1e9;

std::string PminLine(uint64_t p, uint32_t rate) {
  return "pmin=" + DecimalText(p) + " : " + DecimalText(rate) + " kp/s\n";
}

}  // namespace

SieveClient::SieveClient(const std::filesystem::path& folder, const SieveClientOptions& options)
    : statusPath_((folder / kStatusFileName).string()),
      factorPath_((folder / "fact.txt").string()),
      queuePath_((folder / kQueueFileName).string()),
      options_(options),
      rate_(options.rate),
      random_(options.seed) {}

Status SieveClient::Tick() {
  const Result<std::string> status = ReadWholeFile(statusPath_);
  if (!status && status.error().code != ENOENT) return status.error();
  const StatusReading reading = ParseStatusFile(status ? status.value() : "", kResumedSamples);
  if (rate_ == 0) rate_ = reading.Speed != 0 ? reading.Speed : kDefaultRate;
  if (reading.Pmax == 0 || reading.Done) return StartNextRange();
  return SieveOn(reading);
}

Status SieveClient::StartNextRange() {
  const Result<std::optional<Range>> next = TakeQueuedRange(queuePath_);
  if (!next) return next.error();
  if (!next.value()) return Ok();
  const Range range = *next.value();
  // A new range starts a new status file: the "Done" of the last one
  // would otherwise stand for the new one too.
  if (const Status created = AppendToFile(factorPath_, ""); !created) return created;
  return WriteFileAtomically(
      statusPath_, "pmax=" + DecimalText(range.Pmax) + "\n" + PminLine(range.Pmin, NextRate()));
}

Status SieveClient::SieveOn(const StatusReading& reading) {
  const uint32_t rate = NextRate();
  const auto step = static_cast<uint64_t>(rate * 1000.0 * options_.intervalSeconds);
  const uint64_t from = reading.CurrentP;
  const uint64_t to =
      from < reading.Pmax ? from + std::min(step, reading.Pmax - from) : reading.Pmax;
  if (const Status found = AppendToFile(factorPath_, FactorLines(from, to)); !found) return found;
  return AppendToFile(statusPath_, PminLine(to, rate) + (to == reading.Pmax ? "Done\n" : ""));
}

uint32_t SieveClient::NextRate() {
  std::uniform_real_distribution<double> wobble(0.97, 1.03);
  return std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(rate_ * wobble(random_))));
}

std::string SieveClient::FactorLines(uint64_t from, uint64_t to) {
  // 1 < p < 2^64, as the project site accepts.
  const uint64_t low = std::max<uint64_t>(from, 2) + 1;
  if (low > to || options_.factorsPerG <= 0) return "";
  std::poisson_distribution<uint64_t> found(options_.factorsPerG * static_cast<double>(to - from) /
                                            kBillion);
  std::uniform_int_distribution<uint64_t> at(low, to);
  std::vector<uint64_t> factors;
  for (uint64_t count = found(random_); count > 0; --count) {
    const uint64_t p = at(random_) | 1;
    if (p <= to) factors.push_back(p);
  }
  std::sort(factors.begin(), factors.end());
  std::string lines;
  for (const uint64_t p : factors) {
    const uint64_t k = 1 + 2 * (random_() % 5000);
    const uint64_t n = 100'000 + random_() % 9'000'000;
    lines += DecimalText(p) + " | " + DecimalText(k) + "*2^" + DecimalText(n) + "+1\n";
  }
  return lines;
}

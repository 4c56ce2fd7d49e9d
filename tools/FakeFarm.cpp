#include "FakeFarm.h"

#include <cstdio>
#include <fstream>
#include <random>

#include "ranges/QueueFile.h"

namespace {

constexpr uint64_t kBillion = 1'000'000'000;

void Append(std::string& text, const char* format, auto... values) {
  char line[128];
  const int length = std::snprintf(line, sizeof line, format, values...);
  text.append(line, static_cast<size_t>(length));
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

FakeMachineFiles MakeFakeMachine(size_t index, const FakeMachineSize& size) {
  std::mt19937_64 random(index + 1);
  FakeMachineFiles files;
  files.name = "machine-" + std::to_string(index);

  // The client sieves 10 G ranges one after another at about `rate` kp/s,
  // reporting every ten minutes; a new range starts with its "pmax" line.
  const uint64_t base = (1000 + 100000 * index) * kBillion;
  const uint64_t rate = 800 + random() % 2400;
  const uint64_t step = rate * 1000 * 600;
  uint64_t p = base;
  uint64_t pmax = base;
  for (size_t line = 0; line < size.statusLines; ++line) {
    if (p >= pmax) {
      pmax += 10 * kBillion;
      Append(files.status, "pmax=%llu\n", static_cast<unsigned long long>(pmax));
    }
    Append(files.status, "pmin=%llu : %llu kp/s\n", static_cast<unsigned long long>(p),
           static_cast<unsigned long long>(rate - 50 + random() % 100));
    p = std::min(p + step, pmax);
  }
  if (index % 7 == 3) files.status += "Done\n";

  const uint64_t gap = std::max<uint64_t>((p - base) / (size.factorLines + 1), 2);
  uint64_t factor = base;
  for (size_t line = 0; line < size.factorLines; ++line) {
    factor += 1 + random() % (2 * gap);
    if (line == size.factorLines / 2) files.middleFactor = factor;
    Append(files.factors, "%llu | %llu*2^%llu+1\n", static_cast<unsigned long long>(factor),
           static_cast<unsigned long long>(1 + 2 * (random() % 5000)),
           static_cast<unsigned long long>(100000 + random() % 9000000));
  }

  files.queue = FormatQueuedRanges(
      {{pmax, pmax + 10 * kBillion}, {pmax + 40 * kBillion, pmax + 50 * kBillion}});
  return files;
}

Machine WriteFakeMachine(const std::filesystem::path& dir, size_t index,
                         const FakeMachineSize& size) {
  const FakeMachineFiles files = MakeFakeMachine(index, size);
  const std::filesystem::path folder = dir / files.name;
  std::filesystem::create_directories(folder);
  WriteFile(folder / "QsvStatus.dat", files.status);
  WriteFile(folder / "fact.txt", files.factors);
  WriteFile(folder / "nextrange.txt", files.queue);
  return Machine(files.name, (folder / "fact.txt").string(), (folder / "QsvStatus.dat").string(),
                 files.middleFactor);
}

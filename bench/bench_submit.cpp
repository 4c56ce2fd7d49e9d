// A submission of 100,000 new factor lines (about 4 MB once encoded), log
// in and factor post, against the stand-in site on 127.0.0.1. It should
// take well under a second in a Release build.
#include <benchmark/benchmark.h>

#include <string>
#include <variant>

#include "StandInSite.h"
#include "model/Numbers.h"
#include "submit/FormEncode.h"
#include "submit/Submission.h"

namespace {

constexpr int kLines = 100'000;

// Lines as a sieve client writes them, p increasing, CR LF as the pane
// holds them.
std::string FactorLines() {
  std::string text;
  uint64_t p = 1'500'000'000'000;
  for (int i = 0; i < kLines; ++i) {
    p += 12'345'679;
    text += DecimalText(p) + " | " + DecimalText(1'000 + 2 * (i % 5'000) + 1) + "*2^" +
            DecimalText(2'000'000 + i) + "+1\r\n";
  }
  return text;
}

void BM_FormEncode(benchmark::State& state) {
  const std::string text = FactorLines();
  for (auto _ : state) benchmark::DoNotOptimize(FormEncode(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_FormEncode)->Unit(benchmark::kMillisecond);

void BM_SubmitToSite(benchmark::State& state) {
  StandInSite site;
  site.AddUser("bob", "pw");
  SubmissionSnapshot snapshot;
  snapshot.Login = {true, "bob", "pw"};
  snapshot.FactorsText = FactorLines();
  for (auto _ : state) {
    CurlFormPoster poster("http://" + site.Address());
    const SubmissionOutcome outcome = SendSubmission(snapshot, poster);
    const auto* answer = std::get_if<SiteAnswer>(&outcome);
    if (!answer || answer->Counts.Verified != kLines) {
      state.SkipWithError(answer ? "the site did not verify every line"
                                 : std::get<SubmissionError>(outcome).Text.c_str());
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * snapshot.FactorsText.size()));
  state.counters["lines"] = kLines;
}
BENCHMARK(BM_SubmitToSite)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

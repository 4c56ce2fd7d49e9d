#include "session/SelectionFollower.h"

#include <algorithm>
#include <memory>
#include <new>
#include <utility>

#include "farm/Refresh.h"
#include "location/Location.h"
#include "location/StoppableFetcher.h"
#include "model/Files.h"
#include "monitor/SpeedProfile.h"
#include "session/FarmSession.h"

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

// A machine's chart from its status file, with the factors of the factor
// file read for it. Runs on a worker thread.
SpeedChartData ChartOf(QString machine, const std::string& statusPath,
                       const LocationText& factorFile, const Fetcher& fetcher) {
  SpeedChartData chart{std::move(machine), {}, {}};
  const LocationText status = OpenLocation(statusPath, fetcher, kMaxFileSize);
  if (!status) {
    chart.problem = "status file: " + Text(status.error().message);
    return chart;
  }
  // A status file of the largest size holds more reports than memory may.
  try {
    chart.profile = ReadSpeedProfile(status.value());
    if (factorFile)
      chart.profile.Factors =
          FactorsInRange(factorFile.value(), chart.profile.RangeStart, chart.profile.AxisEnd());
  } catch (const std::bad_alloc&) {
    chart.profile = {};
    chart.problem = Text(statusPath) + ": not enough memory to chart it";
  }
  return chart;
}

// Where `machine` is in `table`: at `index` while it is there still, else
// where it moved to; none once it was removed. A machine is its two files:
// one renamed is still the same client.
std::optional<size_t> PlaceIn(const MachineTable& table, const Machine& machine, size_t index) {
  const auto same = [&](const Machine& other) {
    return other.FactorPath == machine.FactorPath && other.StatusPath == machine.StatusPath;
  };
  if (index < table.size() && same(table[index])) return index;
  const auto found = std::find_if(table.begin(), table.end(), same);
  if (found == table.end()) return std::nullopt;
  return static_cast<size_t>(found - table.begin());
}

}  // namespace

void SelectionFollower::select(size_t row) {
  selected_ = row;
  selectedTable_ = session_.model().TableRevision;
}

void SelectionFollower::drop() {
  selected_.reset();
  ++selectionReads_;  // the selection's read under way is of no use now
  ++chartReads_;
  chartStale_ = false;
  chart_ = {};
  emit session_.chartChanged();
}

std::optional<size_t> SelectionFollower::selected() const {
  if (selectedTable_ != session_.model().TableRevision) return std::nullopt;
  return selected_;
}

void SelectionFollower::read() {
  const std::optional<size_t> machine = selected();
  if (!machine) return;
  const uint64_t selection = ++selectionReads_;
  // Only the latest read is worth finishing.
  selectionStop_.request_stop();
  selectionStop_ = std::stop_source();
  const Model& model = session_.model();
  session_.runner().run(
      [this, selection, table = model.TableRevision, index = *machine,
       path = model.Machines[*machine].FactorPath, chart = nextChartRead(),
       fetcher = session_.fetcher_](const BackgroundRunner::Job& job) {
        // A newer selection stops this read, even one waiting on a host.
        const StoppableFetcher stoppable(*fetcher, job.stopToken());
        auto file = std::make_shared<LocationText>(OpenLocation(path, stoppable));
        if (job.stopRequested()) return;
        job.post([this, selection, table, index, file] {
          session_.deliver([this, selection, table, index, file] {
            applySelection(selection, table, index, *file);
          });
        });
        if (chart) ReadChart(this, job, *chart, *file, stoppable);
      },
      selectionStop_);
}

std::optional<size_t> SelectionFollower::placeIn(const MachineTable& machines) const {
  if (!selected()) return std::nullopt;
  return PlaceIn(machines, session_.model().Machines[*selected()], *selected());
}

void SelectionFollower::tableReplaced(std::optional<size_t> kept) {
  selected_ = kept;
  selectedTable_ = session_.model().TableRevision;
  shownMachine_.reset();
  ++chartReads_;
  chartStale_ = false;
  chart_ = {};
}

void SelectionFollower::setChartShown(bool shown) {
  chartShown_ = shown;
  if (shown && chartStale_) readChart();
}

std::optional<SelectionFollower::ChartRequest> SelectionFollower::nextChartRead() {
  // Only the latest read is worth finishing.
  chartStop_.request_stop();
  chartStop_ = std::stop_source();
  const uint64_t read = ++chartReads_;
  chartStale_ = !chartShown_;
  if (!chartShown_ || !selected()) return std::nullopt;
  const Machine& machine = session_.model().Machines[*selected()];
  return ChartRequest{read, session_.model().TableRevision, Text(machine.Name), machine.StatusPath};
}

void SelectionFollower::readChart() {
  if (!selected()) return;
  const std::optional<ChartRequest> chart = nextChartRead();
  if (!chart) return;
  session_.runner().run(
      [this, request = *chart, factorPath = session_.model().Machines[*selected()].FactorPath,
       fetcher = session_.fetcher_](const BackgroundRunner::Job& job) {
        const StoppableFetcher stoppable(*fetcher, job.stopToken());
        ReadChart(this, job, request, OpenLocation(factorPath, stoppable), stoppable);
      },
      chartStop_);
}

void SelectionFollower::ReadChart(SelectionFollower* follower, const BackgroundRunner::Job& job,
                                  const ChartRequest& request, const LocationText& factorFile,
                                  const Fetcher& fetcher) {
  if (job.stopRequested()) return;
  auto chart = std::make_shared<SpeedChartData>(
      ChartOf(request.machine, request.statusPath, factorFile, fetcher));
  if (job.stopRequested()) return;
  job.post([follower, read = request.read, table = request.table, chart] {
    follower->session_.deliver(
        [follower, read, table, chart] { follower->applyChart(read, table, std::move(*chart)); });
  });
}

void SelectionFollower::applyChart(uint64_t read, uint64_t table, SpeedChartData data) {
  if (read != chartReads_ || table != session_.model().TableRevision) return;
  chart_ = std::move(data);
  emit session_.chartChanged();
}

void SelectionFollower::applySelection(uint64_t selection, uint64_t table, size_t row,
                                       const LocationText& factorFile) {
  if (selection != selectionReads_ || table != session_.model().TableRevision) return;
  ShowMachineFactorsFrom(session_.model_, row, factorFile);
  shownMachine_ = row;
  emit session_.factorsChanged();
}

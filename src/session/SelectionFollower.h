#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>

#include <QString>

#include "location/Fetcher.h"
#include "model/Model.h"
#include "session/BackgroundRunner.h"
#include "session/SpeedChartData.h"

class FarmSession;

// The session's selected machine and what follows it: the factor pane
// narrowed to its factors, and the speed chart of it. The session owns it
// and asks it; it tells the window through the session's signals, and its
// reads' results wait for the session's edit lock as all do.
class SelectionFollower {
 public:
  explicit SelectionFollower(FarmSession& session) : session_(session) {}

  // Selects the machine at `row` of the table on display; read() then
  // reads its factors.
  void select(size_t row);
  // Drops the selection and empties the chart.
  void drop();
  // The selected machine's row, if one is selected in the table on display.
  std::optional<size_t> selected() const;
  // Whose factors are on display: a machine's, or with none every machine's.
  std::optional<size_t> shownMachine() const { return shownMachine_; }
  // A refresh put every machine's factors on display.
  void showAll() { shownMachine_.reset(); }
  // Reads the selected machine's factor file (and its chart) to show them.
  void read();
  // Where the selected machine is in `machines`, a table to come.
  std::optional<size_t> placeIn(const MachineTable& machines) const;
  // The table was replaced; `kept` is the selection's place in it.
  void tableReplaced(std::optional<size_t> kept);

  void setChartShown(bool shown);
  const SpeedChartData& chart() const { return chart_; }

 private:
  struct ChartRequest {
    uint64_t read;
    uint64_t table;
    QString machine;
    std::string statusPath;
  };

  void applySelection(uint64_t selection, uint64_t table, size_t row,
                      const LocationText& factorFile);
  // What the chart's next read is to read, or nothing while the chart is
  // hidden: it is read once it shows. Reads begun before are stale.
  std::optional<ChartRequest> nextChartRead();
  void readChart();
  // On a worker thread: reads the chart's status file and hands the chart,
  // with the factors of `factorFile`, to the session's thread.
  static void ReadChart(SelectionFollower* follower, const BackgroundRunner::Job& job,
                        const ChartRequest& request, const LocationText& factorFile,
                        const Fetcher& fetcher);
  void applyChart(uint64_t read, uint64_t table, SpeedChartData data);

  FarmSession& session_;
  // The selected machine, in the table of revision selectedTable_; the
  // chart is of it too.
  std::optional<size_t> selected_;
  uint64_t selectedTable_ = 0;
  std::optional<size_t> shownMachine_;
  // Counts the selection's reads, so that a late one cannot overwrite a newer.
  uint64_t selectionReads_ = 0;
  std::stop_source selectionStop_;
  uint64_t chartReads_ = 0;
  std::stop_source chartStop_;
  bool chartShown_ = false;
  bool chartStale_ = false;  // something newer to show came while hidden
  SpeedChartData chart_;
};

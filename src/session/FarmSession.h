#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "farm/Refresh.h"
#include "location/Fetcher.h"
#include "location/Location.h"
#include "model/Model.h"
#include "model/Result.h"
#include "session/MachineListRow.h"

class WorkerRelay;

// The window's one door to the core. It holds the model, the settings
// file's path and the fetcher; reads machines' files on worker threads so
// that the window never waits for a slow host, applies what they read on
// its own thread, and signals when what is on display has changed. Text
// crosses between the core's std::string and Qt's QString only here.
class FarmSession : public QObject {
  Q_OBJECT

 public:
  FarmSession(Model& model, std::string settingsPath, std::shared_ptr<const Fetcher> fetcher,
              QObject* parent = nullptr);
  ~FarmSession() override;

  Status loadSettings();
  Status saveSettings();

  // Starts a refresh of every machine, unless a refresh or a submission
  // runs: then the request is dropped and this gives false.
  bool refresh();
  bool refreshing() const { return model_.RefreshBusy; }

  // Narrows the factors on display to the machine at `row` once its factor
  // file has been read; dropped if a refresh or another selection is
  // applied first.
  void selectMachine(int row);

  // Declares the new factors on display submitted and saves the settings.
  Status markNewFactorsAsOld();

  std::vector<MachineListRow> machineRows() const;
  QString allFactorsText() const;
  QString newFactorsText() const;  // lines end in CR LF
  int newFactorCount() const { return model_.NewFactorCount; }
  bool hasNewFactorMarks() const { return !model_.Marks.empty(); }
  // The page that Copy new opens, when it is to open one.
  std::optional<QUrl> copyNewUrl() const;

  // While a Hold lives, results that arrive from worker threads wait, and
  // are applied in order when the last hold goes. A question about the
  // factors on display is so answered about the factors it showed.
  class Hold {
   public:
    explicit Hold(FarmSession& session);
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    ~Hold();

   private:
    FarmSession& session_;
  };

 signals:
  void refreshStarted(int machines);
  void refreshProgress(int read, int machines);
  // The machine rows and the factors on display have changed.
  void refreshed();
  // The factors on display have changed (a selection, Mark as old).
  void factorsChanged();

 private:
  // Runs `work` on a thread of its own that nobody waits for.
  void runDetached(std::function<void(WorkerRelay&, const Fetcher&)> work);
  // Applies a result now, or after the holds.
  void deliver(std::function<void()> apply);
  void applyRefresh(std::vector<MachineFiles> files);
  void applySelection(uint64_t selection, size_t row, const LocationText& factorFile);
  void applyHeld();

  Model& model_;
  std::string settingsPath_;
  std::shared_ptr<const Fetcher> fetcher_;
  std::shared_ptr<WorkerRelay> relay_;
  // Counts the refreshes and selections applied or asked for, so that a
  // selection's late result cannot overwrite a newer view.
  uint64_t views_ = 0;
  int holds_ = 0;
  std::vector<std::function<void()>> held_;
};

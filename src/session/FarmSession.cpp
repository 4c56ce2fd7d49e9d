#include "session/FarmSession.h"

#include <QStringList>
#include <system_error>
#include <thread>

#include "model/SettingsFile.h"
#include "monitor/MachineRow.h"
#include "session/WorkerRelay.h"
#include "submit/NewFactorActions.h"

namespace {

MachineListRow ListRow(const Machine& machine) {
  const MachineRow texts = MachineRowTexts(machine);
  MachineListRow row;
  for (size_t column = 0; column < kMachineColumnCount; ++column)
    row.cells[column] = QString::fromStdString(texts[column]);
  QStringList unread;
  for (const std::string& line : UnreadFiles(machine)) unread << QString::fromStdString(line);
  row.toolTip = unread.join('\n');
  return row;
}

}  // namespace

FarmSession::FarmSession(Model& model, std::string settingsPath,
                         std::shared_ptr<const Fetcher> fetcher, QObject* parent)
    : QObject(parent),
      model_(model),
      settingsPath_(std::move(settingsPath)),
      fetcher_(std::move(fetcher)),
      relay_(std::make_shared<WorkerRelay>(this)) {}

FarmSession::~FarmSession() { relay_->detach(); }

Status FarmSession::loadSettings() { return LoadSettings(settingsPath_, model_); }

Status FarmSession::saveSettings() { return SaveSettings(settingsPath_, model_); }

bool FarmSession::refresh() {
  std::optional<std::vector<MachineLocations>> locations = BeginRefresh(model_);
  if (!locations) return false;
  emit refreshStarted(static_cast<int>(locations->size()));
  runDetached([this, locations = std::move(*locations)](WorkerRelay& relay,
                                                        const Fetcher& fetcher) {
    RefreshOptions options;
    options.progress = [this, &relay](size_t read, size_t machines) {
      relay.post([this, read, machines] {
        emit refreshProgress(static_cast<int>(read), static_cast<int>(machines));
      });
    };
    auto files =
        std::make_shared<std::vector<MachineFiles>>(FetchMachineFiles(locations, fetcher, options));
    relay.post([this, files] { deliver([this, files] { applyRefresh(std::move(*files)); }); });
  });
  return true;
}

void FarmSession::selectMachine(int row) {
  if (row < 0 || static_cast<size_t>(row) >= model_.Machines.size()) return;
  const uint64_t selection = ++views_;
  const size_t index = static_cast<size_t>(row);
  runDetached([this, selection, index, path = model_.Machines[index].FactorPath](
                  WorkerRelay& relay, const Fetcher& fetcher) {
    auto file = std::make_shared<LocationText>(OpenLocation(path, fetcher));
    relay.post([this, selection, index, file] {
      deliver([this, selection, index, file] { applySelection(selection, index, *file); });
    });
  });
}

Status FarmSession::markNewFactorsAsOld() {
  Status saved = MarkNewFactorsAsOld(model_, settingsPath_);
  emit factorsChanged();
  return saved;
}

std::vector<MachineListRow> FarmSession::machineRows() const {
  std::vector<MachineListRow> rows;
  rows.reserve(model_.Machines.size());
  for (const Machine& machine : model_.Machines) rows.push_back(ListRow(machine));
  return rows;
}

QString FarmSession::allFactorsText() const {
  return QString::fromStdString(model_.AllFactorsText);
}

QString FarmSession::newFactorsText() const {
  return QString::fromStdString(model_.NewFactorsText);
}

std::optional<QUrl> FarmSession::copyNewUrl() const {
  if (!model_.Options.LaunchCopyNewURL) return std::nullopt;
  return QUrl(QString::fromStdString(model_.Options.CopyNewURL));
}

FarmSession::Hold::Hold(FarmSession& session) : session_(session) { ++session_.holds_; }

FarmSession::Hold::~Hold() {
  if (--session_.holds_ == 0) session_.applyHeld();
}

void FarmSession::runDetached(std::function<void(WorkerRelay&, const Fetcher&)> work) {
  // The worker owns its share of the relay and the fetcher, and reaches this
  // session only through calls posted to the relay, which run on this
  // session's thread while it lives: so nobody waits for a hanging host,
  // not even the closing window.
  auto run = [relay = relay_, fetcher = fetcher_, work] { work(*relay, *fetcher); };
  try {
    std::thread(run).detach();
  } catch (const std::system_error&) {
    run();  // no thread to be had: slower, but the result still comes
  }
}

void FarmSession::deliver(std::function<void()> apply) {
  if (holds_ > 0)
    held_.push_back(std::move(apply));
  else
    apply();
}

void FarmSession::applyRefresh(std::vector<MachineFiles> files) {
  ++views_;
  FinishRefresh(model_, std::move(files));
  emit refreshed();
}

void FarmSession::applySelection(uint64_t selection, size_t row, const LocationText& factorFile) {
  if (selection != views_) return;
  ShowMachineFactorsFrom(model_, row, factorFile);
  emit factorsChanged();
}

void FarmSession::applyHeld() {
  std::vector<std::function<void()>> held = std::move(held_);
  held_.clear();
  for (const std::function<void()>& apply : held) apply();
}

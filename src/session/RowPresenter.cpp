#include "session/RowPresenter.h"

#include <QStringList>
#include <algorithm>
#include <limits>
#include <string>

#include "location/Location.h"
#include "model/Redaction.h"
#include "monitor/CellTexts.h"
#include "monitor/MachineRow.h"
#include "session/FarmSession.h"

namespace {

// What a machine's row says while its first reading is awaited.
const QString kReading = QStringLiteral("reading…");

QString Text(const std::string& text) { return QString::fromStdString(text); }

// Whom a read of `location` waits for: the host of an http location, the
// file itself otherwise.
QString WaitedFor(const std::string& location) {
  const std::string shown = RedactPasswords(location);
  if (!IsHttpLocation(shown)) return Text(shown);
  const std::string rest = shown.substr(7);
  return Text(rest.substr(0, rest.find('/')));
}

// The numbers behind a read machine's cells. "Done" lies beyond every
// position, and "Big Crunch" beyond every time.
std::array<QVariant, kMachineColumnCount> Values(const Machine& machine) {
  const auto number = [](uint64_t value) { return QVariant::fromValue(qulonglong{value}); };
  constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();
  return {
      Text(machine.Name),
      machine.TotalFactors,
      number(machine.RangeStart),
      number(machine.Pmax),
      number(machine.Done ? kNever : machine.CurrentP),
      PercentDone(machine),
      machine.Speed,
      number(EtaSeconds(machine).value_or(kNever)),
      machine.RangeFactors,
      FactorsPerBillion(machine),
      machine.QueuedRanges.empty() ? QVariant() : number(machine.QueuedRanges.front().Pmin),
  };
}

MachineCells Cells(const Machine& machine) {
  const MachineRow texts = MachineRowTexts(machine);
  MachineCells cells;
  for (size_t column = 0; column < kMachineColumnCount; ++column)
    cells[column] = Text(texts[column]);
  return cells;
}

}  // namespace

std::array<MachineCells, 2> RowPresenter::farAlongCells() {
  constexpr uint64_t kPeta = 1'000'000'000'000'000;
  Machine begun;
  begun.RangeStart = 90 * kPeta;
  begun.CurrentP = begun.RangeStart + 1000;
  begun.Pmax = 99'999'999'999'999'999;
  begun.TotalFactors = 99'999;
  begun.RangeFactors = 1234;
  Machine sieving = begun;
  sieving.CurrentP = 91 * kPeta;
  sieving.Speed = 99'999;
  sieving.QueuedRanges = {{99 * kPeta, 99'999'999'999'999'999}};
  return {Cells(begun), Cells(sieving)};
}

void RowPresenter::refreshStarted() {
  const Model& model = session_.model();
  if (readTable_ != model.TableRevision || everRead_.size() != model.Machines.size()) {
    readTable_ = model.TableRevision;
    everRead_.assign(model.Machines.size(), false);
  }
}

bool RowPresenter::everRead(size_t row) const {
  return readTable_ == session_.model().TableRevision && row < everRead_.size() && everRead_[row];
}

QString RowPresenter::waitingToolTip(size_t row) const {
  const Machine& machine = session_.model().Machines[row];
  const std::string& location =
      IsHttpLocation(machine.StatusPath) || !IsHttpLocation(machine.FactorPath)
          ? machine.StatusPath
          : machine.FactorPath;
  return QString("waiting for %1 since %2 s")
      .arg(WaitedFor(location))
      .arg(session_.refreshElapsed() / 1000);
}

MachineListRow RowPresenter::row(size_t index) const {
  const Machine& machine = session_.model().Machines[index];
  MachineListRow listRow;
  listRow.waiting = session_.waitingFor(index);
  if (listRow.waiting && !everRead(index)) {
    listRow.cells[0] = Text(machine.Name);
    listRow.values[0] = listRow.cells[0];
    listRow.cells[1] = kReading;
    listRow.toolTip = waitingToolTip(index);
    return listRow;
  }
  listRow.cells = Cells(machine);
  QStringList lines;
  if (listRow.waiting) lines << waitingToolTip(index);
  for (const std::string& line : UnreadFiles(machine)) lines << Text(line);
  listRow.toolTip = lines.join('\n');
  listRow.unreadable = !machine.StatusError.empty() || !machine.FactorError.empty();
  listRow.values = Values(machine);
  if (listRow.unreadable) std::fill(listRow.values.begin() + 1, listRow.values.end(), QVariant());
  return listRow;
}

std::vector<MachineListRow> RowPresenter::rows() const {
  std::vector<MachineListRow> rows;
  rows.reserve(session_.model().Machines.size());
  for (size_t index = 0; index < session_.model().Machines.size(); ++index)
    rows.push_back(row(index));
  return rows;
}

#include "ui/CNextrangesDlg.h"

#include <QApplication>
#include <QBoxLayout>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <tuple>

#include "model/Billions.h"
#include "model/Constants.h"
#include "ui/CEditrangeDlg.h"
#include "ui/DialogUnits.h"
#include "ui/Prompter.h"
#include "ui/ScreenRoom.h"
#include "ui/SelectionLook.h"

namespace {

using namespace std::chrono_literals;

constexpr int kColumnWidth = 120;   // pixels, as the lists' columns were first laid out
constexpr int kSummaryWidth = 170;  // room for "12345 G in 999 ranges"
// A client takes a range every few hours at most; a queue file is a few
// lines. Reading them this often costs nothing and keeps "In the file" on
// what a client took while the user looks.
constexpr auto kRereadInterval = 2s;
const QString kReading = QStringLiteral("reading…");

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The machines as the session knows them, their queues not read yet: what
// a refresh read earlier may be out of date, and edits left in memory by
// an earlier Cancel are gone.
MachineTable Unread(MachineTable machines) {
  for (Machine& machine : machines) {
    machine.QueuedRanges.clear();
    machine.QueueError.clear();
  }
  return machines;
}

// "45 G in 3 ranges": how much a queue holds, to the nearest billion.
QString QueueSummary(const std::vector<Range>& queue) {
  if (queue.empty()) return "empty";
  unsigned __int128 length = 500'000'000;  // 2^64 p can be queued many times over
  for (const Range& range : queue)
    if (range.Pmin < range.Pmax) length += range.Pmax - range.Pmin;
  return QString("%1 G in %2 range%3")
      .arg(static_cast<qulonglong>(length / 1'000'000'000))
      .arg(queue.size())
      .arg(queue.size() == 1 ? "" : "s");
}

bool ByBounds(const Range& a, const Range& b) {
  return std::tie(a.Pmin, a.Pmax) < std::tie(b.Pmin, b.Pmax);
}

// The line that names an edited range the client of `machine` has begun.
QString LeftOutLine(const std::string& machine, const Range& range) {
  return Text(machine) + " has begun " + Text(BillionsText(range.Pmin)) + "–" +
         Text(BillionsText(range.Pmax)) + " since this dialog opened; it was left out.";
}

void MarkTaken(QTreeWidgetItem* item, const QString& toolTip) {
  for (int column = 0; column < item->columnCount(); ++column) {
    item->setForeground(column, QApplication::palette().color(QPalette::Disabled, QPalette::Text));
    item->setToolTip(column, toolTip);
  }
}

void SetBold(QTreeWidgetItem* item, bool bold) {
  for (int column = 0; column < item->columnCount(); ++column) {
    QFont font = item->font(column);
    font.setBold(bold);
    item->setFont(column, font);
  }
}

}  // namespace

CNextrangesDlg::CNextrangesDlg(FarmSession& session, Prompter& prompter, QWidget* parent)
    : QDialog(parent),
      session_(session),
      prompter_(prompter),
      lock_(session),
      machines_(Unread(session.model().Machines)),
      asRead_(machines_.size()),
      files_(machines_.size()),
      read_(machines_.size(), false) {
  setObjectName("rangesDialog");
  setWindowTitle("Manage ranges");
  layOut();
  QList<QTreeWidgetItem*> rows;
  rows.reserve(static_cast<qsizetype>(machines_.size()));
  for (int i = 0; i < static_cast<int>(machines_.size()); ++i) rows.append(new QTreeWidgetItem);
  machineList_->addTopLevelItems(rows);
  for (int i = 0; i < static_cast<int>(machines_.size()); ++i) showMachineRow(i);
  // The machine selected in the window, else the first, is current and
  // selected: New works at once, and the keyboard moves on from it.
  if (!rows.isEmpty())
    machineList_->setCurrentItem(rows.value(session.selectedMachine().value_or(0), rows.front()));
  machineList_->setFocus();
  nextReading_.setSingleShot(true);
  nextReading_.setInterval(kRereadInterval);
  connect(&nextReading_, &QTimer::timeout, this, &CNextrangesDlg::readFiles);
  readFiles();
}

void CNextrangesDlg::layOut() {
  const DialogUnits units(font());
  machineList_ = makeList("machineList", {"Name", "Queued", "In the file"});
  machineList_->setColumnWidth(1, kSummaryWidth);
  machineList_->setColumnWidth(2, kSummaryWidth);
  connect(machineList_, &QTreeWidget::itemSelectionChanged, this, &CNextrangesDlg::machineSelected);
  queueLabel_ = new QLabel("Queued ranges", this);
  queueLabel_->setObjectName("queueLabel");
  rangeList_ = makeList("rangeList", {"pmin", "pmax"});

  // OK, Cancel and Equalize beside the machine list, Equalize level with
  // its foot; New, Edit and Delete beside the range list, level with its.
  QPushButton* ok = makeButton("okButton", "OK", "Exit and save changes", &CNextrangesDlg::accept);
  ok->setDefault(true);
  QPushButton* cancel = cancelButton_ =
      makeButton("cancelButton", "Cancel", "Exit and ignore changes", &CNextrangesDlg::reject);
  QPushButton* equalizeButton =
      makeButton("equalizeButton", "E&qualize", QString(), &CNextrangesDlg::mergeThenEqualize);
  QPushButton* newButton =
      makeButton("newButton", "&New", "Create new range", &CNextrangesDlg::newRange);
  QPushButton* editButton =
      makeButton("editButton", "&Edit", "Edit selected range", &CNextrangesDlg::editRange);
  QPushButton* deleteButton =
      makeButton("deleteButton", "&Delete", "Delete selected range", &CNextrangesDlg::deleteRange);
  editingButtons_ = {ok, equalizeButton, newButton, editButton, deleteButton};
  auto* machineButtons = new QVBoxLayout;
  machineButtons->setSpacing(units.y(3));
  machineButtons->addWidget(ok);
  machineButtons->addWidget(cancel);
  machineButtons->addStretch();
  machineButtons->addWidget(equalizeButton);
  auto* rangeButtons = new QVBoxLayout;
  rangeButtons->setSpacing(units.y(3));
  rangeButtons->addStretch();
  rangeButtons->addWidget(newButton);
  rangeButtons->addWidget(editButton);
  rangeButtons->addWidget(deleteButton);

  queueLabel_->setContentsMargins(0, units.y(2), 0, 0);
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(units.x(7), units.y(7), units.x(7), units.y(7));
  layout->setHorizontalSpacing(units.x(17));
  layout->setVerticalSpacing(units.y(2));
  layout->addWidget(new QLabel("Machines", this), 0, 0);
  layout->addWidget(machineList_, 1, 0);
  layout->addWidget(queueLabel_, 2, 0);
  layout->addWidget(rangeList_, 3, 0);
  layout->addLayout(machineButtons, 0, 1, 2, 1);
  layout->addLayout(rangeButtons, 2, 1, 2, 1);
  layout->setRowStretch(1, 1);
  layout->setRowStretch(3, 1);
  ResizeWithin(*this, units.size(512, 169));

  setTabOrder(machineList_, rangeList_);
  QWidget* previous = rangeList_;
  for (QWidget* button : {ok, cancel, equalizeButton, newButton, editButton, deleteButton}) {
    setTabOrder(previous, button);
    previous = button;
  }
}

QTreeWidget* CNextrangesDlg::makeList(const char* name, const QStringList& columns) {
  auto* list = new QTreeWidget(this);
  list->setObjectName(name);
  list->setHeaderLabels(columns);
  list->setRootIsDecorated(false);
  list->setItemsExpandable(false);
  list->setUniformRowHeights(true);
  list->setAllColumnsShowFocus(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->header()->setSectionsMovable(false);
  list->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int column = 0; column < static_cast<int>(columns.size()); ++column)
    list->setColumnWidth(column, kColumnWidth);
  KeepSelectionVisible(list);
  return list;
}

QPushButton* CNextrangesDlg::makeButton(const char* name, const QString& text,
                                        const QString& toolTip, void (CNextrangesDlg::*action)()) {
  auto* button = new QPushButton(text, this);
  button->setObjectName(name);
  button->setToolTip(toolTip);
  button->setFixedSize(DialogUnits(font()).size(50, 14));
  connect(button, &QPushButton::clicked, this, action);
  return button;
}

void CNextrangesDlg::showMachineRow(int index) {
  const size_t machine = static_cast<size_t>(index);
  const std::vector<Range>& queue = machines_[machine].QueuedRanges;
  QTreeWidgetItem* row = machineList_->topLevelItem(index);
  row->setText(0, Text(machines_[machine].Name));
  row->setText(1, read_[machine] ? QueueSummary(queue) : QString());
  row->setText(2, fileSummary(machine));
  row->setToolTip(2, Text(machines_[machine].QueueError));
  SetBold(row, queue != asRead_[machine]);
}

QString CNextrangesDlg::fileSummary(size_t index) const {
  const Machine& machine = machines_[index];
  if (!FarmSession::hasQueueFile(machine.StatusPath)) return "no file";
  if (!anyReading_) return kReading;
  if (!machine.QueueError.empty()) return "cannot be read";
  return QueueSummary(files_[index]);
}

void CNextrangesDlg::ShowQueuedRanges(int index, int selected) {
  const Machine& machine = machines_[static_cast<size_t>(index)];
  queueLabel_->setText("Queued ranges for " + Text(machine.Name));
  std::vector<Range> asRead = asRead_[static_cast<size_t>(index)];
  const std::vector<Range> taken =
      read_[static_cast<size_t>(index)] && machine.QueueError.empty()
          ? FarmSession::takenRanges(asRead, files_[static_cast<size_t>(index)])
          : std::vector<Range>();
  std::sort(asRead.begin(), asRead.end(), ByBounds);
  QList<QTreeWidgetItem*> rows;
  rows.reserve(static_cast<qsizetype>(machine.QueuedRanges.size()));
  for (const Range& range : machine.QueuedRanges) {
    auto* row = new QTreeWidgetItem(
        QStringList{Text(BillionsText(range.Pmin)), Text(BillionsText(range.Pmax))});
    SetBold(row, !std::binary_search(asRead.begin(), asRead.end(), range, ByBounds));
    // What the client has begun stays in view, greyed, until OK leaves it out.
    if (std::any_of(taken.begin(), taken.end(),
                    [&](const Range& took) { return Overlaps(took, range); }))
      MarkTaken(row, Text(machine.Name) +
                         " has begun this range since this dialog opened: OK leaves it out.");
    rows.append(row);
  }
  rangeList_->clear();
  rangeList_->addTopLevelItems(rows);
  if (QTreeWidgetItem* row = rangeList_->topLevelItem(selected)) rangeList_->setCurrentItem(row);
}

void CNextrangesDlg::machineSelected() {
  // A machine losing its selection leaves its queue on show.
  const int machine = selectedMachine();
  if (machine >= 0) ShowQueuedRanges(machine);
}

int CNextrangesDlg::selectedMachine() const {
  const QList<QTreeWidgetItem*> selected = machineList_->selectedItems();
  return selected.isEmpty() ? -1 : machineList_->indexOfTopLevelItem(selected.constFirst());
}

int CNextrangesDlg::selectedRange() const {
  const QList<QTreeWidgetItem*> selected = rangeList_->selectedItems();
  return selected.isEmpty() ? -1 : rangeList_->indexOfTopLevelItem(selected.constFirst());
}

std::optional<int> CNextrangesDlg::machineToEdit(bool needsRange) {
  const int machine = selectedMachine();
  if (machine < 0) {
    tell("Select a machine first.");
    return std::nullopt;
  }
  const Machine& shown = machines_[static_cast<size_t>(machine)];
  if (!FarmSession::hasQueueFile(shown.StatusPath)) {
    tell("You can't manage ranges for http based locations.");
    return std::nullopt;
  }
  // An edit of a queue nobody has seen would be applied to nothing.
  if (!read_[static_cast<size_t>(machine)]) {
    if (shown.QueueError.empty())
      tell("The queued ranges of " + Text(shown.Name) + " are still being read.");
    else
      tell("The queued ranges of " + Text(shown.Name) +
               " could not be read, so they cannot be edited: " + Text(shown.QueueError),
           QMessageBox::Warning);
    return std::nullopt;
  }
  if (needsRange && selectedRange() < 0) {
    tell("There is no range selected.");
    return std::nullopt;
  }
  return machine;
}

void CNextrangesDlg::newRange() {
  const std::optional<int> machine = machineToEdit(false);
  if (!machine) return;
  // The range joins the queue with OK only: a Cancel leaves nothing behind.
  const std::optional<Range> range = askRange(Range{});
  if (!range) return;
  std::vector<Range>& queue = machines_[static_cast<size_t>(*machine)].QueuedRanges;
  queue.push_back(*range);
  showMachineRow(*machine);
  ShowQueuedRanges(*machine, static_cast<int>(queue.size()) - 1);
}

void CNextrangesDlg::editRange() {
  const std::optional<int> machine = machineToEdit(true);
  if (!machine) return;
  const int row = selectedRange();
  std::vector<Range>& queue = machines_[static_cast<size_t>(*machine)].QueuedRanges;
  const std::optional<Range> range = askRange(queue[static_cast<size_t>(row)]);
  if (!range) return;
  queue[static_cast<size_t>(row)] = *range;
  showMachineRow(*machine);
  ShowQueuedRanges(*machine, row);
}

std::optional<Range> CNextrangesDlg::askRange(const Range& range) {
  CEditrangeDlg editor(range, prompter_, this);
  if (editor.exec() != QDialog::Accepted) return std::nullopt;
  return editor.range();
}

void CNextrangesDlg::deleteRange() {
  const std::optional<int> machine = machineToEdit(true);
  if (!machine) return;
  std::vector<Range>& queue = machines_[static_cast<size_t>(*machine)].QueuedRanges;
  queue.erase(queue.begin() + selectedRange());
  showMachineRow(*machine);
  ShowQueuedRanges(*machine);
}

void CNextrangesDlg::mergeThenEqualize() {
  readAgainThen([this](const Readings& readings) {
    const std::vector<std::vector<Range>> taken = takenSince(readings);
    const std::vector<FarmSession::MergedQueue> merges = mergeWith(readings, taken);
    if (!mayLeaveOut(merges, taken)) return;
    // Equalize hands out what the files hold now, with the edits so far.
    for (size_t i = 0; i < machines_.size(); ++i) {
      if (!mergeable(i, readings)) continue;
      asRead_[i] = readings[i].Ranges;
      machines_[i].QueuedRanges = merges[i].Queue;
      showMachineRow(static_cast<int>(i));
    }
    equalize();
  });
}

void CNextrangesDlg::equalize() {
  if (!everyQueueRead()) return;
  const FarmSession::EqualizeSteps steps = session_.planEqualize(machines_);
  // Also when no speed is known: the machines left out may be why.
  if (!steps.noSpeed.isEmpty()) return tell(steps.leftOut + steps.noSpeed);
  for (const QString& message : steps.attention)
    prompter_.ask(this, steps.attentionCaption, message, QMessageBox::Ok, QMessageBox::Ok,
                  QMessageBox::Warning);
  if (!steps.overlapQuestion.isEmpty() &&
      prompter_.ask(this, QString::fromLatin1(kAppName), steps.overlapQuestion,
                    QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok,
                    QMessageBox::Question) != QMessageBox::Ok)
    return;
  const QString done = FarmSession::equalize(machines_, steps);
  for (int i = 0; i < machineList_->topLevelItemCount(); ++i) showMachineRow(i);
  tell(steps.leftOut + done);
  // Selecting row 0 afresh shows its new queue, also when it was selected.
  machineList_->clearSelection();
  machineList_->setCurrentItem(machineList_->topLevelItem(0));
  machineList_->setFocus();
}

bool CNextrangesDlg::everyQueueRead() {
  // Equalize would hand an unread queue out as empty, and OK would then
  // write it so: its ranges would be lost.
  for (const Machine& machine : machines_) {
    if (machine.QueueError.empty()) continue;
    tell("The queued ranges of " + Text(machine.Name) +
             " could not be read, so Equalize cannot hand them out: " + Text(machine.QueueError),
         QMessageBox::Warning);
    return false;
  }
  return true;
}

bool CNextrangesDlg::edited() const {
  for (size_t i = 0; i < machines_.size(); ++i)
    if (machines_[i].QueuedRanges != asRead_[i]) return true;
  return false;
}

void CNextrangesDlg::readFiles() {
  session_.readQueues([dialog = QPointer<CNextrangesDlg>(this)](Readings readings) {
    if (!dialog) return;
    dialog->showReadings(readings);
    dialog->nextReading_.start();
  });
}

void CNextrangesDlg::showReadings(const Readings& readings) {
  anyReading_ = true;
  const int selected = selectedMachine();
  bool selectedChanged = false;
  for (size_t i = 0; i < std::min(readings.size(), machines_.size()); ++i) {
    const FarmSession::QueueReading& reading = readings[i];
    const bool changed =
        reading.Error.toStdString() != machines_[i].QueueError || reading.Ranges != files_[i];
    machines_[i].QueueError = reading.Error.toStdString();
    if (reading.Error.isEmpty()) {
      files_[i] = reading.Ranges;
      // The first reading is what the user edits.
      if (!read_[i]) {
        asRead_[i] = machines_[i].QueuedRanges = reading.Ranges;
        read_[i] = true;
      }
    }
    showMachineRow(static_cast<int>(i));
    selectedChanged = selectedChanged || (changed && static_cast<int>(i) == selected);
  }
  if (selectedChanged) ShowQueuedRanges(selected, selectedRange());
}

void CNextrangesDlg::readAgainThen(std::function<void(const Readings&)> next) {
  if (step_ != Step::Editing) return;
  setStep(Step::Merging);
  session_.readQueues(
      [dialog = QPointer<CNextrangesDlg>(this), next = std::move(next)](Readings readings) {
        if (!dialog) return;
        dialog->setStep(Step::Editing);
        dialog->showReadings(readings);
        if (readings.size() == dialog->machines_.size()) next(readings);
      });
}

bool CNextrangesDlg::mergeable(size_t index, const Readings& readings) const {
  return read_[index] && readings[index].Error.isEmpty();
}

std::vector<std::vector<Range>> CNextrangesDlg::takenSince(const Readings& readings) const {
  std::vector<std::vector<Range>> taken(machines_.size());
  for (size_t i = 0; i < machines_.size(); ++i)
    if (mergeable(i, readings)) taken[i] = FarmSession::takenRanges(asRead_[i], readings[i].Ranges);
  return taken;
}

std::vector<FarmSession::MergedQueue> CNextrangesDlg::mergeWith(
    const Readings& readings, const std::vector<std::vector<Range>>& taken) const {
  // A range moved to another machine must not be queued there while the
  // client it was taken from sieves it: what any client took counts for
  // every queue.
  std::vector<Range> takenByAny;
  for (const std::vector<Range>& took : taken)
    takenByAny.insert(takenByAny.end(), took.begin(), took.end());
  std::vector<FarmSession::MergedQueue> merges;
  merges.reserve(machines_.size());
  for (size_t i = 0; i < machines_.size(); ++i) {
    // A file that cannot be read is left to the write to refuse.
    if (mergeable(i, readings))
      merges.push_back(FarmSession::mergeQueueEdit(asRead_[i], machines_[i].QueuedRanges,
                                                   readings[i].Ranges, takenByAny));
    else
      merges.push_back({machines_[i].QueuedRanges, {}});
  }
  return merges;
}

bool CNextrangesDlg::mayLeaveOut(const std::vector<FarmSession::MergedQueue>& merges,
                                 const std::vector<std::vector<Range>>& taken) {
  // Named after the machine whose client has begun it, wherever it was
  // to go.
  const auto taker = [&](size_t machine, const Range& range) {
    for (size_t i = 0; i < taken.size(); ++i)
      if (std::any_of(taken[i].begin(), taken[i].end(),
                      [&](const Range& took) { return Overlaps(took, range); }))
        return i;
    return machine;
  };
  namedLeftOut_.clear();
  QStringList lines;
  for (size_t i = 0; i < merges.size(); ++i) {
    for (const Range& range : merges[i].LeftOut) {
      lines << LeftOutLine(machines_[taker(i, range)].Name, range);
      namedLeftOut_.push_back(range);
    }
  }
  if (lines.isEmpty()) return true;
  return prompter_.ask(
             this, QString::fromLatin1(kAppName),
             lines.join('\n') + "\n\nOK writes the other edits; Cancel goes back to them.",
             QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok,
             QMessageBox::Warning) == QMessageBox::Ok;
}

void CNextrangesDlg::accept() {
  if (!edited()) {
    if (step_ == Step::Editing) QDialog::accept();
    return;
  }
  readAgainThen([this](const Readings& readings) {
    const std::vector<std::vector<Range>> taken = takenSince(readings);
    if (mayLeaveOut(mergeWith(readings, taken), taken)) write();
  });
}

void CNextrangesDlg::write() {
  std::vector<FarmSession::QueueEdit> edits;
  edits.reserve(machines_.size());
  for (size_t i = 0; i < machines_.size(); ++i)
    edits.push_back({asRead_[i], machines_[i].QueuedRanges});
  setStep(Step::Writing);
  session_.writeQueues(std::move(edits), [dialog = QPointer<CNextrangesDlg>(this)](
                                             FarmSession::QueueWriteOutcome outcome) {
    if (dialog) dialog->written(outcome);
  });
}

void CNextrangesDlg::written(const FarmSession::QueueWriteOutcome& outcome) {
  setStep(Step::Editing);
  if (!outcome.Failure.isEmpty()) {
    tell("The queued ranges could not be written:\n\n" + outcome.Failure +
             "\n\nNo queue file was changed; the edits are kept here: OK tries again, Cancel "
             "drops them.",
         QMessageBox::Warning);
    return;
  }
  // A client may have begun an edited range since the question.
  QStringList lines;
  for (const auto& [machine, range] : outcome.LeftOut) {
    if (std::find(namedLeftOut_.begin(), namedLeftOut_.end(), range) == namedLeftOut_.end())
      lines << LeftOutLine(machines_[static_cast<size_t>(machine)].Name, range);
  }
  if (!lines.isEmpty()) tell(lines.join('\n'), QMessageBox::Warning);
  QDialog::accept();
}

void CNextrangesDlg::reject() {
  // The write goes on without the dialog: Cancel could not take it back.
  if (step_ != Step::Writing) QDialog::reject();
}

void CNextrangesDlg::setStep(Step step) {
  step_ = step;
  for (QPushButton* button : editingButtons_) button->setEnabled(step == Step::Editing);
  cancelButton_->setEnabled(step != Step::Writing);
}

void CNextrangesDlg::tell(const QString& text, QMessageBox::Icon icon) {
  prompter_.ask(this, QString::fromLatin1(kAppName), text, QMessageBox::Ok, QMessageBox::Ok, icon);
}

#include "ui/CNextrangesDlg.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>
#include <tuple>

#include "model/Constants.h"
#include "model/Model.h"
#include "ranges/Billions.h"
#include "ranges/Equalize.h"
#include "ranges/QueueFile.h"
#include "ui/CEditrangeDlg.h"
#include "ui/DialogUnits.h"
#include "ui/Prompter.h"
#include "ui/SelectionLook.h"

namespace {

constexpr int kColumnWidth = 120;   // pixels, as the lists' columns were first laid out
constexpr int kSummaryWidth = 170;  // room for "12345 G in 999 ranges"

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The machines as the session knows them, each queue as its file holds it
// now: edits left in memory by an earlier Cancel are gone.
MachineTable WithQueuesFromFiles(const MachineTable& machines) {
  Model model;
  model.Machines = machines;
  for (size_t i = 0; i < model.Machines.size(); ++i) ReadQueuedRanges(model, i);
  return std::move(model.Machines);
}

std::vector<std::vector<Range>> Queues(const MachineTable& machines) {
  std::vector<std::vector<Range>> queues;
  queues.reserve(machines.size());
  for (const Machine& machine : machines) queues.push_back(machine.QueuedRanges);
  return queues;
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
      machines_(WithQueuesFromFiles(session.model().Machines)),
      files_(Queues(machines_)) {
  setObjectName("rangesDialog");
  setWindowTitle("Manage ranges");
  layOut();
  QList<QTreeWidgetItem*> rows;
  rows.reserve(static_cast<qsizetype>(machines_.size()));
  for (int i = 0; i < static_cast<int>(machines_.size()); ++i) rows.append(new QTreeWidgetItem);
  machineList_->addTopLevelItems(rows);
  for (int i = 0; i < static_cast<int>(machines_.size()); ++i) showMachineRow(i);
  machineList_->setFocus();
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
  QPushButton* cancel =
      makeButton("cancelButton", "Cancel", "Exit and ignore changes", &CNextrangesDlg::reject);
  QPushButton* equalizeButton =
      makeButton("equalizeButton", "E&qualize", QString(), &CNextrangesDlg::equalize);
  QPushButton* newButton =
      makeButton("newButton", "&New", "Create new range", &CNextrangesDlg::newRange);
  QPushButton* editButton =
      makeButton("editButton", "&Edit", "Edit selected range", &CNextrangesDlg::editRange);
  QPushButton* deleteButton =
      makeButton("deleteButton", "&Delete", "Delete selected range", &CNextrangesDlg::deleteRange);
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
  resize(units.size(512, 169));

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
  const Machine& machine = machines_[static_cast<size_t>(index)];
  const std::vector<Range>& file = files_[static_cast<size_t>(index)];
  QTreeWidgetItem* row = machineList_->topLevelItem(index);
  row->setText(0, Text(machine.Name));
  row->setText(1, QueueSummary(machine.QueuedRanges));
  row->setToolTip(2, Text(machine.QueueError));
  if (!RangeFilePath(machine.StatusPath))
    row->setText(2, "no file");
  else if (!machine.QueueError.empty())
    row->setText(2, "cannot be read");
  else
    row->setText(2, QueueSummary(file));
  SetBold(row, machine.QueuedRanges != file);
}

void CNextrangesDlg::ShowQueuedRanges(int index, int selected) {
  const Machine& machine = machines_[static_cast<size_t>(index)];
  queueLabel_->setText("Queued ranges for " + Text(machine.Name));
  std::vector<Range> file = files_[static_cast<size_t>(index)];
  std::sort(file.begin(), file.end(), ByBounds);
  QList<QTreeWidgetItem*> rows;
  rows.reserve(static_cast<qsizetype>(machine.QueuedRanges.size()));
  for (const Range& range : machine.QueuedRanges) {
    auto* row = new QTreeWidgetItem(
        QStringList{Text(BillionsText(range.Pmin)), Text(BillionsText(range.Pmax))});
    SetBold(row, !std::binary_search(file.begin(), file.end(), range, ByBounds));
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
  if (!RangeFilePath(machines_[static_cast<size_t>(machine)].StatusPath)) {
    tell("You can't manage ranges for http based locations.");
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
  // Left with Cancel, the range stays as (0, 0); the file will not hold it.
  std::vector<Range>& queue = machines_[static_cast<size_t>(*machine)].QueuedRanges;
  queue.push_back(Range{});
  showMachineRow(*machine);
  ShowQueuedRanges(*machine, static_cast<int>(queue.size()) - 1);
  EditSelectedRange();
}

void CNextrangesDlg::editRange() {
  if (machineToEdit(true)) EditSelectedRange();
}

void CNextrangesDlg::EditSelectedRange() {
  const int machine = selectedMachine();
  const int row = selectedRange();
  Range& range = machines_[static_cast<size_t>(machine)].QueuedRanges[static_cast<size_t>(row)];
  CEditrangeDlg editor(range, prompter_, this);
  if (editor.exec() != QDialog::Accepted) return;
  range = editor.range();
  showMachineRow(machine);
  ShowQueuedRanges(machine, row);
}

void CNextrangesDlg::deleteRange() {
  const std::optional<int> machine = machineToEdit(true);
  if (!machine) return;
  std::vector<Range>& queue = machines_[static_cast<size_t>(*machine)].QueuedRanges;
  queue.erase(queue.begin() + selectedRange());
  showMachineRow(*machine);
  ShowQueuedRanges(*machine);
}

void CNextrangesDlg::equalize() {
  if (!everyQueueRead()) return;
  const std::vector<EqualizeMachine> machines = EqualizeMachines(machines_);
  const EqualizePlan plan = PlanEqualize(machines);
  if (!plan.SpeedKnown()) return tell(kNoSpeedMessage);
  for (const std::string& message : AttentionMessages(plan))
    prompter_.ask(this, kAttentionCaption, Text(message), QMessageBox::Ok, QMessageBox::Ok,
                  QMessageBox::Warning);
  if (plan.Overlapped() && prompter_.ask(this, QString::fromLatin1(kAppName), kOverlapQuestion,
                                         QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok,
                                         QMessageBox::Question) != QMessageBox::Ok)
    return;
  const EqualizeResult result = DistributeEqualize(machines, plan);
  ApplyEqualize(machines_, result);
  for (int i = 0; i < machineList_->topLevelItemCount(); ++i) showMachineRow(i);
  tell(Text(DoneMessage(result.Seconds)));
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

void CNextrangesDlg::accept() {
  if (writing_) return;
  std::vector<FarmSession::QueueEdit> edits;
  for (size_t i = 0; i < machines_.size(); ++i)
    edits.push_back({files_[i], machines_[i].QueuedRanges});
  // Nothing is to change until the files are written: the dialog waits.
  writing_ = true;
  setEnabled(false);
  session_.writeQueues(std::move(edits), [dialog = QPointer<CNextrangesDlg>(this)](
                                             const FarmSession::QueueWriteOutcome& outcome) {
    if (dialog) dialog->written(outcome);
  });
}

void CNextrangesDlg::reject() {
  if (!writing_) QDialog::reject();
}

void CNextrangesDlg::written(const FarmSession::QueueWriteOutcome& outcome) {
  writing_ = false;
  setEnabled(true);
  if (!outcome.Failure.isEmpty()) {
    // The queues as read stay the edits' base: a range a client took
    // meanwhile is then known as taken at the next OK.
    tell("The queued ranges could not be written, so none was:\n\n" + outcome.Failure +
             "\n\nThe edits are kept here: OK tries again, Cancel drops them.",
         QMessageBox::Warning);
    return;
  }
  if (!outcome.LeftOut.empty()) {
    QString text = "These ranges were taken by their clients meanwhile, so they were left out:\n";
    for (const auto& [machine, range] : outcome.LeftOut)
      text += '\n' + Text(machines_[static_cast<size_t>(machine)].Name) + ": " +
              Text(BillionsText(range.Pmin)) + " - " + Text(BillionsText(range.Pmax));
    tell(text, QMessageBox::Warning);
  }
  QDialog::accept();
}

void CNextrangesDlg::tell(const QString& text, QMessageBox::Icon icon) {
  prompter_.ask(this, QString::fromLatin1(kAppName), text, QMessageBox::Ok, QMessageBox::Ok, icon);
}

#include "ui/CQuillstrandDlg.h"

#include <QAction>
#include <QBoxLayout>
#include <QClipboard>
#include <QDateTime>
#include <QEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <array>
#include <functional>
#include <utility>

#include "model/Constants.h"
#include "session/AutoTimer.h"
#include "session/FarmSession.h"
#include "ui/CAboutDlg.h"
#include "ui/CNextrangesDlg.h"
#include "ui/COptionsDlg.h"
#include "ui/ColumnFit.h"
#include "ui/DialogUnits.h"
#include "ui/FactorPane.h"
#include "ui/LayoutMemory.h"
#include "ui/MachineListModel.h"
#include "ui/MachineOrder.h"
#include "ui/PercentBarDelegate.h"
#include "ui/Prompter.h"
#include "ui/ScreenRoom.h"
#include "ui/SelectionLook.h"
#include "ui/SpeedChart.h"

namespace {

const QString kMarkAsOldCaption = QStringLiteral("Mark new factors as old");
const char* const kSubmitButton = "submitButton";
const char* const kCopyNewButton = "copyNewButton";
const char* const kMarkAsOldButton = "markAsOldButton";
const QString kWarnedPrefix = QStringLiteral("(!) ");
constexpr int kPercentDoneColumn = 5;

// Set where the window opens on the demo farm, which it must say it is.
bool IsDemoFarm() { return qEnvironmentVariable("QUILLSTRAND_DEMO") == "1"; }

}  // namespace

CQuillstrandDlg::CQuillstrandDlg(FarmSession& session, Prompter& prompter, QWidget* parent)
    : QDialog(parent),
      session_(session),
      prompter_(prompter),
      machines_(new MachineListModel(this)),
      order_(new MachineOrder(this)),
      clock_([] { return QDateTime::currentSecsSinceEpoch(); }) {
  setObjectName("mainWindow");
  setWindowTitle(QString::fromLatin1(kAppName) + ' ' + QString::fromLatin1(kVersion) +
                 (IsDemoFarm() ? QStringLiteral(" — demo farm") : QString()));
  setWindowFlags(Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  order_->setSourceModel(machines_);
  layOut();
  new QShortcut(Qt::Key_F5, this, this, &CQuillstrandDlg::refresh);
  new QShortcut(Qt::Key_F1, this, this, &CQuillstrandDlg::showAbout);
  // The tooltips of the rows still waited for count the seconds.
  waitingTicker_ = new QTimer(this);
  waitingTicker_->setInterval(1000);
  connect(waitingTicker_, &QTimer::timeout, this, &CQuillstrandDlg::showWaitingRows);
  // While machines come in, the summary, which goes through the whole farm,
  // follows them a few times a second rather than at every one, and so do
  // the list's order and filter.
  summaryTimer_ = new QTimer(this);
  summaryTimer_->setSingleShot(true);
  summaryTimer_->setInterval(200);
  connect(summaryTimer_, &QTimer::timeout, this, &CQuillstrandDlg::showSummary);
  connect(summaryTimer_, &QTimer::timeout, this, &CQuillstrandDlg::reorderRows);
  autoTimer_ = new AutoTimer(session_, this);
  connectSession();
}

void CQuillstrandDlg::RearmAutoTimer() { autoTimer_->RearmAutoTimer(); }

void CQuillstrandDlg::layOut() {
  const DialogUnits units(font());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(units.x(7), units.y(7), units.x(7), units.y(7));
  layout->setSpacing(0);
  layout->addLayout(makeButtonRow());
  layout->addSpacing(units.y(4));
  if (IsDemoFarm()) {
    auto* note = new QLabel(
        "This is a demo farm. ./dev run --own opens your own, where Options → New adds the "
        "first machine.",
        this);
    note->setObjectName("demoNote");
    layout->addWidget(note);
    layout->addSpacing(units.y(4));
  }
  layout->addWidget(makeSplitter(), 1);
  resize(units.size(557, 404));
}

QSplitter* CQuillstrandDlg::makeSplitter() {
  splitter_ = new QSplitter(Qt::Vertical, this);
  splitter_->setObjectName("mainSplitter");
  splitter_->setHandleWidth(DialogUnits(font()).y(4));
  auto* panes = new QWidget;
  QLayout* panesLayout = makeFactorPanes();
  panesLayout->setContentsMargins(0, 0, 0, 0);
  panes->setLayout(panesLayout);
  splitter_->addWidget(makeMachineArea());
  splitter_->addWidget(panes);
  splitter_->addWidget(makeChart());
  // The list, which shares its part with the summary, gets more than the
  // template's 69 of 348 units; the chart takes some of the panes' room.
  // Only the chart can be closed.
  for (const auto& [pane, stretch] : {std::pair{0, 100}, std::pair{1, 140}, std::pair{2, 110}}) {
    splitter_->setStretchFactor(pane, stretch);
    splitter_->setCollapsible(pane, pane == 2);
  }
  return splitter_;
}

SpeedChart* CQuillstrandDlg::makeChart() {
  chart_ = new SpeedChart(this);
  // Read only while it can be seen: the session is told when that changes.
  connect(chart_, &SpeedChart::shownChanged, &session_, &FarmSession::setChartShown);
  connect(&session_, &FarmSession::chartChanged, chart_,
          [this] { chart_->showChart(session_.chart()); });
  return chart_;
}

RememberedParts CQuillstrandDlg::rememberedParts() {
  return {*this,   *splitter_,  *machineList_->header(),
          *order_, *filterBox_, columnFit_->userWidths()};
}

void CQuillstrandDlg::restoreLayout() {
  // Wide enough for every column's whole text, names included, where the
  // screen has the room; elsewhere the list scrolls sideways.
  for (const Machine& machine : session_.model().Machines)
    columnFit_->fitText(0, QString::fromStdString(machine.Name));
  const QMargins margins = layout()->contentsMargins();
  resize(std::max(width(), columnFit_->listWidth() + margins.left() + margins.right()), height());
  // However small or scaled the screen, the panes leave room for five rows.
  machineList_->setMinimumHeight(columnFit_->listHeight(5));
  if (ApplyLayout(session_.model().Options.Window, rememberedParts(), ScreenRoom(*this)))
    columnFit_->keepUserWidths();
}

void CQuillstrandDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!shownLayout_) {
    KeepOnScreen(*this);
    shownLayout_ = CurrentLayout(rememberedParts());
  }
}

void CQuillstrandDlg::reject() {
  // A layout the user left as it opened keeps what the file remembers,
  // which may be larger than this screen.
  if (shownLayout_ && CurrentLayout(rememberedParts()) != *shownLayout_)
    session_.keepWindowLayout(CurrentLayout(rememberedParts()));
  if (mayOverwriteSettings("No leaves it as it is.")) reportSaveFailure(session_.saveSettings());
  QDialog::reject();
}

QBoxLayout* CQuillstrandDlg::makeButtonRow() {
  struct Button {
    const char* name;
    const char* text;
    QString toolTip;
    std::function<void()> action;
    bool startsGroup;
  };
  const std::array<Button, 7> buttons{{
      {"refreshButton", "&Refresh", "Refresh all machines", [this] { refresh(); }, false},
      {kSubmitButton, "&Submit",
       QString("Submit new factors to %1 site").arg(QString::fromLatin1(kProjectAbbreviation)),
       [this] { submitNewFactors(); }, false},
      {kCopyNewButton, "&Copy new", "Copy new factors to clipboard", [this] { copyNewFactors(); },
       false},
      {kMarkAsOldButton, "&Mark as old", "Mark new factors as old",
       [this] { markNewFactorsAsOld(); }, false},
      {"rangesButton", "Ra&nges", "Manage queued ranges", [this] { manageRanges(); }, true},
      {"optionsButton", "&Options", "Configure options", [this] { editOptions(); }, false},
      {"aboutButton", "&About", "About " + QString::fromLatin1(kAppName), [this] { showAbout(); },
       false},
  }};

  const DialogUnits units(font());
  auto* row = new QHBoxLayout;
  row->setSpacing(units.x(4));
  for (const auto& [name, text, toolTip, action, startsGroup] : buttons) {
    if (startsGroup) row->addSpacing(units.x(6));
    auto* button = new QPushButton(text, this);
    button->setObjectName(name);
    button->setToolTip(toolTip);
    button->setMinimumWidth(units.x(47));
    connect(button, &QPushButton::clicked, this, action);
    row->addWidget(button);
  }
  row->addStretch();
  refreshButton_ = findChild<QPushButton*>("refreshButton");
  refreshButton_->setDefault(true);
  optionsButton_ = findChild<QPushButton*>("optionsButton");
  return row;
}

// The machine list, with its header above and the farm's summary below.
QWidget* CQuillstrandDlg::makeMachineArea() {
  const DialogUnits units(font());
  auto* area = new QWidget(this);
  area->setObjectName("machineArea");
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addLayout(makeMachineHeader());
  layout->addSpacing(units.y(1));
  layout->addWidget(makeMachineList(), 1);
  layout->addSpacing(units.y(1));
  farmSummary_ = new QLabel(this);
  farmSummary_->setObjectName("farmSummary");
  // Wrapped rather than widening the window past a small screen.
  farmSummary_->setWordWrap(true);
  farmSummary_->installEventFilter(this);
  layout->addWidget(farmSummary_);
  return area;
}

QBoxLayout* CQuillstrandDlg::makeMachineHeader() {
  auto* header = new QHBoxLayout;
  header->addWidget(new QLabel("Machines", this));
  header->addSpacing(DialogUnits(font()).x(6));
  header->addWidget(makeFilterBox());
  header->addStretch();
  refreshState_ = new QLabel(this);
  refreshState_->setObjectName("refreshState");
  header->addWidget(refreshState_);
  return header;
}

QLineEdit* CQuillstrandDlg::makeFilterBox() {
  filterBox_ = new QLineEdit(this);
  filterBox_->setObjectName("machineFilter");
  filterBox_->setPlaceholderText("Filter machines");
  filterBox_->setToolTip("Shows only the machines whose name or state holds this text (Ctrl+F)");
  filterBox_->setClearButtonEnabled(true);
  // As wide as a few names, not the whole row.
  filterBox_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  filterBox_->setMinimumWidth(DialogUnits(font()).x(100));
  connect(filterBox_, &QLineEdit::textChanged, this, &CQuillstrandDlg::filterMachines);
  new QShortcut(QKeySequence::Find, this, this, [this] {
    filterBox_->setFocus(Qt::ShortcutFocusReason);
    filterBox_->selectAll();
  });
  // Escape in the box clears it; elsewhere the window ignores it.
  new QShortcut(QKeySequence::Cancel, filterBox_, filterBox_, &QLineEdit::clear,
                Qt::WidgetShortcut);
  return filterBox_;
}

QTreeView* CQuillstrandDlg::makeMachineList() {
  machineList_ = new QTreeView(this);
  machineList_->setObjectName("machineList");
  machineList_->setModel(order_);
  machineList_->setRootIsDecorated(false);
  machineList_->setItemsExpandable(false);
  machineList_->setUniformRowHeights(true);  // a thousand rows lay out at once
  machineList_->setAllColumnsShowFocus(true);
  machineList_->setSelectionMode(QAbstractItemView::SingleSelection);
  machineList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  machineList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  machineList_->header()->setSectionsMovable(false);
  machineList_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  machineList_->setItemDelegateForColumn(kPercentDoneColumn, new PercentBarDelegate(machineList_));
  makeSortActions();
  columnFit_ = new ColumnFit(*machineList_, *machines_);
  machines_->setPalette(machineList_->palette());
  machineList_->installEventFilter(this);
  KeepSelectionVisible(machineList_);
  makeEmptyListHint();
  // Enter is left to the window, whose default button refreshes.
  connect(machineList_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected) { selectionChanged(selected); });
  return machineList_;
}

void CQuillstrandDlg::makeSortActions() {
  QHeaderView* header = machineList_->header();
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(true);
  connect(header, &QHeaderView::sectionClicked, this,
          [this](int column) { order_->setSorting(order_->sorting().afterClick(column)); });
  auto* byHealth = new QAction("Sort by health", header);
  byHealth->setObjectName("sortByHealth");
  byHealth->setCheckable(true);
  connect(byHealth, &QAction::triggered, this, [this](bool checked) {
    order_->setSorting(checked ? MachineSorting{0, Qt::AscendingOrder, true} : MachineSorting{});
  });
  auto* tableOrder = new QAction("Table order", header);
  tableOrder->setObjectName("tableOrder");
  connect(tableOrder, &QAction::triggered, this, [this] { order_->setSorting(MachineSorting{}); });
  header->addActions({byHealth, tableOrder});
  header->setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(order_, &MachineOrder::sortingChanged, this, &CQuillstrandDlg::showSorting);
  showSorting();
}

QLayout* CQuillstrandDlg::makeFactorPanes() {
  const DialogUnits units(font());
  auto* panes = new QGridLayout;
  panes->setHorizontalSpacing(units.x(9));
  panes->setVerticalSpacing(units.y(1));
  newFactorsLabel_ = new QLabel("New factors", this);
  newFactorsLabel_->setObjectName("newFactorsLabel");
  allFactors_ = makePane("allFactorsPane");
  newFactors_ = makePane("newFactorsPane");
  panes->addWidget(new QLabel("All factors", this), 0, 0);
  panes->addWidget(newFactorsLabel_, 0, 1);
  panes->addWidget(allFactors_, 1, 0);
  panes->addWidget(newFactors_, 1, 1);
  panes->setRowStretch(1, 1);
  return panes;
}

FactorPane* CQuillstrandDlg::makePane(const char* name) {
  auto* pane = new FactorPane(this);
  pane->setObjectName(name);
  return pane;
}

void CQuillstrandDlg::connectSession() {
  connect(&session_, &FarmSession::refreshStarted, this, [this](int machines) {
    machines_->setRows(session_.machineRows(), session_.farmHealth(clock_()));
    reorderRows();
    showRefreshProgress(0, machines);
    waitingTicker_->start();
  });
  connect(&session_, &FarmSession::refreshProgress, this, &CQuillstrandDlg::showRefreshProgress);
  connect(&session_, &FarmSession::machineChanged, this, [this](int row) {
    showRow(row);
    if (!summaryTimer_->isActive()) summaryTimer_->start();
  });
  connect(&session_, &FarmSession::refreshed, this, [this] {
    showRefresh();
    warnOfNewStates();
  });
  connect(&session_, &FarmSession::tableReplaced, this, [this] {
    machines_->forgetHealth();
    showRefresh();
    showSelection();
  });
  connect(&session_, &FarmSession::activityChanged, this, &CQuillstrandDlg::showActivity);
  connect(&session_, &FarmSession::problem, this,
          [this](const QString& text) { prompter_.warn(this, text); });
  connect(&session_, &FarmSession::submissionAnswered, this,
          &CQuillstrandDlg::showSubmissionAnswer);
  connect(&session_, &FarmSession::factorsChanged, this, &CQuillstrandDlg::factorsChanged);
}

void CQuillstrandDlg::refresh() { session_.refresh(); }

void CQuillstrandDlg::showRefreshProgress(int read, int machines) {
  refreshState_->setText(QString("Refreshing %1/%2").arg(read).arg(machines));
}

void CQuillstrandDlg::showRefresh() {
  waitingTicker_->stop();
  refreshState_->clear();
  machines_->setRows(session_.machineRows(), session_.farmHealth(clock_()));
  reorderRows();
  showSummary();
  showFactors();
}

void CQuillstrandDlg::showWaitingRows() {
  for (int row = 0; row < machines_->rowCount(); ++row) {
    if (machines_->waiting(row)) showRow(row);
  }
}

void CQuillstrandDlg::showRow(int row) {
  machines_->setRow(row, session_.machineRow(row), session_.machineHealth(row, clock_()));
}

void CQuillstrandDlg::reorderRows() {
  order_->rowsChanged();
  dropHiddenSelection();
}

void CQuillstrandDlg::showSorting() {
  const MachineSorting& sorting = order_->sorting();
  machineList_->header()->setSortIndicator(sorting.column, sorting.order);
  machineList_->header()->findChild<QAction*>("sortByHealth")->setChecked(sorting.byHealth);
  // The selected machine stays in sight wherever it went.
  const QModelIndexList selected = machineList_->selectionModel()->selectedRows();
  if (!selected.isEmpty()) machineList_->scrollTo(selected.constFirst());
}

void CQuillstrandDlg::filterMachines(const QString& text) {
  // A list of single selection that loses its selected row selects the
  // next one, a machine the user never chose: the session does not follow
  // the list while it is filtered, and the list marks the session's choice
  // again after.
  filtering_ = true;
  order_->setFilterText(text);
  filtering_ = false;
  showSelection();
}

void CQuillstrandDlg::dropHiddenSelection() {
  const std::optional<int> machine = session_.selectedMachine();
  if (!machine || order_->mapFromSource(machines_->index(*machine, 0)).isValid()) return;
  machineList_->selectionModel()->clear();
  session_.selectAllMachines();
}

void CQuillstrandDlg::showSummary() {
  summaryTimer_->stop();
  farmSummary_->setText(session_.summaryText(clock_()));
}

void CQuillstrandDlg::warnOfNewStates() {
  const std::vector<std::string> warnings = session_.takeNewWarnings(clock_());
  if (!warnings.empty()) warn(warnings);
}

void CQuillstrandDlg::warn(const std::vector<std::string>& lines) {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    if (!windowTitle().startsWith(kWarnedPrefix)) setWindowTitle(kWarnedPrefix + windowTitle());
    return;
  }
  if (!tray_) {
    tray_ = new QSystemTrayIcon(windowIcon(), this);
    tray_->setToolTip(QString::fromLatin1(kAppName));
    connect(tray_, &QSystemTrayIcon::activated, this, [this] {
      showNormal();
      raise();
      activateWindow();
    });
    tray_->show();
  }
  QStringList text;
  for (const std::string& line : lines) text << QString::fromStdString(line);
  tray_->showMessage(QString::fromLatin1(kAppName), text.join('\n'), QSystemTrayIcon::Warning);
}

void CQuillstrandDlg::changeEvent(QEvent* event) {
  // The user has looked: the window has nothing more to say.
  if (event->type() == QEvent::ActivationChange && isActiveWindow() &&
      windowTitle().startsWith(kWarnedPrefix))
    setWindowTitle(windowTitle().mid(kWarnedPrefix.size()));
  QDialog::changeEvent(event);
}

bool CQuillstrandDlg::eventFilter(QObject* watched, QEvent* event) {
  // A style sheet gives the list a palette of its own, as it polishes it:
  // the rows' colours must read on that one's base.
  if (watched == machineList_ && event->type() == QEvent::PaletteChange)
    machines_->setPalette(machineList_->palette());
  // The splitter counts minimum heights only, and a wrapped line's is that
  // of one line: without its lines counted, the summary would lie over the
  // list, which keeps its five rows.
  if (watched == farmSummary_ && event->type() == QEvent::Resize)
    farmSummary_->setMinimumHeight(
        std::max(0, farmSummary_->heightForWidth(farmSummary_->width())));
  return QDialog::eventFilter(watched, event);
}

void CQuillstrandDlg::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Cancel)) return;
  QDialog::keyPressEvent(event);
}

void CQuillstrandDlg::factorsChanged() {
  // During a refresh machines come in one by one; the panes are shown once
  // for all that came in the same turn of the event loop, and the summary
  // follows them as it follows the rows.
  if (!session_.refreshing()) {
    showFactors();
    showSummary();
    return;
  }
  if (!summaryTimer_->isActive()) summaryTimer_->start();
  if (std::exchange(factorsPending_, true)) return;
  QTimer::singleShot(0, this, [this] {
    factorsPending_ = false;
    showFactors();
  });
}

void CQuillstrandDlg::showFactors() {
  allFactors_->showText(session_.model().AllFactorsText);
  newFactors_->showText(session_.model().NewFactorsText);
  newFactorsLabel_->setText(QString("New factors: %1").arg(session_.newFactorCount()));
  // The buttons that act on the new factors say on whose.
  const QString scope = session_.newFactorsScope();
  for (const char* name : {kSubmitButton, kCopyNewButton, kMarkAsOldButton}) {
    auto* button = findChild<QPushButton*>(name);
    button->setToolTip(button->toolTip().section('\n', 0, 0) + '\n' + scope);
  }
}

void CQuillstrandDlg::selectionChanged(const QItemSelection& selected) {
  // Only the user takes the selection from a row (Ctrl+click): the list
  // keeps it through refreshes. Without one, the panes go back to the farm.
  if (filtering_) return;
  if (selected.isEmpty()) {
    session_.selectAllMachines();
    return;
  }
  const int row = order_->mapToSource(selected.indexes().constFirst()).row();
  if (session_.selectedMachine() != row) session_.selectMachine(row);
}

void CQuillstrandDlg::showSelection() {
  QItemSelectionModel* selection = machineList_->selectionModel();
  const std::optional<int> row = session_.selectedMachine();
  const QModelIndex shown = row ? order_->mapFromSource(machines_->index(*row, 0)) : QModelIndex();
  if (!shown.isValid()) {
    selection->clear();
    // A machine the filter hides is no longer selected.
    if (row) session_.selectAllMachines();
    return;
  }
  selection->select(shown, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CQuillstrandDlg::showActivity() {
  if (session_.activity() == FarmSession::Activity::Submitting)
    refreshState_->setText(QStringLiteral("Submitting…"));
  else if (session_.activity() == FarmSession::Activity::Idle)
    refreshState_->clear();
}

QMessageBox::StandardButton CQuillstrandDlg::showMessage(const SubmitMessage& message) {
  const QString caption = QString::fromStdString(message.Caption);
  const QString text = QString::fromStdString(message.Text).replace("\r\n", "\n");
  if (!message.YesNo) return prompter_.ask(this, caption, text);
  return prompter_.ask(this, caption, text, QMessageBox::Yes | QMessageBox::No,
                       message.DefaultYes ? QMessageBox::Yes : QMessageBox::No);
}

void CQuillstrandDlg::submitNewFactors() {
  if (const std::optional<SubmitMessage> refusal = session_.submit(true)) showMessage(*refusal);
  // Enter refreshes from the list; it must not re-open a question.
  machineList_->setFocus();
}

void CQuillstrandDlg::showSubmissionAnswer() {
  bool agreed = false;
  if (const std::optional<SubmitMessage> message = session_.outcomeMessage())
    agreed = showMessage(*message) == QMessageBox::Yes;
  session_.finishSubmission(agreed);
  machineList_->setFocus();
}

void CQuillstrandDlg::copyNewFactors() {
  // The clipboard gets the factors as the model holds them, CR LF line
  // ends and all, and keeps what it had when there are none.
  const QString text = session_.newFactorsText();
  if (!text.isEmpty()) {
    QGuiApplication::clipboard()->setText(text);
    newFactors_->selectAll();
    newFactors_->setFocus();
  }
  if (const std::optional<QUrl> url = session_.copyNewUrl()) prompter_.openUrl(*url);
}

void CQuillstrandDlg::markNewFactorsAsOld() {
  if (!session_.hasNewFactorMarks()) {
    prompter_.ask(this, kMarkAsOldCaption, "There are no new factors.");
    return;
  }
  // A refresh that ends while the user decides must not change the factors
  // that the answer is about.
  const FarmSession::EditLock lock(session_);
  const QMessageBox::StandardButton answer = prompter_.ask(
      this, kMarkAsOldCaption,
      "Are you sure you want to mark the new factors as old?\n\n" + session_.newFactorsScope(),
      QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
  // Marks are merged into the file as it is now: nothing of a hand edit is lost.
  if (answer != QMessageBox::No) reportSaveFailure(session_.markNewFactorsAsOld());
  machineList_->setFocus();
}

void CQuillstrandDlg::manageRanges() {
  // The dialog's edit lock holds this refresh back until the dialog is gone.
  CNextrangesDlg ranges(session_, prompter_, this);
  if (ranges.exec() == QDialog::Accepted) session_.refresh();
}

void CQuillstrandDlg::editOptions() {
  COptionsDlg options(session_.model().Options, session_.model().Machines, prompter_, session_,
                      this);
  if (options.exec() != QDialog::Accepted) return;
  if (!mayOverwriteSettings("No loads it again instead, without these changes.")) {
    loadSettingsAgain();
    return;
  }
  reportSaveFailure(session_.replaceFarm(options.settings(), options.machines()));
  // The dialog's edit lock holds this refresh back until the dialog is gone.
  session_.refresh();
  RearmAutoTimer();
}

bool CQuillstrandDlg::mayOverwriteSettings(const QString& otherwise) {
  if (!session_.settingsChangedOnDisk()) return true;
  const QString text = "The settings file changed on disk since quillstrand read it.\n\n" +
                       QString::fromStdString(session_.settingsPath()) + "\n\nOverwrite it? " +
                       otherwise;
  return prompter_.ask(this, QString::fromLatin1(kAppName), text,
                       QMessageBox::Yes | QMessageBox::No, QMessageBox::No,
                       QMessageBox::Question) == QMessageBox::Yes;
}

void CQuillstrandDlg::loadSettingsAgain() {
  if (const Status loaded = session_.reloadSettings(); !loaded) {
    prompter_.warn(
        this, "Cannot read the settings file " + QString::fromStdString(loaded.error().message));
    return;
  }
  session_.refresh();
  RearmAutoTimer();
}

void CQuillstrandDlg::makeEmptyListHint() {
  emptyListHint_ = new QLabel("No machines yet: Options → New adds one", machineList_->viewport());
  emptyListHint_->setObjectName("emptyListHint");
  emptyListHint_->setForegroundRole(QPalette::PlaceholderText);
  emptyListHint_->setAttribute(Qt::WA_TransparentForMouseEvents);
  emptyListHint_->hide();  // until the first refresh tells
  auto* centred = new QVBoxLayout(machineList_->viewport());
  centred->addWidget(emptyListHint_, 0, Qt::AlignCenter);
  connect(machines_, &QAbstractItemModel::modelReset, this, &CQuillstrandDlg::showFirstStart);
}

void CQuillstrandDlg::showFirstStart() {
  // Until there is a machine, Enter opens the Options, where machines are
  // added, rather than refreshing nothing.
  const bool empty = machines_->rowCount() == 0;
  emptyListHint_->setVisible(empty);
  // A button with the focus is default only for the while; set anew, it
  // becomes the window's own default, and the other button stops being it.
  QPushButton* chosen = empty ? optionsButton_ : refreshButton_;
  chosen->setDefault(false);
  chosen->setDefault(true);
  // The focus would be on Refresh, which Enter would press instead.
  if (empty) optionsButton_->setFocus();
}

void CQuillstrandDlg::showAbout() {
  CAboutDlg about(prompter_, this);
  about.exec();
}

void CQuillstrandDlg::reportSaveFailure(const Status& saved) {
  if (!saved)
    prompter_.warn(
        this, "Cannot save the settings file " + QString::fromStdString(saved.error().message));
}

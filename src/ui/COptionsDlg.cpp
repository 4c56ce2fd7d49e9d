#include "ui/COptionsDlg.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTreeWidget>
#include <array>

#include "model/Constants.h"
#include "model/Numbers.h"
#include "model/Password.h"
#include "model/Redaction.h"
#include "ui/CMachineDlg.h"
#include "ui/DialogUnits.h"
#include "ui/Prompter.h"
#include "ui/ScreenRoom.h"

namespace {

// More readings than this average a status file's history rather than its
// recent speed, and each costs memory at every refresh.
constexpr uint32_t kMaxSpeedAvgIntervals = 1000;

const QString kProjectSite = QString::fromLatin1(kProjectSiteUrl);
const QString kProject = QString::fromLatin1(kProjectAbbreviation);
const QString kStalledMinutes = QStringLiteral("Stalled after <n> minutes without progress");
const QString kDryHours = QStringLiteral("Warn <n> hours before a machine runs out of work");

enum Column { kName, kFactorFile, kStatusFile, kLastOldFactor, kColumns };

struct ListColumn {
  QString header;
  int width;  // pixels
};

std::array<ListColumn, kColumns> ListColumns() {
  return {{{"Name", 120},
           {"Factor file", 200},
           {QString::fromLatin1(kStatusFileName) + " file", 200},
           {"Last submitted factor", 120}}};
}

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The list shows a location with its password hidden and keeps it whole
// beside.
void SetLocation(QTreeWidgetItem& row, int column, const QString& location) {
  row.setText(column, QString::fromStdString(RedactPasswords(location.toStdString())));
  row.setData(column, Qt::UserRole, location);
}

MachineFields FieldsOf(const QTreeWidgetItem& row) {
  return {row.text(kName), row.data(kFactorFile, Qt::UserRole).toString(),
          row.data(kStatusFile, Qt::UserRole).toString(), row.text(kLastOldFactor)};
}

void SetFields(QTreeWidgetItem& row, const MachineFields& fields) {
  row.setText(kName, fields.name);
  SetLocation(row, kFactorFile, fields.factorPath);
  SetLocation(row, kStatusFile, fields.statusPath);
  row.setText(kLastOldFactor, fields.lastOldFactor);
}

// The options in a pane that scrolls where the screen is too small for
// them, a scaled one say, so that the buttons beside it stay in reach.
// Where the screen has the room, it asks for enough not to scroll.
class OptionsArea : public QScrollArea {
 public:
  using QScrollArea::QScrollArea;
  QSize sizeHint() const override { return widget()->minimumSizeHint(); }
};

QScrollArea* Scrolling(QLayout* content, QWidget* parent) {
  content->setContentsMargins(0, 0, 0, 0);
  auto* options = new QWidget;
  options->setLayout(content);
  auto* area = new OptionsArea(parent);
  area->setObjectName("optionsArea");
  area->setFrameShape(QFrame::NoFrame);
  area->setWidgetResizable(true);
  area->setWidget(options);
  return area;
}

}  // namespace

COptionsDlg::COptionsDlg(const Settings& settings, const MachineTable& machines, Prompter& prompter,
                         FarmSession& session, QWidget* parent)
    : QDialog(parent),
      prompter_(prompter),
      session_(session),
      lock_(session),
      settings_(settings),
      launchCopyNewUrl_(makeCheck("launchCopyNewUrlCheck", "Launch URL when pressing \"Copy new\":",
                                  settings.LaunchCopyNewURL)),
      copyNewUrl_(makeBox("copyNewUrlBox", Text(settings.CopyNewURL))),
      speedAvgLabel_(new QLabel("Average speeds over <n> intervals:", this)),
      speedAvgIntervals_(
          makeBox("speedAvgIntervalsBox", QString::number(settings.SpeedAvgIntervals))),
      stalledMinutes_(makeBox("stalledMinutesBox", QString::number(settings.StalledMinutes))),
      dryHours_(makeBox("dryHoursBox", QString::number(settings.DryHours))),
      login_(makeCheck("loginCheck", "Log in", settings.Login)),
      usernameLabel_(new QLabel("Username:", this)),
      username_(makeBox("usernameBox", Text(settings.Username))),
      passwordLabel_(new QLabel("Password:", this)),
      password_(makeBox("passwordBox", Text(settings.Password))),
      autoRefresh_(makeCheck("autoRefreshCheck", "Refresh every...", settings.AutoRefresh)),
      autoTimerInterval_(
          makeBox("autoTimerIntervalBox", QString::number(settings.AutoTimerInterval))),
      minutesLabel_(new QLabel("...minutes.", this)),
      autoSubmit_(makeCheck("autoSubmitCheck", "Submit factors as well.", settings.AutoSubmit)),
      ignoreErrors_(makeCheck("ignoreErrorsCheck", "Ignore errors -- going on vacation?",
                              settings.IgnoreErrors)),
      machineList_(new QTreeWidget(this)) {
  setObjectName("optionsDialog");
  setWindowTitle("Options");
  usernameLabel_->setObjectName("usernameLabel");
  passwordLabel_->setObjectName("passwordLabel");
  minutesLabel_->setObjectName("minutesLabel");
  username_->setToolTip("Your username on the " + kProject + " site");
  username_->setPlaceholderText("your username");
  password_->setToolTip("Your password on the " + kProject + " site");
  password_->setEchoMode(QLineEdit::Password);
  makeMachineList(machines);
  layOut(makeSubmissionGroup(), makeAutomationGroup());
  enableWhileChecked(launchCopyNewUrl_, {copyNewUrl_});
  enableWhileChecked(login_, {usernameLabel_, username_, passwordLabel_, password_});
  enableWhileChecked(autoRefresh_, {autoTimerInterval_, minutesLabel_, ignoreErrors_, autoSubmit_});
}

QLineEdit* COptionsDlg::makeBox(const char* name, const QString& text) {
  auto* box = new QLineEdit(text, this);
  box->setObjectName(name);
  return box;
}

QCheckBox* COptionsDlg::makeCheck(const char* name, const QString& text, bool checked) {
  auto* box = new QCheckBox(text, this);
  box->setObjectName(name);
  box->setChecked(checked);
  return box;
}

QPushButton* COptionsDlg::makeButton(const char* name, const QString& text,
                                     const QString& toolTip) {
  auto* button = new QPushButton(text, this);
  button->setObjectName(name);
  button->setToolTip(toolTip);
  button->setAutoDefault(false);
  button->setMinimumWidth(DialogUnits(font()).x(50));
  return button;
}

QGroupBox* COptionsDlg::makeSubmissionGroup() {
  const DialogUnits units(font());
  auto* explanation = new QPlainTextEdit(
      "If you don't log in, submitted factors are credited to your existing login, or to "
      "anonymous if you're not currently logged in to " +
          kProjectSite + ".",
      this);
  explanation->setObjectName("loginExplanation");
  explanation->setReadOnly(true);
  explanation->setFocusPolicy(Qt::NoFocus);
  explanation->setFixedSize(units.size(215, 43));
  username_->setFixedWidth(units.x(143));
  password_->setFixedWidth(units.x(143));

  auto* group = new QGroupBox("Factor submission", this);
  auto* layout = new QGridLayout(group);
  layout->setHorizontalSpacing(units.x(9));
  layout->addWidget(login_, 0, 0, 1, 2);
  layout->addWidget(usernameLabel_, 1, 0);
  layout->addWidget(username_, 1, 1);
  layout->addWidget(passwordLabel_, 2, 0);
  layout->addWidget(password_, 2, 1);
  layout->addWidget(explanation, 0, 2, 3, 1);
  layout->setColumnStretch(3, 1);
  return group;
}

QGroupBox* COptionsDlg::makeAutomationGroup() {
  const DialogUnits units(font());
  autoTimerInterval_->setFixedWidth(units.x(28));
  auto* group = new QGroupBox("Automation", this);
  auto* layout = new QHBoxLayout(group);
  layout->setSpacing(units.x(4));
  layout->addWidget(autoRefresh_);
  layout->addWidget(autoTimerInterval_);
  layout->addWidget(minutesLabel_);
  layout->addSpacing(units.x(18));
  layout->addWidget(autoSubmit_);
  layout->addSpacing(units.x(18));
  layout->addWidget(ignoreErrors_);
  layout->addStretch();
  return group;
}

void COptionsDlg::makeMachineList(const MachineTable& machines) {
  machineList_->setObjectName("machineList");
  machineList_->setRootIsDecorated(false);
  machineList_->setItemsExpandable(false);
  machineList_->setAllColumnsShowFocus(true);
  machineList_->setSelectionMode(QAbstractItemView::SingleSelection);
  machineList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  machineList_->header()->setSectionsMovable(false);
  machineList_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  const std::array<ListColumn, kColumns> columns = ListColumns();
  QStringList headers;
  for (const ListColumn& column : columns) headers << column.header;
  machineList_->setHeaderLabels(headers);
  for (int column = 0; column < kColumns; ++column)
    machineList_->setColumnWidth(column, columns[static_cast<size_t>(column)].width);
  for (const Machine& machine : machines) {
    SetFields(*new QTreeWidgetItem(machineList_),
              {Text(machine.Name), Text(machine.FactorPath), Text(machine.StatusPath),
               QString::number(machine.LastOldFactor)});
  }
  connect(machineList_, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* row) { editRow(row); });
}

void COptionsDlg::layOut(QGroupBox* submission, QGroupBox* automation) {
  const DialogUnits units(font());
  auto* ok = makeButton("okButton", "OK", "Exit and save changes");
  auto* cancel = makeButton("cancelButton", "Cancel", "Exit and ignore changes");
  auto* add = makeButton("newButton", "&New", "Create new machine");
  auto* edit = makeButton("editButton", "&Edit", "Edit selected machine");
  auto* remove = makeButton("deleteButton", "&Delete", "Delete selected machine");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &COptionsDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(add, &QPushButton::clicked, this, &COptionsDlg::addMachine);
  connect(edit, &QPushButton::clicked, this, &COptionsDlg::editMachine);
  connect(remove, &QPushButton::clicked, this, &COptionsDlg::deleteMachine);

  auto* top = new QGridLayout;
  top->setHorizontalSpacing(units.x(3));
  top->setVerticalSpacing(units.y(5));
  top->addWidget(launchCopyNewUrl_, 0, 0);
  top->addWidget(copyNewUrl_, 0, 1, 1, 2);
  top->addWidget(speedAvgLabel_, 1, 0);
  top->addWidget(speedAvgIntervals_, 1, 1);
  top->addWidget(new QLabel(kStalledMinutes + ':', this), 2, 0);
  top->addWidget(stalledMinutes_, 2, 1);
  top->addWidget(new QLabel(kDryHours + ':', this), 3, 0);
  top->addWidget(dryHours_, 3, 1);
  for (QLineEdit* box : {speedAvgIntervals_, stalledMinutes_, dryHours_})
    box->setFixedWidth(units.x(28));
  copyNewUrl_->setMinimumWidth(units.x(189));
  top->setColumnMinimumWidth(0, units.x(143));
  top->setColumnStretch(2, 1);
  top->setColumnMinimumWidth(3, units.x(96));

  auto* content = new QVBoxLayout;
  content->setSpacing(units.y(4));
  content->addLayout(top);
  content->addWidget(submission);
  content->addWidget(automation);
  content->addWidget(new QLabel("Machines", this));
  content->addWidget(machineList_, 1);

  auto* buttons = new QVBoxLayout;
  buttons->setSpacing(units.y(3));
  for (QPushButton* button : {ok, cancel}) buttons->addWidget(button);
  buttons->addStretch();
  for (QPushButton* button : {add, edit, remove}) buttons->addWidget(button);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(units.x(7), units.y(7), units.x(7), units.y(7));
  layout->setSpacing(units.x(17));
  layout->addWidget(Scrolling(content, this), 1);
  layout->addLayout(buttons);
  // The template's size, and room for the two rows of stall and dry limits.
  ResizeWithin(*this, units.size(512, 257 + 2 * 14).expandedTo(sizeHint()));
  chainTabOrder({launchCopyNewUrl_, copyNewUrl_, speedAvgIntervals_, stalledMinutes_, dryHours_,
                 login_, username_, password_, autoRefresh_, autoTimerInterval_, autoSubmit_,
                 ignoreErrors_, machineList_, add, edit, remove, ok, cancel});
}

void COptionsDlg::chainTabOrder(std::initializer_list<QWidget*> widgets) {
  QWidget* previous = nullptr;
  for (QWidget* widget : widgets) {
    if (previous) setTabOrder(previous, widget);
    previous = widget;
  }
}

void COptionsDlg::enableWhileChecked(QCheckBox* box, std::initializer_list<QWidget*> dependents) {
  const std::vector<QWidget*> widgets(dependents);
  const auto follow = [widgets](bool checked) {
    for (QWidget* widget : widgets) widget->setEnabled(checked);
  };
  follow(box->isChecked());
  connect(box, &QCheckBox::toggled, this, follow);
}

QTreeWidgetItem* COptionsDlg::selectedRow() {
  const QList<QTreeWidgetItem*> selected = machineList_->selectedItems();
  if (selected.isEmpty()) {
    prompter_.ask(this, QString::fromLatin1(kAppName), "There is no machine selected.");
    return nullptr;
  }
  return selected.constFirst();
}

void COptionsDlg::addMachine() {
  // The row comes only with OK: a New left with Cancel leaves nothing behind.
  const std::optional<MachineFields> fields = askFields({"new", "", "", "0"});
  if (!fields) return;
  auto* row = new QTreeWidgetItem(machineList_);
  SetFields(*row, *fields);
  machineList_->setCurrentItem(row);
}

void COptionsDlg::editMachine() {
  if (QTreeWidgetItem* row = selectedRow()) editRow(row);
}

void COptionsDlg::deleteMachine() {
  if (QTreeWidgetItem* row = selectedRow()) delete row;
}

void COptionsDlg::editRow(QTreeWidgetItem* row) {
  if (const std::optional<MachineFields> fields = askFields(FieldsOf(*row)))
    SetFields(*row, *fields);
}

std::optional<MachineFields> COptionsDlg::askFields(const MachineFields& fields) {
  CMachineDlg machine(fields, prompter_, session_, this);
  if (machine.exec() != QDialog::Accepted) return std::nullopt;
  return machine.fields();
}

std::optional<uint32_t> COptionsDlg::readCount(QLineEdit* box, uint32_t max,
                                               const QString& boxName) {
  // The leading number, as the settings file reads one; a sign is refused
  // rather than wrapped round to a count of billions.
  const std::optional<uint64_t> count = ReadLeadingNumber(box->text().toStdString(), nullptr, max);
  if (count && *count >= 1) return static_cast<uint32_t>(*count);
  prompter_.warn(this, QString("\"%1\" takes a whole number from 1 to %2.").arg(boxName).arg(max));
  box->setFocus();
  box->selectAll();
  return std::nullopt;
}

bool COptionsDlg::passwordSurvivesSaving() {
  const QString typed = password_->text();
  const std::string stored = EncodePassword(typed.toStdString());
  if (Text(DecodePassword(stored)) == typed) return true;
  prompter_.warn(this,
                 "The password holds characters that the settings file cannot keep; type it "
                 "again.");
  password_->setFocus();
  password_->selectAll();
  return false;
}

MachineTable COptionsDlg::machinesOfRows() const {
  MachineTable machines;
  for (int i = 0; i < machineList_->topLevelItemCount(); ++i) {
    const MachineFields row = FieldsOf(*machineList_->topLevelItem(i));
    machines.emplace_back(row.name.toStdString(), row.factorPath.toStdString(),
                          row.statusPath.toStdString(),
                          ReadLeadingNumber(row.lastOldFactor.toStdString()).value_or(0));
  }
  return machines;
}

void COptionsDlg::accept() {
  const std::optional<uint32_t> speedAvg =
      readCount(speedAvgIntervals_, kMaxSpeedAvgIntervals, "Average speeds over <n> intervals");
  if (!speedAvg) return;
  const std::optional<uint32_t> stalled =
      readCount(stalledMinutes_, kMaxStalledMinutes, kStalledMinutes);
  if (!stalled) return;
  const std::optional<uint32_t> dry = readCount(dryHours_, kMaxDryHours, kDryHours);
  if (!dry) return;
  const std::optional<uint32_t> interval =
      readCount(autoTimerInterval_, kMaxAutoTimerInterval, "Refresh every... minutes");
  if (!interval || !passwordSurvivesSaving()) return;

  machines_ = machinesOfRows();
  settings_.CopyNewURL = copyNewUrl_->text().toStdString();
  settings_.LaunchCopyNewURL = launchCopyNewUrl_->isChecked();
  settings_.SpeedAvgIntervals = *speedAvg;
  settings_.StalledMinutes = *stalled;
  settings_.DryHours = *dry;
  settings_.Login = login_->isChecked();
  settings_.Username = username_->text().toStdString();
  settings_.Password = password_->text().toStdString();
  settings_.AutoRefresh = autoRefresh_->isChecked();
  settings_.AutoSubmit = autoSubmit_->isChecked();
  settings_.AutoTimerInterval = *interval;
  settings_.IgnoreErrors = ignoreErrors_->isChecked();
  QDialog::accept();
}

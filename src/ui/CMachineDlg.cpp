#include "ui/CMachineDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <algorithm>
#include <string>

#include "model/Constants.h"
#include "model/Numbers.h"
#include "model/Redaction.h"
#include "ui/DialogUnits.h"
#include "ui/Prompter.h"
#include "ui/ScreenRoom.h"

namespace {

const QString kStatusFile = QString::fromLatin1(kStatusFileName);
const QString kFactorFile = QStringLiteral("fact.txt");

// The factor file a client keeps beside its status file, in the same folder
// of a path or a URL.
QString FactorFileBeside(const QString& statusPath) {
  if (statusPath.isEmpty()) return {};
  const qsizetype separator = std::max(statusPath.lastIndexOf('/'), statusPath.lastIndexOf('\\'));
  return statusPath.left(separator + 1) + kFactorFile;
}

// Where a file dialog opens for a box: at the file it names, unless that
// is a URL.
QString StartOfBrowse(const QString& location) {
  return IsHttpLocation(location.toStdString()) ? QString() : location;
}

QString ShownLocation(const QString& location) {
  return QString::fromStdString(RedactPasswords(location.toStdString()));
}

// What a box that showed `given` holds: the password it hides stays while
// the box is left as shown.
QString EditedLocation(const QLineEdit& box, const QString& given) {
  return QString::fromStdString(UnredactedLocation(box.text().toStdString(), given.toStdString()));
}

}  // namespace

CMachineDlg::CMachineDlg(const MachineFields& fields, Prompter& prompter, FarmSession& session,
                         QWidget* parent)
    : QDialog(parent),
      prompter_(prompter),
      session_(session),
      lock_(session),
      givenFactorPath_(fields.factorPath),
      givenStatusPath_(fields.statusPath),
      name_(makeBox("nameBox", fields.name)),
      factorPath_(makeBox("factorPathBox", ShownLocation(fields.factorPath))),
      statusPath_(makeBox("statusPathBox", ShownLocation(fields.statusPath))),
      lastOldFactor_(makeBox("lastOldFactorBox", fields.lastOldFactor)),
      statusLabel_(new QLabel(
          "Status file, e.g. /srv/sieve/box1/" + kStatusFile + ", http://box1:8080/" + kStatusFile,
          this)),
      testButton_(makeButton("testButton", "&Test")),
      testResult_(new QLabel(this)) {
  setObjectName("machineDialog");
  setWindowTitle("Machine");
  auto* browseFactors = makeButton("browseFactorButton", "...");
  auto* browseStatus = makeButton("browseStatusButton", "...");
  auto* ok = makeButton("okButton", "OK");
  auto* cancel = makeButton("cancelButton", "Cancel");
  ok->setDefault(true);
  testButton_->setToolTip("Read both files once and tell what they hold");
  testResult_->setObjectName("testResult");
  testResult_->setWordWrap(true);
  testResult_->setTextFormat(Qt::PlainText);
  testResult_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  testResult_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // Room for both files' lines, each wrapped once.
  testResult_->setMinimumHeight(4 * testResult_->fontMetrics().lineSpacing());

  connect(ok, &QPushButton::clicked, this, &CMachineDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(browseFactors, &QPushButton::clicked, this, [this] {
    browse(factorPath_, "Factor file",
           "Fact.txt (fact.txt);;" + kStatusFile + " (" + kStatusFile + ");;All files (*)");
  });
  connect(browseStatus, &QPushButton::clicked, this, [this] {
    browse(statusPath_, "Status file", kStatusFile + " (" + kStatusFile + ");;All files (*)");
  });
  connect(testButton_, &QPushButton::clicked, this, &CMachineDlg::testLocations);
  connect(statusPath_, &QLineEdit::textChanged, this, &CMachineDlg::followStatusPath);
  layOut(browseFactors, browseStatus, ok, cancel);
  name_->setFocus();
}

CMachineDlg::~CMachineDlg() { testStop_.request_stop(); }

QLineEdit* CMachineDlg::makeBox(const char* name, const QString& text) {
  auto* box = new QLineEdit(text, this);
  box->setObjectName(name);
  return box;
}

QPushButton* CMachineDlg::makeButton(const char* name, const QString& text) {
  auto* button = new QPushButton(text, this);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

void CMachineDlg::layOut(QPushButton* browseFactors, QPushButton* browseStatus, QPushButton* ok,
                         QPushButton* cancel) {
  const DialogUnits units(font());
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(units.x(7), units.y(7), units.x(7), units.y(7));
  layout->setHorizontalSpacing(units.x(1));
  layout->setVerticalSpacing(units.y(1));
  // Three rows a field: its label, its box (and browse button), a gap.
  const auto addField = [&](int field, QWidget* label, QLineEdit* box, QPushButton* browser) {
    layout->addWidget(label, 3 * field, 0, 1, 2);
    layout->addWidget(box, 3 * field + 1, 0);
    if (browser) layout->addWidget(browser, 3 * field + 1, 1);
    layout->setRowMinimumHeight(3 * field + 2, units.y(8));
  };
  addField(0, new QLabel("Name", this), name_, nullptr);
  addField(1,
           new QLabel("Factor file, e.g. /srv/sieve/box1/" + kFactorFile + ", http://box1:8080/" +
                          kFactorFile,
                      this),
           factorPath_, browseFactors);
  addField(2, statusLabel_, statusPath_, browseStatus);
  addField(3, new QLabel("Last submitted factor (0 marks all as new)", this), lastOldFactor_,
           nullptr);
  layout->addWidget(testResult_, 12, 0, 1, 2);
  layout->setRowStretch(12, 1);

  auto* buttons = new QVBoxLayout;
  buttons->setSpacing(units.y(3));
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addSpacing(units.y(8));
  buttons->addWidget(testButton_);
  buttons->addStretch();
  layout->setColumnMinimumWidth(2, units.x(4));
  layout->addLayout(buttons, 0, 3, 13, 1);
  layout->setColumnStretch(0, 1);
  for (QPushButton* button : {ok, cancel, testButton_}) button->setMinimumWidth(units.x(50));
  for (QPushButton* browser : {browseFactors, browseStatus}) browser->setFixedWidth(units.x(16));
  name_->setMinimumWidth(units.x(253));
  ResizeWithin(*this, units.size(338, 150));

  setTabOrder(name_, factorPath_);
  setTabOrder(factorPath_, browseFactors);
  setTabOrder(browseFactors, statusPath_);
  setTabOrder(statusPath_, browseStatus);
  setTabOrder(browseStatus, lastOldFactor_);
  setTabOrder(lastOldFactor_, ok);
  setTabOrder(ok, cancel);
  setTabOrder(cancel, testButton_);
}

MachineFields CMachineDlg::fields() const {
  return {name_->text(), EditedLocation(*factorPath_, givenFactorPath_),
          EditedLocation(*statusPath_, givenStatusPath_), lastOldFactor_->text()};
}

void CMachineDlg::accept() {
  const auto refuse = [this](QLineEdit* box, const QString& text) {
    prompter_.warn(this, text);
    box->setFocus();
  };
  if (name_->text().trimmed().isEmpty()) return refuse(name_, "A machine needs a name.");
  if (statusPath_->text().trimmed().isEmpty())
    return refuse(statusPath_, "A machine needs the location of its status file.");
  if (factorPath_->text().trimmed().isEmpty())
    return refuse(factorPath_, "A machine needs the location of its factor file.");
  QDialog::accept();
}

void CMachineDlg::followStatusPath(const QString& statusPath) {
  // A factor box left empty, or holding what was filled in here, takes the
  // factor file beside the status file; one typed in is the user's.
  if (!factorPath_->text().isEmpty() && factorPath_->text() != filledFactorPath_) return;
  filledFactorPath_ = FactorFileBeside(statusPath);
  factorPath_->setText(filledFactorPath_);
}

void CMachineDlg::browse(QLineEdit* box, const QString& caption, const QString& filter) {
  const QString picked = prompter_.openFileName(this, caption, StartOfBrowse(box->text()), filter);
  if (!picked.isEmpty()) box->setText(picked);
}

void CMachineDlg::testLocations() {
  const uint64_t test = ++tests_;
  testStop_.request_stop();
  testStop_ = std::stop_source();
  testResult_->setText("Reading the status file and the factor file…");
  // The pointer goes null when the dialog goes, so that a result that
  // comes later touches nothing; it is only looked at on this thread.
  session_.testMachine({EditedLocation(*statusPath_, givenStatusPath_).toStdString(),
                        EditedLocation(*factorPath_, givenFactorPath_).toStdString(),
                        ReadLeadingNumber(lastOldFactor_->text().toStdString()).value_or(0)},
                       testStop_,
                       [test, dialog = QPointer<CMachineDlg>(this)](const QString& text) {
                         if (dialog) dialog->showTestResult(test, text);
                       });
}

void CMachineDlg::showTestResult(uint64_t test, const QString& text) {
  if (test != tests_) return;
  testResult_->setText(text);
  // A long reason (a URL and what its host said) may need more lines.
  if (const int needed = heightForWidth(width()); needed > height())
    ResizeWithin(*this, QSize(width(), needed));
}

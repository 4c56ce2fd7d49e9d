#include "ui/CAboutDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>

#include "model/Constants.h"
#include "ui/DialogUnits.h"
#include "ui/Prompter.h"
#include "ui/ScreenRoom.h"

namespace {

constexpr char kHelpText[] =
    "All machines are parsed and all new factors are displayed in the 'New factors' window when "
    "the program is started or when 'Refresh' is clicked.\n"
    "If a single machine is selected from the list, only that machine's factors are displayed.\n"
    "\n"
    "'Copy new' copies the displayed new factors to the clipboard and optionally launches a URL.\n"
    "Click 'Mark as old' once you've submitted the new factors.";

QString NameAndVersion() {
  return QString::fromLatin1(kAppName) + ' ' + QString::fromLatin1(kVersion);
}

}  // namespace

CAboutDlg::CAboutDlg(Prompter& prompter, QWidget* parent)
    : QDialog(parent),
      prompter_(prompter),
      mailLink_(makeLink("mailLink", QString::fromLatin1(kMakerEmail))),
      homePageLink_(makeLink("homePageLink", QString::fromLatin1(kHomePageUrl))) {
  setObjectName("aboutBox");
  setWindowTitle("About " + QString::fromLatin1(kAppName));
  const DialogUnits units(font());

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("okButton");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(mailLink_, &QPushButton::clicked, this, &CAboutDlg::openMail);
  connect(homePageLink_, &QPushButton::clicked, this, &CAboutDlg::openHomePage);

  auto* icon = new QLabel(this);
  const int iconSize = units.x(20);
  icon->setPixmap(windowIcon().pixmap(iconSize, iconSize));
  auto* nameAndVersion = new QLabel(NameAndVersion(), this);
  nameAndVersion->setObjectName("nameAndVersion");
  nameAndVersion->setTextFormat(Qt::PlainText);
  auto* help = new QPlainTextEdit(QString::fromLatin1(kHelpText), this);
  help->setObjectName("helpText");
  help->setReadOnly(true);

  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(units.x(7), units.y(7), units.x(7), units.y(7));
  layout->setHorizontalSpacing(units.x(9));
  layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
  layout->addWidget(nameAndVersion, 0, 1);
  layout->addWidget(ok, 0, 2);
  layout->addWidget(new QLabel("Administrator of a farm of sieve clients", this), 1, 1);
  layout->addWidget(mailLink_, 2, 1, 1, 2);
  layout->addWidget(homePageLink_, 3, 1, 1, 2);
  layout->addWidget(help, 4, 1, 1, 2);
  layout->setRowStretch(4, 1);
  layout->setColumnStretch(1, 1);
  ResizeWithin(*this, units.size(239, 153));
  setTabOrder(ok, mailLink_);
  setTabOrder(mailLink_, homePageLink_);
  setTabOrder(homePageLink_, help);
  ok->setFocus();
}

QPushButton* CAboutDlg::makeLink(const char* name, const QString& text) {
  auto* link = new QPushButton(text, this);
  link->setObjectName(name);
  link->setFlat(true);
  link->setAutoDefault(false);
  link->setCursor(Qt::PointingHandCursor);
  link->setStyleSheet("text-align: left; color: palette(link)");
  return link;
}

void CAboutDlg::openMail() {
  // The subject is left as it reads; QUrl encodes it for the mail program.
  prompter_.openUrl(QUrl("mailto:" + mailLink_->text() + "?subject=" + NameAndVersion()));
}

void CAboutDlg::openHomePage() { prompter_.openUrl(QUrl(homePageLink_->text())); }

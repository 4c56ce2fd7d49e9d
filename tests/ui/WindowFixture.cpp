#include "WindowFixture.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include "model/SettingsFile.h"
#include "support/SiteUser.h"
#include "ui/FactorPane.h"
#include "ui/Startup.h"

std::string FactorLine(uint64_t p) { return std::to_string(p) + " | 3*2^1234567+1"; }

std::string FactorLines(const std::vector<uint64_t>& ps, const char* lineEnd) {
  std::string lines;
  for (const uint64_t p : ps) lines += FactorLine(p) + lineEnd;
  return lines;
}

void TestFarm::addLocal(const std::string& name, const std::string& status,
                        const std::string& factors, uint64_t lastOldFactor) {
  const std::string folder = name + "/";
  machines_.emplace_back(name, dir_.write(folder + "fact.txt", factors),
                         dir_.write(folder + "QsvStatus.dat", status), lastOldFactor);
}

void TestFarm::addRemote(const std::string& name, const std::string& statusPath,
                         const std::string& factorPath, uint64_t lastOldFactor) {
  machines_.emplace_back(name, factorPath, statusPath, lastOldFactor);
}

std::string TestFarm::writeSettings(const std::string& name) const {
  Model model;
  model.Options = options();
  model.Machines = machines_;
  return dir_.write(name, SaveSettingsText("", model));
}

Settings TestFarm::options() {
  Settings options;
  options.Username = kSiteUser;
  return options;
}

const char StandardFarm::kStatus[] =
    "pmax=200000000000\npmin=100000000000 : 40 kp/s\npmin=110000000000 : 60 kp/s\n";

StandardFarm::StandardFarm() {
  farm.addLocal("alpha", kStatus, FactorLines({std::begin(kAlpha), std::end(kAlpha)}), kAlpha[1]);
  farm.addLocal("beta", kStatus, FactorLines({std::begin(kBeta), std::end(kBeta)}), kBeta[1]);
  farm.addLocal("gamma", kStatus, FactorLines({std::begin(kGamma), std::end(kGamma)}), kGamma[0]);
  settingsPath = farm.writeSettings();
}

QString StandardFarm::NewFactorsShown() {
  return QString::fromStdString(
      FactorLines({kAlpha[2], kAlpha[3], kGamma[1], kGamma[2], kGamma[3]}));
}

OpenWindow::OpenWindow(const std::string& settingsPath, Prompter& prompter,
                       std::shared_ptr<const Fetcher> fetcher)
    : session(settingsPath, std::move(fetcher)), window(session, prompter) {
  StartProgram(session, window, prompter);
}

bool OpenWindow::settle() {
  if (!QTest::qWaitFor([this] { return session.runner().idle(); })) return false;
  QCoreApplication::processEvents();
  return true;
}

bool OpenWindow::clickRow(int row) {
  auto* list = find<QTreeView>("machineList");
  const QRect cell = list->visualRect(list->model()->index(row, 0));
  if (!cell.isValid()) return false;
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
  return true;
}

QString OpenWindow::paneText(const char* name) const { return find<FactorPane>(name)->text(); }

QString OpenWindow::newFactorsLabel() const { return find<QLabel>("newFactorsLabel")->text(); }

QString Shown(const QString& modelText) {
  return QString(modelText).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

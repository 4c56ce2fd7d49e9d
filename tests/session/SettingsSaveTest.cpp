#include <QTest>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "model/SettingsFile.h"
#include "session/FarmSession.h"
#include "support/GateFetcher.h"
#include "support/QtTestClass.h"
#include "support/SavedSettings.h"
#include "support/TempDir.h"

namespace {

constexpr uint64_t kOtherMark = 100000000013;

using Change = std::function<Status(FarmSession&)>;

// Two machines, "a" and "b", of which b has a mark to move.
std::string WriteFarm(TempDir& dir) {
  Model configured;
  for (const char* name : {"a", "b"}) {
    const std::string folder = std::string(name) + "/";
    configured.Machines.emplace_back(name, dir.write(folder + "fact.txt", ""),
                                     dir.write(folder + "QsvStatus.dat", ""), 7);
  }
  return dir.write("quillstrand.ini", SaveSettingsText("", configured));
}

// Another process of the program (a cron `submit`) marks b's factors as old;
// b is the last machine in every table of these tests.
void MarkAsAnotherProcess(const std::string& path, uint64_t mark) {
  Status marked = Ok();
  std::thread other([&] {
    marked = UpdateSettings(path, [&](Model& onDisk) {
      onDisk.Machines.back().LastOldFactor = mark;  // b, wherever it is
      return Ok();
    });
  });
  other.join();
  QVERIFY(marked);
}

}  // namespace

Q_DECLARE_METATYPE(Change)

// The window saves what it changed itself: a mark another process wrote
// meanwhile survives its saves, and asks nothing.
class SettingsSaveTest : public QObject {
  Q_OBJECT

 private slots:
  void anotherProcessesMarkSurvivesTheWindowsSave_data() {
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("names");
    QTest::addColumn<uint64_t>("bMark");
    const auto optionsOf = [](FarmSession& session) {
      Settings options = session.model().Options;
      options.Username = "mine";
      return options;
    };
    QTest::newRow("layout kept on closing") << Change([](FarmSession& session) {
      session.keepWindowLayout({800, 600, {300, 200}, {}});
      return session.saveSettings();
    }) << "a b" << kOtherMark;
    QTest::newRow("options confirmed") << Change([=](FarmSession& session) {
      return session.replaceFarm(optionsOf(session), session.model().Machines);
    }) << "a b" << kOtherMark;
    QTest::newRow("a removed in the Options") << Change([=](FarmSession& session) {
      return session.replaceFarm(optionsOf(session), {session.model().Machines[1]});
    }) << "b" << kOtherMark;
    QTest::newRow("b's mark edited in the Machine dialog") << Change([=](FarmSession& session) {
      MachineTable machines = session.model().Machines;
      machines[1].LastOldFactor = 5;
      return session.replaceFarm(optionsOf(session), machines);
    }) << "a b" << uint64_t{5};
  }
  void anotherProcessesMarkSurvivesTheWindowsSave() {
    QFETCH(Change, change);
    QFETCH(QString, names);
    QFETCH(uint64_t, bMark);
    TempDir dir;
    const std::string path = WriteFarm(dir);
    FarmSession session(path, std::make_shared<GateFetcher>());
    QVERIFY(session.loadSettings());

    MarkAsAnotherProcess(path, kOtherMark);
    QVERIFY(!session.settingsChangedOnDisk());  // marks are merged without asking
    QVERIFY(change(session));

    const Model saved = Saved(path);
    QStringList savedNames;
    for (const Machine& machine : saved.Machines)
      savedNames << QString::fromStdString(machine.Name);
    QCOMPARE(savedNames.join(' '), names);
    QCOMPARE(saved.Machines.back().LastOldFactor, bMark);
    QCOMPARE(session.model().Machines.back().LastOldFactor, bMark);
    // The window holds what the file holds: the next save has nothing to undo.
    MarkAsAnotherProcess(path, kOtherMark + 6);
    QVERIFY(session.saveSettings());
    QCOMPARE(Saved(path).Machines.back().LastOldFactor, kOtherMark + 6);
  }

  // Options changed by another process are asked about before a save.
  void anotherProcessesOptionsAreAChangeOnDisk() {
    TempDir dir;
    const std::string path = WriteFarm(dir);
    FarmSession session(path, std::make_shared<GateFetcher>());
    QVERIFY(session.loadSettings());
    QVERIFY(UpdateSettings(path, [](Model& onDisk) {
      onDisk.Options.DryHours = 2;
      return Ok();
    }));
    QVERIFY(session.settingsChangedOnDisk());
  }

  // Two windows on one farm, each saving an option of its own: the second
  // save keeps the first's.
  void twoWindowsSavingDifferentOptionsKeepBoth() {
    TempDir dir;
    const std::string path = WriteFarm(dir);
    FarmSession first(path, std::make_shared<GateFetcher>());
    FarmSession second(path, std::make_shared<GateFetcher>());
    QVERIFY(first.loadSettings());
    QVERIFY(second.loadSettings());
    first.keepWindowLayout({800, 600, {}, {}});
    QVERIFY(first.saveSettings());
    Settings options = second.model().Options;
    options.AutoTimerInterval = 60;
    QVERIFY(second.replaceFarm(options, second.model().Machines));
    const Model saved = Saved(path);
    QCOMPARE(saved.Options.Window.Width, 800);
    QCOMPARE(saved.Options.AutoTimerInterval, uint32_t{60});
    QCOMPARE(second.model().Options.Window.Width, 800);
  }
};

QUILLSTRAND_QTEST_MAIN(SettingsSaveTest)
#include "SettingsSaveTest.moc"

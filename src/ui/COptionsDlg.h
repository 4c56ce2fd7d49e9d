#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>

#include "model/Machine.h"
#include "model/Settings.h"
#include "session/FarmSession.h"
#include "ui/CMachineDlg.h"

class Prompter;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// Every option and the list of machines, edited in the dialog's own
// controls: the list's rows are the only copy of the machines while it is
// open. OK turns the controls into options and a machine table, refusing
// numbers the farm cannot work with; the caller puts them in place. Cancel
// leaves nothing behind.
class COptionsDlg : public QDialog {
  Q_OBJECT

 public:
  COptionsDlg(const Settings& settings, const MachineTable& machines, Prompter& prompter,
              FarmSession& session, QWidget* parent = nullptr);

  // What OK made of the controls.
  const Settings& settings() const { return settings_; }
  const MachineTable& machines() const { return machines_; }

  void accept() override;

 private:
  QLineEdit* makeBox(const char* name, const QString& text);
  QCheckBox* makeCheck(const char* name, const QString& text, bool checked);
  QPushButton* makeButton(const char* name, const QString& text, const QString& toolTip);
  QGroupBox* makeSubmissionGroup();
  QGroupBox* makeAutomationGroup();
  void makeMachineList(const MachineTable& machines);
  void layOut(QGroupBox* submission, QGroupBox* automation);
  void chainTabOrder(std::initializer_list<QWidget*> widgets);
  // Enables `dependents` exactly while `box` is checked, from now on.
  void enableWhileChecked(QCheckBox* box, std::initializer_list<QWidget*> dependents);

  void addMachine();
  void editMachine();
  void deleteMachine();
  void editRow(QTreeWidgetItem* row);
  // The Machine dialog on `fields`: what it gave with OK.
  std::optional<MachineFields> askFields(const MachineFields& fields);
  QTreeWidgetItem* selectedRow();

  std::optional<uint32_t> readCount(QLineEdit* box, uint32_t max, const QString& boxName);
  bool passwordSurvivesSaving();
  MachineTable machinesOfRows() const;

  Prompter& prompter_;
  FarmSession& session_;
  const FarmSession::EditLock lock_;
  Settings settings_;
  MachineTable machines_;

  QCheckBox* launchCopyNewUrl_;
  QLineEdit* copyNewUrl_;
  QLabel* speedAvgLabel_;
  QLineEdit* speedAvgIntervals_;
  QLineEdit* stalledMinutes_;
  QLineEdit* dryHours_;
  QCheckBox* login_;
  QLabel* usernameLabel_;
  QLineEdit* username_;
  QLabel* passwordLabel_;
  QLineEdit* password_;
  QCheckBox* autoRefresh_;
  QLineEdit* autoTimerInterval_;
  QLabel* minutesLabel_;
  QCheckBox* autoSubmit_;
  QCheckBox* ignoreErrors_;
  QTreeWidget* machineList_;
};

#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <stop_token>

#include "session/FarmSession.h"

class Prompter;
class QLabel;
class QLineEdit;
class QPushButton;

// A machine as the Options dialog's list holds it: four texts, as typed.
struct MachineFields {
  QString name;
  QString factorPath;
  QString statusPath;
  QString lastOldFactor;

  friend bool operator==(const MachineFields&, const MachineFields&) = default;
};

// Edits one machine's name, the locations of its two files and its last
// submitted factor, and gives them back as typed: OK asks only that the
// name and both locations are there, nothing is converted here. Its Test button reads both files
// once, in the background, and tells what they hold, so that a location can be tried before it is
// kept; nothing of what it reads reaches the farm.
class CMachineDlg : public QDialog {
  Q_OBJECT

 public:
  CMachineDlg(const MachineFields& fields, Prompter& prompter, FarmSession& session,
              QWidget* parent = nullptr);
  ~CMachineDlg() override;

  MachineFields fields() const;

  // Closes only with a name and both locations; otherwise says what is
  // missing and stays.
  void accept() override;

 private:
  QLineEdit* makeBox(const char* name, const QString& text);
  QPushButton* makeButton(const char* name, const QString& text);
  void layOut(QPushButton* browseFactors, QPushButton* browseStatus, QPushButton* ok,
              QPushButton* cancel);
  void followStatusPath(const QString& statusPath);
  void browse(QLineEdit* box, const QString& caption, const QString& filter);
  void testLocations();
  void showTestResult(uint64_t test, const QString& text);

  Prompter& prompter_;
  FarmSession& session_;
  const FarmSession::EditLock lock_;
  // The boxes show the locations with their passwords hidden.
  const QString givenFactorPath_;
  const QString givenStatusPath_;
  QLineEdit* name_;
  QLineEdit* factorPath_;
  QLineEdit* statusPath_;
  QLineEdit* lastOldFactor_;
  QLabel* statusLabel_;
  QPushButton* testButton_;
  QLabel* testResult_;
  // What the factor box was last given to follow the status box.
  QString filledFactorPath_;
  // Only the latest test's result is shown; an earlier one still running
  // is stopped.
  uint64_t tests_ = 0;
  std::stop_source testStop_;
};

#pragma once

#include <QDialog>
#include <QMessageBox>
#include <optional>
#include <vector>

#include "model/Machine.h"
#include "session/FarmSession.h"

class Prompter;
class QLabel;
class QPushButton;
class QTreeWidget;

// The Manage ranges dialog: the machines and, for the one selected, its
// queued ranges in billions, to create, edit, delete or Equalize. It works
// on copies of the queues as their files hold them when it opens, shows in
// bold what has changed since, and on OK writes the edits through the
// session. It holds the session's edit lock for as long as it exists, so
// that no refresh changes the farm it works on.
class CNextrangesDlg : public QDialog {
  Q_OBJECT

 public:
  CNextrangesDlg(FarmSession& session, Prompter& prompter, QWidget* parent = nullptr);

  // Writes the edited queues as one change, each applied to its file as it
  // is now, and closes once they are written; if a file cannot be written,
  // none is: names the file and stays open with the edits kept.
  void accept() override;
  // Closes without writing, unless a write is under way.
  void reject() override;

  // Fills the queue label and the range list with machine `index`'s queue,
  // and selects row `selected` of it, if there is one.
  void ShowQueuedRanges(int index, int selected = -1);

 private:
  void layOut();
  QTreeWidget* makeList(const char* name, const QStringList& columns);
  QPushButton* makeButton(const char* name, const QString& text, const QString& toolTip,
                          void (CNextrangesDlg::*action)());
  void showMachineRow(int index);
  void machineSelected();
  void newRange();
  void editRange();
  void deleteRange();
  void equalize();
  void EditSelectedRange();
  std::optional<int> machineToEdit(bool needsRange);
  int selectedMachine() const;
  int selectedRange() const;
  bool everyQueueRead();
  void written(const FarmSession::QueueWriteOutcome& outcome);
  void tell(const QString& text, QMessageBox::Icon icon = QMessageBox::Information);

  FarmSession& session_;
  Prompter& prompter_;
  FarmSession::EditLock lock_;
  MachineTable machines_;                  // the queues as edited
  std::vector<std::vector<Range>> files_;  // the queues as their files hold them
  QTreeWidget* machineList_ = nullptr;
  QLabel* queueLabel_ = nullptr;
  QTreeWidget* rangeList_ = nullptr;
  bool writing_ = false;
};

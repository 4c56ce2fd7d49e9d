#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

#include "model/Machine.h"
#include "session/FarmSession.h"

class Prompter;
class QLabel;
class QPushButton;
class QTreeWidget;

// The Manage ranges dialog: the machines and, for the one selected, its
// queued ranges in billions, to create, edit, delete or Equalize. It reads
// the queue files in the background, edits copies of the queues as first
// read, shows in bold what the user changed, and keeps its "In the file"
// column on the files as they are now. The clients go on taking ranges
// meanwhile: OK and Equalize read the files again and apply the edits to
// them as they are then, naming any edited range a client has begun before
// writing, and OK writes every queue through the session as one change. It
// holds the session's edit lock for as long as it exists, so that no
// refresh changes the farm it works on.
class CNextrangesDlg : public QDialog {
  Q_OBJECT

 public:
  CNextrangesDlg(FarmSession& session, Prompter& prompter, QWidget* parent = nullptr);

  // Writes the edited queues, each applied to its file as it is now, and
  // closes when they are written; if they cannot be, says why and stays
  // open with the edits kept.
  void accept() override;
  // Closes without writing, unless a write is under way.
  void reject() override;

  // Fills the queue label and the range list with machine `index`'s queue,
  // and selects row `selected` of it, if there is one.
  void ShowQueuedRanges(int index, int selected = -1);

 private:
  using Readings = std::vector<FarmSession::QueueReading>;
  // What the dialog is doing besides showing its edits.
  enum class Step { Editing, Merging, Writing };

  void layOut();
  QTreeWidget* makeList(const char* name, const QStringList& columns);
  QPushButton* makeButton(const char* name, const QString& text, const QString& toolTip,
                          void (CNextrangesDlg::*action)());
  void showMachineRow(int index);
  QString fileSummary(size_t index) const;
  void machineSelected();
  void newRange();
  void editRange();
  void deleteRange();
  std::optional<Range> askRange(const Range& range);
  void mergeThenEqualize();
  void equalize();
  std::optional<int> machineToEdit(bool needsRange);
  int selectedMachine() const;
  int selectedRange() const;
  bool everyQueueRead();
  bool edited() const;

  void readFiles();
  void showReadings(const Readings& readings);
  // Reads every queue file again, shows it and runs `next` with the
  // readings, unless the dialog has gone by then.
  void readAgainThen(std::function<void(const Readings&)> next);
  // Whether machine `index`'s edit can be applied to its file as read.
  bool mergeable(size_t index, const Readings& readings) const;
  // What each machine's client took since its queue was read.
  std::vector<std::vector<Range>> takenSince(const Readings& readings) const;
  std::vector<FarmSession::MergedQueue> mergeWith(
      const Readings& readings, const std::vector<std::vector<Range>>& taken) const;
  // Names the edited ranges a client has begun, if any, and asks whether
  // to go on without them.
  bool mayLeaveOut(const std::vector<FarmSession::MergedQueue>& merges,
                   const std::vector<std::vector<Range>>& taken);
  void write();
  void written(const FarmSession::QueueWriteOutcome& outcome);
  void setStep(Step step);
  void tell(const QString& text, QMessageBox::Icon icon = QMessageBox::Information);

  FarmSession& session_;
  Prompter& prompter_;
  FarmSession::EditLock lock_;
  MachineTable machines_;                   // the queues as edited
  std::vector<std::vector<Range>> asRead_;  // the queues the edits were made on
  std::vector<std::vector<Range>> files_;   // the queues as their files held them last
  std::vector<bool> read_;                  // whether asRead_ holds a reading of the file
  bool anyReading_ = false;
  // The files are read again a while after each reading: the session's
  // refreshes wait for the edit lock, so they cannot tell what changed.
  QTimer nextReading_;
  Step step_ = Step::Editing;
  std::vector<Range> namedLeftOut_;  // told of before the write
  QTreeWidget* machineList_ = nullptr;
  QLabel* queueLabel_ = nullptr;
  QTreeWidget* rangeList_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
  std::vector<QPushButton*> editingButtons_;
};

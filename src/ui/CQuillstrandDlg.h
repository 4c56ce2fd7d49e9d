#pragma once

#include <QDialog>
#include <QMessageBox>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/Result.h"
#include "model/Settings.h"
#include "session/MachineHealth.h"

class AutoTimer;
class ColumnFit;
class FactorPane;
class FarmSession;
struct SubmitMessage;
class MachineListModel;
class MachineOrder;
class Prompter;
struct RememberedParts;
class SpeedChart;
class QBoxLayout;
class QItemSelection;
class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;
class QSystemTrayIcon;
class QTimer;
class QTreeView;

// The main window: seven buttons, the machine list, and the "All factors"
// and "New factors" panes, showing what the session holds and following it
// as machines are read; it saves the settings when it is closed, by the
// close box or the window manager. Escape, which closes a dialog, leaves
// it open: it is the program, not a question. Under the list a line sums the farm
// up; a machine that stalls, becomes unreachable or runs dry is told of
// once, by a tray notification, or where there is no tray by "(!)" before
// the window's title until the window is next activated. The list sorts by
// a click on a column's header (again: reversed, a third time: table
// order), by health from the header's menu, and shows only the machines
// that the filter box above it finds (Ctrl+F; Escape there clears it).
class CQuillstrandDlg : public QDialog {
  Q_OBJECT

 public:
  CQuillstrandDlg(FarmSession& session, Prompter& prompter, QWidget* parent = nullptr);

  void reject() override;
  // Stops the automation timer, then starts it anew if AutoRefresh is on.
  void RearmAutoTimer();
  // What the machines' health is judged at, in Unix seconds; the wall clock
  // unless a test sets another.
  using Clock = std::function<int64_t()>;
  void setClock(Clock clock) { clock_ = std::move(clock); }
  // Gives the window the size, the splitter the sizes and the list the
  // column widths that the settings remember, within the screen's room;
  // once the settings are loaded, before the window shows.
  void restoreLayout();

 protected:
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void layOut();
  QSplitter* makeSplitter();
  SpeedChart* makeChart();
  RememberedParts rememberedParts();
  QBoxLayout* makeButtonRow();
  QWidget* makeMachineArea();
  QBoxLayout* makeMachineHeader();
  QLineEdit* makeFilterBox();
  QTreeView* makeMachineList();
  void makeSortActions();
  QLayout* makeFactorPanes();
  FactorPane* makePane(const char* name);
  void connectSession();

  void refresh();
  void showRefreshProgress(int read, int machines);
  void showRefresh();
  void showWaitingRows();
  void showRow(int row);
  // Sorts and filters the rows again, after their values changed.
  void reorderRows();
  void showSorting();
  void filterMachines(const QString& text);
  // A machine the filter hides is no longer selected: what acts on the
  // selection never acts on a machine out of sight.
  void dropHiddenSelection();
  void showSummary();
  void warnOfNewStates();
  void warn(const std::vector<std::string>& lines);
  void factorsChanged();
  void showFactors();
  void selectionChanged(const QItemSelection& selected);
  // Marks the session's selected machine in the list, or none.
  void showSelection();
  void submitNewFactors();
  void showSubmissionAnswer();
  void showActivity();
  QMessageBox::StandardButton showMessage(const SubmitMessage& message);
  void copyNewFactors();
  void markNewFactorsAsOld();
  void editOptions();
  // True when the settings file may be saved: nobody else wrote it since
  // it was read or saved, or the user wants it overwritten all the same;
  // `otherwise` tells what answering no does.
  bool mayOverwriteSettings(const QString& otherwise);
  void loadSettingsAgain();
  void makeEmptyListHint();
  void showFirstStart();
  void manageRanges();
  void showAbout();
  void reportSaveFailure(const Status& saved);

  FarmSession& session_;
  Prompter& prompter_;
  MachineListModel* machines_;
  MachineOrder* order_;  // the rows of machines_ as the list shows them
  QLineEdit* filterBox_ = nullptr;
  QPushButton* refreshButton_ = nullptr;
  QPushButton* optionsButton_ = nullptr;
  QLabel* emptyListHint_ = nullptr;
  QLabel* refreshState_ = nullptr;
  QTreeView* machineList_ = nullptr;
  ColumnFit* columnFit_ = nullptr;
  QLabel* farmSummary_ = nullptr;
  QLabel* newFactorsLabel_ = nullptr;
  FactorPane* allFactors_ = nullptr;
  FactorPane* newFactors_ = nullptr;
  QSplitter* splitter_ = nullptr;
  SpeedChart* chart_ = nullptr;
  // The layout as the window first showed, to tell whether the user changed it.
  std::optional<WindowLayout> shownLayout_;
  QTimer* waitingTicker_ = nullptr;
  QTimer* summaryTimer_ = nullptr;
  AutoTimer* autoTimer_ = nullptr;
  bool factorsPending_ = false;
  bool filtering_ = false;  // the list's selection moves, not the session's
  Clock clock_;
  QSystemTrayIcon* tray_ = nullptr;  // made at the first warning
};

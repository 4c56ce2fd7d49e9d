#pragma once

#include <QDialog>
#include <QMessageBox>

#include "model/Result.h"

class AutoTimer;
class FactorPane;
class FarmSession;
struct SubmitMessage;
class MachineListModel;
class Prompter;
class QBoxLayout;
class QItemSelection;
class QLabel;
class QPushButton;
class QTimer;
class QTreeView;

// The main window: seven buttons, the machine list, and the "All factors"
// and "New factors" panes, showing what the session holds and following it
// as machines are read; it saves the settings when it is closed, by Escape,
// the close box or the window manager.
class CQuillstrandDlg : public QDialog {
  Q_OBJECT

 public:
  CQuillstrandDlg(FarmSession& session, Prompter& prompter, QWidget* parent = nullptr);

  void reject() override;
  // Stops the automation timer, then starts it anew if AutoRefresh is on.
  void RearmAutoTimer();

 private:
  void layOut();
  QBoxLayout* makeButtonRow();
  QBoxLayout* makeMachineHeader();
  QTreeView* makeMachineList();
  QLayout* makeFactorPanes();
  FactorPane* makePane(const char* name);
  void sizeColumns();
  void connectSession();

  void refresh();
  void showRefreshProgress(int read, int machines);
  void showRefresh();
  void showWaitingRows();
  void factorsChanged();
  void showFactors();
  void selectionChanged(const QItemSelection& selected);
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
  QPushButton* refreshButton_ = nullptr;
  QPushButton* optionsButton_ = nullptr;
  QLabel* emptyListHint_ = nullptr;
  QLabel* refreshState_ = nullptr;
  QTreeView* machineList_ = nullptr;
  QLabel* newFactorsLabel_ = nullptr;
  FactorPane* allFactors_ = nullptr;
  FactorPane* newFactors_ = nullptr;
  QTimer* waitingTicker_ = nullptr;
  AutoTimer* autoTimer_ = nullptr;
  bool factorsPending_ = false;
};

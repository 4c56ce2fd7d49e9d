#pragma once

#include <QDialog>
#include <string>

#include "model/Model.h"

class Prompter;

// The main window. It loads the settings as it opens and saves them when it
// is closed, by Escape, the close box or the window manager.
class CQuillstrandDlg : public QDialog {
  Q_OBJECT

 public:
  CQuillstrandDlg(Model& model, std::string settingsPath, Prompter& prompter,
                  QWidget* parent = nullptr);

  void reject() override;

 private:
  void saveSettings();

  Model& model_;
  std::string settingsPath_;
  Prompter& prompter_;
};

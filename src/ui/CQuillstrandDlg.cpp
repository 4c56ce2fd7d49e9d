#include "ui/CQuillstrandDlg.h"

#include "model/Constants.h"
#include "model/SettingsFile.h"
#include "ui/Prompter.h"

CQuillstrandDlg::CQuillstrandDlg(Model& model, std::string settingsPath, Prompter& prompter,
                                 QWidget* parent)
    : QDialog(parent), model_(model), settingsPath_(std::move(settingsPath)), prompter_(prompter) {
  setObjectName("mainWindow");
  setWindowTitle(QString::fromLatin1(kAppName) + ' ' + QString::fromLatin1(kVersion));
  if (const Status loaded = LoadSettings(settingsPath_, model_); !loaded)
    prompter_.warn(
        this, "Cannot read the settings file " + QString::fromStdString(loaded.error().message));
}

void CQuillstrandDlg::reject() {
  saveSettings();
  QDialog::reject();
}

void CQuillstrandDlg::saveSettings() {
  if (const Status saved = SaveSettings(settingsPath_, model_); !saved)
    prompter_.warn(
        this, "Cannot save the settings file " + QString::fromStdString(saved.error().message));
}

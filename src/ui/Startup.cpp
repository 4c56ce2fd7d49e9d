#include "ui/Startup.h"

#include "model/Constants.h"
#include "model/FileStamp.h"
#include "session/FarmSession.h"
#include "ui/CQuillstrandDlg.h"
#include "ui/Prompter.h"

void StartProgram(FarmSession& session, CQuillstrandDlg& window, Prompter& prompter,
                  bool settingsNamed) {
  if (settingsNamed && !StampFile(session.settingsPath()).Exists)
    prompter.ask(&window, QString::fromLatin1(kAppName),
                 QString::fromStdString(session.settingsPath()) +
                     " does not exist; it will be created at the first save",
                 QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Information);
  if (const Status loaded = session.loadSettings(); !loaded)
    prompter.warn(
        &window, "Cannot read the settings file " + QString::fromStdString(loaded.error().message));
  window.restoreLayout();
  window.show();
  session.finishQueueWrites();
  session.refresh();
  window.RearmAutoTimer();
}

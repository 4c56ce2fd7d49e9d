#include "ui/Startup.h"

#include "session/FarmSession.h"
#include "ui/CQuillstrandDlg.h"
#include "ui/Prompter.h"

void StartProgram(FarmSession& session, CQuillstrandDlg& window, Prompter& prompter) {
  if (const Status loaded = session.loadSettings(); !loaded)
    prompter.warn(
        &window, "Cannot read the settings file " + QString::fromStdString(loaded.error().message));
  window.show();
  session.refresh();
  window.RearmAutoTimer();
}

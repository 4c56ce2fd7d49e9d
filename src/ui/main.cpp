#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <cstdio>
#include <memory>
#include <new>

#include "location/CurlFetcher.h"
#include "model/Constants.h"
#include "model/SettingsFile.h"
#include "session/FarmSession.h"
#include "ui/CQuillstrandDlg.h"
#include "ui/Prompter.h"
#include "ui/Startup.h"

namespace {

int RunProgram(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(kAppName);
  QApplication::setApplicationVersion(kVersion);
  QApplication::setWindowIcon(QIcon(":/quillstrand.png"));

  QCommandLineParser parser;
  parser.setApplicationDescription("Administrator of a farm of sieve clients");
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption config("config", "Settings file to use.", "FILE", kSettingsFileName);
  parser.addOption(config);
  parser.process(app);

  MessageBoxPrompter prompter;
  FarmSession session(parser.value(config).toStdString(), std::make_shared<CurlFetcher>());
  CQuillstrandDlg window(session, prompter);
  StartProgram(session, window, prompter, parser.isSet(config));
  return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
  // What cannot be had is refused where it is asked for; this is the last
  // net, so that the program ends with a reason, never with an abort.
  try {
    return RunProgram(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("quillstrand: not enough memory\n", stderr);
    return 1;
  }
}

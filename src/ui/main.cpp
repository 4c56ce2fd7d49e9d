#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <memory>

#include "location/CurlFetcher.h"
#include "model/Constants.h"
#include "model/SettingsFile.h"
#include "session/FarmSession.h"
#include "ui/CQuillstrandDlg.h"
#include "ui/Prompter.h"
#include "ui/Startup.h"

int main(int argc, char** argv) {
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
  StartProgram(session, window, prompter);
  return app.exec();
}

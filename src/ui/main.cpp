#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <cstdio>
#include <new>

#include "model/Constants.h"
#include "model/SettingsLocation.h"
#include "session/FarmSession.h"
#include "ui/CQuillstrandDlg.h"
#include "ui/Prompter.h"
#include "ui/Startup.h"

namespace {

// The icon of the menu entry, in every size drawn for it.
QIcon ProgramIcon() {
  QIcon icon;
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
    icon.addFile(QString(":/icons/%1.png").arg(size), QSize(size, size));
  return icon;
}

// True when the command line asks for the help or the version. These need
// no display, so that they work over ssh and when the manual page is made
// from the help. Anything else, a usage error too, waits for QApplication,
// which takes its own options (-platform, ...) off the command line first.
bool WantsText(QCommandLineParser& parser, int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  // Qt's own options are words after a single dash: read as letters,
  // -stylesheet would ask for the help by its h.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.parse(arguments);
  return parser.isSet("help") || parser.isSet("help-all") || parser.isSet("version");
}

int RunProgram(int argc, char** argv) {
  QCoreApplication::setApplicationName(kAppName);
  QCoreApplication::setApplicationVersion(kVersion);
  QCommandLineParser parser;
  parser.setApplicationDescription("Administrator of a farm of sieve clients");
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption config(
      "config", QString("Settings file to use (default: %1).").arg(kDefaultSettingsHelp), "FILE");
  parser.addOption(config);
  if (WantsText(parser, argc, argv)) {
    const QCoreApplication app(argc, argv);
    parser.process(app);  // prints what was asked for and exits
    return 0;
  }

  QApplication app(argc, argv);
  QApplication::setWindowIcon(ProgramIcon());
  // Ties the window to its menu entry, whose icon the desktop shows for it.
  QGuiApplication::setDesktopFileName(kDesktopId);
  parser.process(app);

  MessageBoxPrompter prompter;
  const bool named = parser.isSet(config);
  FarmSession session(named ? parser.value(config).toStdString() : DefaultSettingsPath(),
                      MakeNetworkFetcher());
  CQuillstrandDlg window(session, prompter);
  StartProgram(session, window, prompter, named);
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

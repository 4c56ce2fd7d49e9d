#pragma once

class CQuillstrandDlg;
class FarmSession;
class Prompter;

// The program's start, once its session and main window exist: loads the
// settings file (telling the user when it cannot be read), shows the window
// as the settings remember it, finishes in the background a change of the
// queue files that a killed quillstrand left (telling the user when it
// cannot), begins the first refresh and arms the automation timer. A
// settings file that was named (`--config`) and does not exist is told of
// too: a mistyped name would otherwise show as an empty farm.
void StartProgram(FarmSession& session, CQuillstrandDlg& window, Prompter& prompter,
                  bool settingsNamed = false);

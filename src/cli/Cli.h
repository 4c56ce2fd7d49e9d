#pragma once

#include <ostream>

// Runs quillstrand-cli with its command line, writing to `out` and `err`;
// gives the exit code: 0 done, 2 for a wrong command line, an unreadable
// settings file or an output that could not be written; "check" gives its
// own (see CheckCommand.h). With `showProgress` (err is a terminal) a
// refresh counts the machines read on a line of `err`.
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           bool showProgress = false);

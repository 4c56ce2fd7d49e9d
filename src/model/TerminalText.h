#pragma once

#include <locale.h>
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

#include "model/PaneText.h"

// Text that came from outside (factor files, machine names, error texts, a
// site's pages) on its way to a terminal, or to a file people read on one.
// Every byte a terminal could take for a command shows as \xNN instead: the
// control characters other than tab (ESC among them, which would let a file
// retitle or clear the terminal), the C1 controls U+0080 to U+009F, and
// bytes that are not UTF-8, whose meaning depends on the terminal. What is
// left is valid UTF-8.
std::string TerminalText(std::string_view text);

// Writes a pane's text as TerminalText lines with this platform's line
// ends (LF; a CR before it is dropped), a block at a time, so that not
// even a pane of gigabytes is copied whole.
void WriteTerminalLines(std::ostream& out, std::string_view pane);
// The same of a pane's text, part after part (each ends with a line end).
void WriteTerminalLines(std::ostream& out, const PaneText& pane);

// How many columns TerminalText takes on a terminal: two for East Asian
// wide characters, none for combining marks, one for the others.
class DisplayWidth {
 public:
  DisplayWidth();
  DisplayWidth(const DisplayWidth&) = delete;
  DisplayWidth& operator=(const DisplayWidth&) = delete;
  ~DisplayWidth();

  size_t operator()(std::string_view terminalText) const;

 private:
  locale_t utf8_;  // the system's character widths; (locale_t)0 without them
};

#pragma once

#include <cstring>
#include <string_view>

// Calls `visit` with each line of `text`, in order, without its line break.
// Lines end at LF; one CR before it is dropped too, so that a file gives the
// same lines whether it was read from disk or served over http with CR LF
// line ends. A last line without LF is a line; an empty text has none. The
// lines are views into `text`: nothing is copied.
template <typename Visit>
void ForEachLine(std::string_view text, Visit&& visit) {
  const char* next = text.data();
  const char* const end = next + text.size();
  while (next != end) {
    const auto* lineFeed =
        static_cast<const char*>(std::memchr(next, '\n', static_cast<size_t>(end - next)));
    const char* lineEnd = lineFeed ? lineFeed : end;
    std::string_view line(next, static_cast<size_t>(lineEnd - next));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    visit(line);
    next = lineFeed ? lineFeed + 1 : end;
  }
}

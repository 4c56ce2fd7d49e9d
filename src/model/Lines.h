#pragma once

#include <cstring>
#include <string_view>

// Calls `visit` with each complete line of `text`, in order, without its
// line end, and gives the length of what it read: the text after the last
// line end is left unread. A line ends at LF, CR LF or a lone CR, so that a
// file gives the same lines whether it was read from disk, served over http
// with CR LF line ends or written with CR alone. The files read this way
// grow while they are read (a sieve client appends a factor, rewrites its
// queue): a last line without its end is still being written, and what it
// holds so far is no line yet. The lines are views into `text`: nothing is
// copied.
template <typename Visit>
size_t ForEachCompleteLine(std::string_view text, Visit&& visit) {
  // CRs are looked for a window at a time just ahead of the lines, so that
  // the window is still in the cache when the line feeds are looked for:
  // a file without CR costs no second pass from memory.
  constexpr size_t kWindow = 16 << 10;
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const char* next = begin;
  const char* carriageReturn = begin;  // no CR lies before it; it is one, if before `end`
  for (;;) {
    const void* found = std::memchr(next, '\n', static_cast<size_t>(end - next));
    const char* lineFeed = found ? static_cast<const char*>(found) : end;
    // Most lines have no CR before their LF: they cost a comparison more.
    if (carriageReturn >= lineFeed) {
      if (lineFeed == end) return static_cast<size_t>(next - begin);
      visit(std::string_view(next, static_cast<size_t>(lineFeed - next)));
      next = lineFeed + 1;
      continue;
    }
    while (carriageReturn < lineFeed && *carriageReturn != '\r') {
      const char* window =
          static_cast<size_t>(end - carriageReturn) > kWindow ? carriageReturn + kWindow : end;
      found = std::memchr(carriageReturn, '\r', static_cast<size_t>(window - carriageReturn));
      carriageReturn = found ? static_cast<const char*>(found) : window;
    }
    const char* lineEnd = carriageReturn < lineFeed ? carriageReturn : lineFeed;
    if (lineEnd == end) return static_cast<size_t>(next - begin);
    visit(std::string_view(next, static_cast<size_t>(lineEnd - next)));
    next = lineEnd + 1;
    if (lineEnd == carriageReturn && next != end && *next == '\n') ++next;
    if (carriageReturn < next) carriageReturn = next;
  }
}

// The same for a text that is whole (a message, a pane): a last line
// without its end is a line too. An empty text has none.
template <typename Visit>
void ForEachLine(std::string_view text, Visit&& visit) {
  const size_t read = ForEachCompleteLine(text, visit);
  if (read < text.size()) visit(text.substr(read));
}

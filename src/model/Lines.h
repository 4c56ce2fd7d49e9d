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
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const auto find = [end](const char* from, char c) {
    const void* found = std::memchr(from, c, static_cast<size_t>(end - from));
    return found ? static_cast<const char*>(found) : end;
  };
  // Each kind of line end is looked for again only once it has been passed,
  // so that a file without CR costs one search for it in all.
  const char* next = begin;
  const char* lineFeed = find(next, '\n');
  const char* carriageReturn = find(next, '\r');
  for (;;) {
    const char* lineEnd = lineFeed < carriageReturn ? lineFeed : carriageReturn;
    if (lineEnd == end) return static_cast<size_t>(next - begin);
    visit(std::string_view(next, static_cast<size_t>(lineEnd - next)));
    next = lineEnd + 1;
    if (lineEnd == carriageReturn && next != end && *next == '\n') ++next;
    if (lineFeed < next) lineFeed = find(next, '\n');
    if (carriageReturn < next) carriageReturn = find(next, '\r');
  }
}

// The same for a text that is whole (a message, a pane): a last line
// without its end is a line too. An empty text has none.
template <typename Visit>
void ForEachLine(std::string_view text, Visit&& visit) {
  const size_t read = ForEachCompleteLine(text, visit);
  if (read < text.size()) visit(text.substr(read));
}

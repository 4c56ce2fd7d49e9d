#include "submit/SubmissionLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "model/Lines.h"
#include "model/Redaction.h"
#include "model/TerminalText.h"

namespace {

// Text from outside (names, the site's words, factor lines) as the log
// holds it: people read it with cat, so no byte of it may reach their
// terminal as a command, and a location's password stays hidden.
std::string LogText(std::string_view text) { return TerminalText(RedactPasswords(text)); }

constexpr char kPostingLine[] = "  posting\n";

std::string Heading(const SubmissionLogEntry& entry) {
  std::string heading = UtcTimeText(entry.Time) + (entry.Manual ? " manual" : " automatic") +
                        " submission of " + std::to_string(entry.FactorCount) + " factors from";
  for (size_t i = 0; i < entry.Machines.size(); ++i) {
    const PostedMachine& machine = entry.Machines[i];
    heading += (i == 0 ? " " : ", ") + ("machine " + std::to_string(machine.Index)) + " \"" +
               LogText(OnOneLine(machine.Name)) + "\"";
  }
  if (entry.Machines.empty()) heading += " no machine";
  return heading + '\n';
}

std::string HowItWent(const SubmissionOutcome& outcome) {
  if (const auto* error = std::get_if<SubmissionError>(&outcome))
    return "  error : " + LogText(OnOneLine(error->Text)) + '\n';
  const auto& answer = std::get<SiteAnswer>(outcome);
  const std::string total = std::to_string(answer.Counts.Total);
  return "  logged in as : " + LogText(OnOneLine(answer.LoginName)) +
         "\n  verified : " + std::to_string(answer.Counts.Verified) + " of " + total +
         "\n  new factors : " + std::to_string(answer.Counts.New) + " of " + total + '\n';
}

std::string MarkedLine(const SubmissionLogEntry& entry) {
  if (entry.MarkedAsOld) return "  marked as old\n";
  const auto* answer = std::get_if<SiteAnswer>(&entry.Outcome);
  if (answer && !AllVerified(answer->Counts, entry.FactorCount))
    return "  " + NotAllVerifiedText(answer->Counts) + '\n';
  return "  not marked as old\n";
}

std::string IndentedLines(std::string_view text) {
  std::string lines;
  lines.reserve(text.size() + text.size() / 8);
  ForEachLine(text, [&](std::string_view line) {
    lines += "    ";
    lines += LogText(line);
    lines += '\n';
  });
  return lines;
}

Error CannotWrite(const Error& error) {
  return Error{"Cannot write the submission log " + error.message, error.code};
}

Status AppendToFile(const std::string& path, std::string_view text) {
  const auto fail = [&] {
    return Error{path + ": " + std::generic_category().message(errno), errno};
  };
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return fail();
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) {
      const Error error = fail();
      ::close(fd);
      return error;
    }
    text.remove_prefix(static_cast<size_t>(written));
  }
  if (::close(fd) != 0) return fail();
  return Ok();
}

bool IsHeadingAt(std::string_view text, size_t at) {
  return at < text.size() && text[at] != ' ' && text[at] != '\n';
}

// The log's last entry from its heading line on: the last line that is
// not indented. Read from the end in growing pieces, since the log only
// grows and the last entry is all that is wanted.
std::optional<std::string> LastEntry(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  const off_t size = ::lseek(fd, 0, SEEK_END);
  std::optional<std::string> entry;
  for (off_t piece = 4096; size > 0 && !entry; piece *= 4) {
    const off_t start = std::max<off_t>(size - piece, 0);
    std::string tail(static_cast<size_t>(size - start), '\0');
    if (::pread(fd, tail.data(), tail.size(), start) != static_cast<ssize_t>(tail.size())) break;
    // Lines from the last; the piece's first begins a line only at the file's start.
    for (size_t end = tail.size(); !entry;) {
      const size_t newline = end == 0 ? std::string::npos : tail.rfind('\n', end - 1);
      if (newline == std::string::npos) {
        if (start == 0 && IsHeadingAt(tail, 0)) entry = std::move(tail);
        break;
      }
      if (IsHeadingAt(tail, newline + 1)) entry = tail.substr(newline + 1);
      end = newline;
    }
    if (start == 0) break;
  }
  ::close(fd);
  return entry;
}

}  // namespace

std::string OnOneLine(std::string_view text) {
  std::string line;
  ForEachLine(text, [&](std::string_view part) {
    if (part.empty()) return;
    if (!line.empty()) line += ' ';
    line += part;
  });
  return line;
}

std::string SubmissionLogPath(const std::string& settingsPath) {
  return std::filesystem::path(settingsPath).replace_filename(kSubmissionLogName).string();
}

std::string UtcTimeText(std::chrono::system_clock::time_point time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm utc{};
  ::gmtime_r(&seconds, &utc);
  char text[32];
  const size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return std::string(text, length);
}

std::string PostingLogText(const SubmissionLogEntry& entry, const std::string& earlier) {
  return Heading(entry) + kPostingLine + (earlier.empty() ? "" : "  " + earlier + '\n') +
         IndentedLines(entry.FactorsText) + '\n';
}

std::string SubmissionLogText(const SubmissionLogEntry& entry) {
  return Heading(entry) + HowItWent(entry.Outcome) + MarkedLine(entry) + '\n';
}

std::optional<std::string> UnansweredSubmission(const std::string& path) {
  const std::optional<std::string> entry = LastEntry(path);
  if (!entry) return std::nullopt;
  const size_t headingEnd = entry->find('\n');
  if (entry->compare(headingEnd + 1, std::strlen(kPostingLine), kPostingLine) != 0)
    return std::nullopt;
  return "The submission of " + entry->substr(0, entry->find(' ')) +
         " has no answer on record; its factors may be on the site already.";
}

std::optional<Error> SubmissionLog::Append(const SubmissionLogEntry& entry) {
  const Status appended = AppendToFile(path_, SubmissionLogText(entry));
  const bool reported = failing_;
  failing_ = !appended;
  if (appended || reported) return std::nullopt;
  return CannotWrite(appended.error());
}

Status SubmissionLog::AppendPosting(const SubmissionLogEntry& entry, const std::string& earlier) {
  const Status appended = AppendToFile(path_, PostingLogText(entry, earlier));
  if (!appended) return CannotWrite(appended.error());
  return Ok();
}

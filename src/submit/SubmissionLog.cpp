#include "submit/SubmissionLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
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

std::string SubmissionLogText(const SubmissionLogEntry& entry) {
  return Heading(entry) + HowItWent(entry.Outcome) +
         (entry.MarkedAsOld ? "  marked as old\n" : "  not marked as old\n") +
         IndentedLines(entry.FactorsText) + '\n';
}

std::optional<Error> SubmissionLog::Append(const SubmissionLogEntry& entry) {
  const Status appended = AppendToFile(path_, SubmissionLogText(entry));
  const bool reported = failing_;
  failing_ = !appended;
  if (appended || reported) return std::nullopt;
  return Error{"Cannot write the submission log " + appended.error().message,
               appended.error().code};
}

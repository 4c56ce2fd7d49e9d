#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/Result.h"
#include "submit/SubmissionExchange.h"

inline constexpr char kSubmissionLogName[] = "quillstrand-submissions.log";

// A machine whose new factors went into a submission.
struct PostedMachine {
  int32_t Index = 0;
  std::string Name;
};

// What the log keeps of one submission: its "posting" entry, written before
// the factors go out, holds them; the outcome's entry, after the answer,
// tells what came of them.
struct SubmissionLogEntry {
  std::chrono::system_clock::time_point Time;
  bool Manual = true;
  std::vector<PostedMachine> Machines;
  int32_t FactorCount = 0;
  std::string_view FactorsText;  // the lines posted, each ending in CR LF
  SubmissionOutcome Outcome;
  bool MarkedAsOld = false;
};

// A message's lines joined by blanks, empty lines left out: messages hold
// CR LF, and in the log each thing takes one line.
std::string OnOneLine(std::string_view text);

// The log beside the settings file at `settingsPath`.
std::string SubmissionLogPath(const std::string& settingsPath);

// "2026-12-10T00:15:35Z": a moment in UTC, to the second.
std::string UtcTimeText(std::chrono::system_clock::time_point time);

// The entry of a post about to go out, as the log holds it: a heading line
// with the time, the mode, the number of factors and the machines, the line
// "  posting", `earlier` (what an earlier submission left unanswered) when
// given, and the factor lines indented, then an empty line.
std::string PostingLogText(const SubmissionLogEntry& entry, const std::string& earlier = {});

// The entry of its outcome: the same heading, lines that tell how it went
// and whether it was marked as old, then an empty line.
std::string SubmissionLogText(const SubmissionLogEntry& entry);

// "The submission of TIME has no answer on record; its factors may be on
// the site already." when the log at `path` ends in a "posting" entry
// without its outcome: the process that posted it ended before the answer.
// Nothing when the log ends otherwise, or is not there.
std::optional<std::string> UnansweredSubmission(const std::string& path);

// The record of every submission, since the site's is the only other one.
// Entries are appended, one write each, to a file that nothing rewrites.
class SubmissionLog {
 public:
  explicit SubmissionLog(std::string path) : path_(std::move(path)) {}

  // Appends the entry. Gives why it could not, but only for the first of a
  // run of failures, so that a log that cannot be written is reported once
  // and not with every submission.
  std::optional<Error> Append(const SubmissionLogEntry& entry);

  // Appends the entry's "posting" entry; a post must not go out untraced,
  // so every failure is reported.
  Status AppendPosting(const SubmissionLogEntry& entry, const std::string& earlier = {});

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool failing_ = false;
};

#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "location/Fetcher.h"
#include "model/Model.h"
#include "submit/Submission.h"

struct SubmitRequest {
  std::optional<size_t> machine;  // submit that machine's new factors alone
  bool mark = true;               // mark as old what the site verified
  bool markAnyway = false;        // ... or understood, verified or not
};

// Takes the settings file's submission turn (waiting for another
// submission to end), reads the settings again, refreshes the farm, narrows
// it to one machine when asked, and submits the new factors to the project
// site, saying what the site said on `out` and what went wrong on `err`.
// What was posted is marked as old only when the site verified all of it,
// unless `markAnyway`. Gives the exit code: 0 when there was nothing to
// submit or the site verified the post, 1 when the submission failed, the
// site verified less than was posted (and nothing was marked), or what was
// marked could not be saved.
int RunSubmit(Model& model, const Fetcher& fetcher, const SubmitRequest& request,
              const std::string& settingsPath, std::ostream& out, std::ostream& err);

// Tells on `err` what went wrong after the site's answer (the log, the
// settings file) and which marks the file kept as it had them; false when
// the settings file could not be saved.
bool ReportFinishProblems(const SubmissionFinish& finish, std::ostream& err);

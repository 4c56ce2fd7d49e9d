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
  bool mark = true;               // mark as old what the site understood
};

// Refreshes the farm, narrows it to one machine when asked, and submits
// the new factors to the project site, saying what the site said on `out`
// and what went wrong on `err`. Gives the exit code: 0 when there was
// nothing to submit or the site understood the post, 1 when the submission
// failed or what was marked could not be saved.
int RunSubmit(Model& model, const Fetcher& fetcher, const SubmitRequest& request,
              const std::string& settingsPath, std::ostream& out, std::ostream& err);

// Tells on `err` what went wrong after the site's answer (the log, the
// settings file); false when the settings file could not be saved.
bool ReportFinishProblems(const SubmissionFinish& finish, std::ostream& err);

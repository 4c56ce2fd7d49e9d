#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "submit/Submission.h"
#include "submit/SubmissionLog.h"

class FarmSession;

// The session's submission of the new factors on display, from the post
// through the site's answer to the marking, the log and the save. The
// session owns it and asks it; it tells the window through the session's
// signals, and its results wait for the session's edit lock as all do.
class SubmissionRun {
 public:
  SubmissionRun(FarmSession& session, const std::string& settingsPath);
  SubmissionRun(const SubmissionRun&) = delete;
  SubmissionRun& operator=(const SubmissionRun&) = delete;
  ~SubmissionRun();

  // As FarmSession::submit, once no edit lock holds it back.
  std::optional<SubmitMessage> start(bool manual);
  std::optional<SubmitMessage> outcomeMessage() const;
  void finish(bool agreed);
  void setLimits(FormPostLimits limits) { limits_ = limits; }

 private:
  struct Running;

  FarmSession& session_;
  std::unique_ptr<Running> running_;
  SubmissionLog log_;
  FormPostLimits limits_;
};

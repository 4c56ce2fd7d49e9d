#include "session/SubmissionRun.h"

#include <utility>

#include "session/FarmSession.h"

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

// A submission from its start to its end: what it posts and marks, and
// what came of it once the site has answered.
struct SubmissionRun::Running {
  SubmissionSnapshot snapshot;
  std::optional<SubmissionOutcome> outcome;
  // The settings file's submission turn, held until the marking is done.
  std::optional<FileLock> turn;
  // Whose factors were posted, for the question whether to mark them.
  QString scope;
};

SubmissionRun::SubmissionRun(FarmSession& session, const std::string& settingsPath)
    : session_(session), log_(SubmissionLogPath(settingsPath)) {}

SubmissionRun::~SubmissionRun() = default;

std::optional<SubmitMessage> SubmissionRun::start(bool manual) {
  SubmissionStart start = BeginSubmission(session_.model_, manual);
  if (!start.Snapshot) {
    emit session_.submissionEnded();
    return start.Message;
  }
  running_ =
      std::make_unique<Running>(Running{*start.Snapshot, {}, {}, session_.newFactorsScope()});
  emit session_.activityChanged();
  session_.runner_.run(
      [this, snapshot = std::make_shared<const SubmissionSnapshot>(*start.Snapshot),
       limits = limits_, path = session_.settingsPath_](const BackgroundRunner::Job& job) {
        auto taken = std::make_shared<TurnTaken>(
            SendWhenItsTurn(*snapshot, path, kWindowSubmissionTurnWait, job.stopToken(), limits));
        job.post([this, taken] {
          session_.deliver([this, taken] {
            running_->outcome = std::move(taken->Sent.Outcome);
            running_->turn = std::move(taken->Turn);
            if (taken->Sent.Unanswered) emit session_.problem(Text(*taken->Sent.Unanswered));
            // Nothing to say (an automatic submission's answer, or an error
            // that IgnoreErrors keeps quiet): it ends here, marking as old.
            if (!outcomeMessage())
              finish(true);
            else
              emit session_.submissionAnswered();
          });
        });
      });
  return std::nullopt;
}

std::optional<SubmitMessage> SubmissionRun::outcomeMessage() const {
  if (!running_ || !running_->outcome) return std::nullopt;
  std::optional<SubmitMessage> message = OutcomeMessage(running_->snapshot, *running_->outcome);
  // The question names what it is about.
  if (message && message->YesNo) message->Text += "\r\n\r\n" + running_->scope.toStdString();
  return message;
}

void SubmissionRun::finish(bool agreed) {
  if (!running_ || !running_->outcome) return;
  const std::unique_ptr<Running> ended = std::move(running_);
  const bool current = !session_.settingsChangedOnDisk();
  const SubmissionFinish finish = FinishSubmission(
      session_.model_, ended->snapshot, *ended->outcome, agreed, session_.settingsPath_, log_);
  if (finish.MarkedAsOld && finish.Saved) session_.marksWritten(current);
  emit session_.activityChanged();
  emit session_.factorsChanged();
  if (!finish.Saved)
    emit session_.problem("Cannot save the settings file " + Text(finish.Saved.error().message));
  if (finish.LogProblem)
    emit session_.problem("Cannot write the submission log " + Text(finish.LogProblem->message));
  for (const std::string& note : finish.Notes) emit session_.problem(Text(note));
  emit session_.submissionEnded();
}

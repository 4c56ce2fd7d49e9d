#include "submit/SubmissionExchange.h"

#include "submit/FormEncode.h"

namespace {

constexpr char kLoginFailed[] =
    "Couldn't log in. Check your username and password in the Options dialog or submit your "
    "factors manually.";

// The system's own reason is cut where a fixed buffer would cut it.
constexpr size_t kMaxReasonLength = 255;

std::string LoginBody(const SiteLogin& login) {
  return "-login=true&-username=" + FormEncode(login.Username) +
         "&-password=" + FormEncode(login.Password);
}

}  // namespace

bool AllVerified(const SiteCounts& counts, int32_t posted) {
  return counts.Verified == posted && counts.Total == posted;
}

std::string NotAllVerifiedText(const SiteCounts& counts) {
  return "The site verified " + std::to_string(counts.Verified) + " of " +
         std::to_string(counts.Total) + " factors; nothing was marked as old.";
}

SubmissionError NetworkFailure(const std::string& reason) {
  return {SubmissionFailure::Network, "The following error occurred:\r\n" +
                                          reason.substr(0, kMaxReasonLength) +
                                          "\r\n\r\nSubmit your factors manually instead."};
}

SubmissionExchange::SubmissionExchange(const SiteLogin& login, std::string_view factorsText)
    : username_(login.Username), factorsText_(factorsText), step_(Step::LoggingIn) {
  if (login.Login)
    body_ = LoginBody(login);
  else
    PostFactors();
}

std::optional<FormRequest> SubmissionExchange::NextForm() const {
  switch (step_) {
    case Step::LoggingIn:
      return FormRequest{kLoginFormPath, body_};
    case Step::PostingFactors:
      return FormRequest{kFactorFormPath, body_};
    case Step::Ended:
      break;
  }
  return std::nullopt;
}

void SubmissionExchange::Receive(const Result<std::string>& answer) {
  if (step_ == Step::Ended) return;
  if (!answer) return End(NetworkFailure(answer.error().message));
  if (step_ == Step::LoggingIn)
    ReadLoginAnswer(answer.value());
  else
    ReadFactorAnswer(answer.value());
}

void SubmissionExchange::PostFactors() {
  step_ = Step::PostingFactors;
  body_ = "factors=" + FormEncode(factorsText_);
}

void SubmissionExchange::ReadLoginAnswer(std::string_view page) {
  if (auto name = FindLoginName(page)) answer_.LoginName = std::move(*name);
  // Byte for byte: a name the site spells otherwise is not the user's.
  if (answer_.LoginName != username_)
    return End(SubmissionError{SubmissionFailure::Login, kLoginFailed});
  PostFactors();
}

void SubmissionExchange::ReadFactorAnswer(std::string_view page) {
  if (auto name = FindLoginName(page)) answer_.LoginName = std::move(*name);
  const Result<SiteCounts> counts = ReadSubmissionCounts(page);
  if (!counts) return End(SubmissionError{SubmissionFailure::Parse, counts.error().message});
  answer_.Counts = counts.value();
  End(std::move(answer_));
}

void SubmissionExchange::End(SubmissionOutcome outcome) {
  step_ = Step::Ended;
  body_.clear();
  outcome_ = std::move(outcome);
}

SubmissionOutcome ExchangeWithSite(const SiteLogin& login, std::string_view factorsText,
                                   FormPoster& poster) {
  SubmissionExchange exchange(login, factorsText);
  while (const std::optional<FormRequest> form = exchange.NextForm())
    exchange.Receive(poster.Post(form->Path, form->Body));
  return exchange.Outcome();
}

#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "location/FormPost.h"
#include "model/Result.h"
#include "submit/SitePages.h"

inline constexpr char kLoginFormPath[] = "/login/loginPost.mhtml";
inline constexpr char kFactorFormPath[] = "/sieve/sievePost.mhtml";

// Who to log in as, if at all, before the factors are posted.
struct SiteLogin {
  bool Login = true;
  std::string Username;
  std::string Password;
};

// What the site said of a submission it understood.
struct SiteAnswer {
  std::string LoginName = "not logged in";
  SiteCounts Counts;

  friend bool operator==(const SiteAnswer&, const SiteAnswer&) = default;
};

// Whether the site verified each of the `posted` factors: only then may
// they be marked as old without a person deciding it.
bool AllVerified(const SiteCounts& counts, int32_t posted);

// "The site verified V of T factors; nothing was marked as old."
std::string NotAllVerifiedText(const SiteCounts& counts);

// NotPosted: the factors did not go out at all.
enum class SubmissionFailure { Login, Parse, Network, NotPosted };

// Why a submission ended without an answer, in the words the user is shown.
struct SubmissionError {
  SubmissionFailure Kind = SubmissionFailure::Network;
  std::string Text;

  friend bool operator==(const SubmissionError&, const SubmissionError&) = default;
};

using SubmissionOutcome = std::variant<SiteAnswer, SubmissionError>;

// The failure of a submission that could not reach the site, for `reason`.
SubmissionError NetworkFailure(const std::string& reason);

// One form to post: its path on the site and its encoded body.
struct FormRequest {
  std::string_view Path;
  std::string_view Body;
};

// The exchange with the site as a state machine over its answers, without
// any I/O of its own: log in (when asked to), post the factors, read the
// answer. Whoever drives it posts NextForm and hands back what came, until
// there is no next form; then Outcome says how it went.
class SubmissionExchange {
 public:
  // `factorsText` must outlive the exchange.
  SubmissionExchange(const SiteLogin& login, std::string_view factorsText);

  // The form to post now; nothing once the exchange has ended.
  std::optional<FormRequest> NextForm() const;
  // The answer to the form NextForm gave, or why there was none.
  void Receive(const Result<std::string>& answer);

  // How the exchange ended; only meaningful once NextForm gives nothing.
  const SubmissionOutcome& Outcome() const { return outcome_; }

 private:
  enum class Step { LoggingIn, PostingFactors, Ended };

  void PostFactors();
  void ReadLoginAnswer(std::string_view page);
  void ReadFactorAnswer(std::string_view page);
  void End(SubmissionOutcome outcome);

  std::string username_;
  std::string_view factorsText_;
  Step step_;
  std::string body_;
  SiteAnswer answer_;
  SubmissionOutcome outcome_;
};

// Runs the whole exchange through `poster`.
SubmissionOutcome ExchangeWithSite(const SiteLogin& login, std::string_view factorsText,
                                   FormPoster& poster);

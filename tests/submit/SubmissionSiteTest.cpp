#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "StandInSite.h"
#include "location/FormPost.h"
#include "submit/FormEncode.h"
#include "submit/SubmissionExchange.h"
#include "support/HttpTestServer.h"

namespace {

using namespace std::chrono_literals;
using Fault = StandInSite::Fault;

// Two factors the site verifies and a line it does not.
constexpr char kFactors[] = "1000000007 | 5*2^12+1\r\n1500000001 | 7*2^9+1\r\n3 | junk\r\n";
constexpr char kPassword[] = "p&w =1";

FormPostLimits ShortLimits() { return {.connectTimeout = 1000ms, .stallTimeout = 300ms}; }

std::string SiteUrl(const StandInSite& site) { return "http://" + site.Address(); }

// The outcome as text, so that a failed comparison shows what came.
std::string Describe(const SubmissionOutcome& outcome) {
  if (const auto* error = std::get_if<SubmissionError>(&outcome))
    return "error " + std::to_string(static_cast<int>(error->Kind)) + ": " + error->Text;
  const auto& answer = std::get<SiteAnswer>(outcome);
  return "logged in as [" + answer.LoginName + "], " + std::to_string(answer.Counts.Verified) +
         " of " + std::to_string(answer.Counts.Total) + ", " + std::to_string(answer.Counts.New) +
         " new";
}

SubmissionError NetworkErrorOf(const SubmissionOutcome& outcome) {
  const auto* error = std::get_if<SubmissionError>(&outcome);
  if (!error || error->Kind != SubmissionFailure::Network) {
    ADD_FAILURE() << "not a network failure: " << Describe(outcome);
    return {};
  }
  return *error;
}

constexpr char kLoginFailed[] =
    "Couldn't log in. Check your username and password in the Options dialog or submit your "
    "factors manually.";
constexpr char kUnparsable[] =
    "Couldn't parse submission page. Submit factors manually to make sure they're ok.";

TEST(SubmissionAgainstTheSite, LogsInPostsAndReadsTheAnswer) {
  struct Case {
    std::string name;
    SiteLogin login;
    Fault fault;
    SubmissionOutcome outcome;
    int factorPosts;
  };
  const SiteAnswer bobsAnswer{"bob", {2, 3, 2}};
  const std::array cases{
      Case{"login ok", {true, "bob", kPassword}, Fault::None, bobsAnswer, 1},
      Case{"wrong password",
           {true, "bob", "p&w =2"},
           Fault::None,
           SubmissionError{SubmissionFailure::Login, kLoginFailed},
           0},
      Case{"login off",
           {false, "bob", kPassword},
           Fault::None,
           SiteAnswer{"not logged in", {2, 3, 2}},
           1},
      Case{"name in another case",
           {true, "Bob", kPassword},
           Fault::None,
           SubmissionError{SubmissionFailure::Login, kLoginFailed},
           0},
      Case{"empty name", {true, "", "anonymous"}, Fault::None, SiteAnswer{"", {2, 3, 2}}, 1},
      Case{"unparsable answer",
           {true, "bob", kPassword},
           Fault::Unparsable,
           SubmissionError{SubmissionFailure::Parse, kUnparsable},
           1},
      Case{"status 500 with the usual page",
           {true, "bob", kPassword},
           Fault::Status500,
           bobsAnswer,
           1},
  };
  for (const auto& [name, login, fault, outcome, factorPosts] : cases) {
    SCOPED_TRACE(name);
    StandInSite site;
    site.AddUser("bob", kPassword);
    site.AddUser("", "anonymous");
    site.SetFault(fault);
    CurlFormPoster poster(SiteUrl(site), ShortLimits());
    EXPECT_EQ(Describe(ExchangeWithSite(login, kFactors, poster)), Describe(outcome));
    EXPECT_EQ(site.PostCount(kLoginFormPath), login.Login ? 1 : 0);
    EXPECT_EQ(site.PostCount(kFactorFormPath), factorPosts);
  }
}

TEST(SubmissionAgainstTheSite, PostsTheFormsWithTheLoginCookie) {
  StandInSite site;
  site.AddUser("bob", kPassword);
  CurlFormPoster poster(SiteUrl(site), ShortLimits());
  ExchangeWithSite({true, "bob", kPassword}, kFactors, poster);

  const std::optional<StandInSite::Post> login = site.LastPost(kLoginFormPath);
  ASSERT_TRUE(login);
  EXPECT_EQ(login->version, "HTTP/1.0");
  EXPECT_EQ(login->contentType, "application/x-www-form-urlencoded");
  EXPECT_EQ(login->body, "-login=true&-username=bob&-password=p%26w+%3d1");
  EXPECT_EQ(login->cookie, "");

  const std::optional<StandInSite::Post> factors = site.LastPost(kFactorFormPath);
  ASSERT_TRUE(factors);
  EXPECT_EQ(factors->version, "HTTP/1.0");
  EXPECT_EQ(factors->contentType, "application/x-www-form-urlencoded");
  EXPECT_EQ(factors->body,
            "factors=1000000007+%7c+5%2a2%5e12%2b1%0d%0a1500000001+%7c+7%2a2%5e9%2b1%0d%0a3+%7c+"
            "junk%0d%0a");
  EXPECT_TRUE(factors->cookie.starts_with("QVSESSION=")) << factors->cookie;
}

TEST(SubmissionAgainstTheSite, FactorsPostedBeforeAreNotNew) {
  StandInSite site;
  const SiteLogin anonymous{false, "", ""};
  CurlFormPoster first(SiteUrl(site), ShortLimits());
  ExchangeWithSite(anonymous, "1000000007 | 5*2^12+1\r\n", first);
  CurlFormPoster second(SiteUrl(site), ShortLimits());
  EXPECT_EQ(Describe(ExchangeWithSite(anonymous, kFactors, second)),
            Describe(SiteAnswer{"not logged in", {2, 3, 1}}));
}

// Far beyond what a form parser or a socket buffer takes in one piece.
TEST(SubmissionAgainstTheSite, AllFactorsGoInOnePost) {
  std::string factors;
  for (int i = 0; i < 20'000; ++i)
    factors += std::to_string(1'000'000'007 + 2 * i) + " | " + std::to_string(i) + "*2^9+1\r\n";
  StandInSite site;
  site.AddUser("bob", kPassword);
  // The site reads 20,000 lines before it answers: under a sanitizer on a
  // busy machine that takes longer than the short stall limit.
  CurlFormPoster poster(SiteUrl(site), {.connectTimeout = 1000ms, .stallTimeout = 10s});
  EXPECT_EQ(Describe(ExchangeWithSite({true, "bob", kPassword}, factors, poster)),
            Describe(SiteAnswer{"bob", {20'000, 20'000, 20'000}}));
  EXPECT_EQ(site.PostCount(kFactorFormPath), 1);
}

TEST(SubmissionAgainstTheSite, RefusedConnectionIsANetworkFailure) {
  CurlFormPoster poster("http://127.0.0.1:" + std::to_string(UnusedPort()), ShortLimits());
  const SubmissionError error =
      NetworkErrorOf(ExchangeWithSite({true, "bob", kPassword}, kFactors, poster));
  EXPECT_TRUE(error.Text.starts_with("The following error occurred:\r\n")) << error.Text;
  EXPECT_TRUE(error.Text.ends_with("\r\n\r\nSubmit your factors manually instead.")) << error.Text;
  EXPECT_NE(error.Text.find("127.0.0.1"), std::string::npos) << error.Text;
}

TEST(SubmissionAgainstTheSite, StalledAnswerTimesOut) {
  StandInSite site;
  site.SetFault(Fault::Stall);
  CurlFormPoster poster(SiteUrl(site), ShortLimits());
  const auto start = std::chrono::steady_clock::now();
  const SubmissionError error = NetworkErrorOf(ExchangeWithSite({false, "", ""}, kFactors, poster));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_NE(error.Text.find("timed out: nothing came for 300 ms"), std::string::npos) << error.Text;
}

// What the site may answer to the factor post, and what the submission
// makes of it: counts only as two whole numbers with no more verified than
// sent, and an answer that is huge, trickles or never ends cut off with a
// plain reason, soon.
TEST(SubmissionAgainstTheSite, AnswersTheSiteShouldNotGiveAreRefused) {
  struct Case {
    std::string name;
    Fault fault;
    std::string counts;  // the stand-in's counts text; empty: what it counted
    std::string outcome;  // Describe's, from its start
  };
  const std::string parse = "error " + std::to_string(static_cast<int>(SubmissionFailure::Parse));
  const std::string network =
      "error " + std::to_string(static_cast<int>(SubmissionFailure::Network)) +
      ": The following error occurred:\r\n";
  const std::array cases{
      Case{"counted", Fault::None, "", "logged in as [not logged in], 2 of 3, 2 new"},
      Case{"none verified", Fault::None, "0 of 60", "logged in as [not logged in], 0 of 60, 2 new"},
      Case{"more verified than sent", Fault::None, "61 of 60",
           parse + ": Couldn't trust the submission page: \"61 of 60 verified in\" is an answer "
                   "the site should not give. Submit factors manually to make sure they're ok."},
      Case{"beyond any count", Fault::None, "99999999999999999999 of -5",
           parse + ": Couldn't trust the submission page: \"99999999999999999999 of -5"},
      Case{"garbage", Fault::None, "lots", parse + ": Couldn't trust the submission page: "},
      Case{"unparsable", Fault::Unparsable, "", parse + ": " + kUnparsable},
      Case{"huge", Fault::Huge, "",
           network + "the site's answer is larger than 1048576 bytes\r\n"},
      Case{"trickling", Fault::Trickle, "",
           network + "Operation too slow. Less than 100 bytes/sec transferred the last 1 seconds"},
      Case{"endless", Fault::Endless, "",
           network + "Operation timed out: the site had not answered after 3 seconds\r\n"},
  };
  FormPostLimits limits = ShortLimits();
  limits.stallTimeout = 10s;  // a busy machine takes a while to make a huge answer
  limits.lowSpeedTime = 1s;
  limits.maxAnswerBytes = size_t{1} << 20;
  for (const auto& [name, fault, counts, outcome] : cases) {
    SCOPED_TRACE(name);
    // Only the endless answer meets the deadline: the others end before it.
    limits.deadline = fault == Fault::Endless ? 3s : 15s;
    StandInSite site;
    site.SetFault(fault);
    site.SetCountsText(counts);
    CurlFormPoster poster(SiteUrl(site), limits);
    const auto start = std::chrono::steady_clock::now();
    const std::string described = Describe(ExchangeWithSite({false, "", ""}, kFactors, poster));
    EXPECT_TRUE(described.starts_with(outcome)) << described;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
  }
}

TEST(SubmissionAgainstTheSite, StopCancelsATransferInFlight) {
  StandInSite site;
  site.SetFault(Fault::Stall);
  std::stop_source stop;
  CurlFormPoster poster(SiteUrl(site), {}, stop.get_token());
  const auto start = std::chrono::steady_clock::now();
  std::jthread stopper([&] {
    // Stopped in any case by the deadline: a post that never came is told
    // by the count below, not by a test that hangs.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (site.PostCount(kFactorFormPath) == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(10ms);
    stop.request_stop();
  });
  const SubmissionError error = NetworkErrorOf(ExchangeWithSite({false, "", ""}, kFactors, poster));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_NE(error.Text.find("cancelled"), std::string::npos) << error.Text;
  // Once stopped, nothing more is sent.
  EXPECT_FALSE(poster.Post(kFactorFormPath, "factors=1").ok());
  EXPECT_EQ(site.PostCount(kFactorFormPath), 1);
}

// Answers from a script and keeps what was posted.
class ScriptedPoster : public FormPoster {
 public:
  std::vector<Result<std::string>> answers;
  std::vector<std::string> posted;

  Result<std::string> Post(std::string_view path, std::string_view) override {
    posted.emplace_back(path);
    if (answers.empty()) return Error{"nothing scripted"};
    Result<std::string> answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  }
};

TEST(SubmissionExchange, ANetworkFailureEndsItWithTheReasonCut) {
  ScriptedPoster poster;
  poster.answers.push_back(Error{std::string(300, 'x')});
  const SubmissionError error =
      NetworkErrorOf(ExchangeWithSite({true, "bob", ""}, kFactors, poster));
  EXPECT_EQ(error.Text, "The following error occurred:\r\n" + std::string(255, 'x') +
                            "\r\n\r\nSubmit your factors manually instead.");
  EXPECT_EQ(poster.posted, std::vector<std::string>{kLoginFormPath});
}

TEST(SubmissionExchange, TheFactorAnswerNamesWhoWasLoggedIn) {
  ScriptedPoster poster;
  poster.answers.push_back(std::string("<p>logged in as <b>bob</b></p>"));
  poster.answers.push_back(
      std::string("<p>logged in as <b>carol</b></p><p>1 of 1 verified in</p>"));
  EXPECT_EQ(Describe(ExchangeWithSite({true, "bob", ""}, kFactors, poster)),
            Describe(SiteAnswer{"carol", {1, 1, 0}}));
  EXPECT_EQ(poster.posted, (std::vector<std::string>{kLoginFormPath, kFactorFormPath}));
}

}  // namespace

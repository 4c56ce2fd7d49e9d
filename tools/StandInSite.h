#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

// A stand-in for the project's web site, for trying submissions without
// the real one: it answers the login form and the factor form on
// 127.0.0.1 the way the program expects the site to.
//
// A good login sets a session cookie and shows "logged in as <b>NAME</b>"
// with the name as registered (names match in any case, passwords
// exactly). The factor form's lines are checked for the form
// "p | k*2^n+1" with 1 < p < 2^64; the answer tells how many were verified
// and how many of those it had not seen before, and whom the session
// cookie is logged in as. A fault makes it misbehave on purpose.
class StandInSite {
 public:
  enum class Fault {
    None,
    Status500,   // every answer has status 500, but the usual page
    Unparsable,  // the factor form's answer lacks the counts
    Stall,       // nothing is ever answered
    Huge,        // the factor form's answer is the usual page after 20 MiB of padding
    Trickle,     // ... comes a byte every 100 ms, and never ends
    Endless,     // ... comes a KiB every 10 ms, and never ends
    Slow,        // ... comes whole, 200 ms after the post was taken in
  };

  // What one post brought.
  struct Post {
    std::string version;  // "HTTP/1.0"
    std::string contentType;
    std::string cookie;
    std::string body;  // as sent, still encoded
  };

  // Listens on 127.0.0.1 at `port` (0: one that is free) and answers on its
  // own threads until destroyed. Throws std::runtime_error when it cannot.
  explicit StandInSite(int port = 0);
  StandInSite(const StandInSite&) = delete;
  StandInSite& operator=(const StandInSite&) = delete;
  ~StandInSite();

  void AddUser(std::string name, std::string password);
  void SetFault(Fault fault);
  // The factor form's answer says "TEXT verified in 0.01 seconds" in place
  // of the counts it found; empty: the counts found.
  void SetCountsText(std::string text);

  int Port() const;
  // "127.0.0.1:PORT", as the environment names a site to submit to.
  std::string Address() const;

  // How many posts came in for `path`, answered or not, and the last one.
  int PostCount(const std::string& path) const;
  std::optional<Post> LastPost(const std::string& path) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// "none", "500", "unparsable", "stall", "huge", "trickle", "endless" or
// "slow"; nothing for any other text.
std::optional<StandInSite::Fault> FaultNamed(std::string_view name);

// True for a factor line the site accepts: "p | k*2^n+1", blanks allowed
// around the bar and at the end, with 1 < p < 2^64.
bool IsAcceptedFactorLine(std::string_view line);

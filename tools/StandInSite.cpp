#include "StandInSite.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>
#include <unordered_set>

#include "ServeInBackground.h"
#include "model/Lines.h"
#include "model/Numbers.h"
#include "submit/SubmissionExchange.h"

namespace {

constexpr char kSessionCookie[] = "QVSESSION";
constexpr size_t kWorkers = 16;  // stalled answers hold theirs until the site stops

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

std::string Page(std::string_view paragraphs) {
  return "<html><head><title>QV sieve</title></head><body>\n" + std::string(paragraphs) +
         "</body></html>\n";
}

std::string LoggedInAs(const std::string& name) {
  return "<p>You are logged in as <b>" + name + "</b></p>\n";
}

bool SkipDigits(std::string_view& text) {
  const auto digits = std::find_if_not(text.begin(), text.end(), IsDigit) - text.begin();
  text.remove_prefix(static_cast<size_t>(digits));
  return digits > 0;
}

void SkipBlanks(std::string_view& text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
}

bool SkipText(std::string_view& text, std::string_view expected) {
  if (!text.starts_with(expected)) return false;
  text.remove_prefix(expected.size());
  return true;
}

std::string NewSessionToken() {
  std::random_device random;
  std::string token;
  for (int i = 0; i < 4; ++i) token += std::to_string(random());
  return token;
}

// The session cookie's value among the request's cookies.
std::string SessionOf(const httplib::Request& request) {
  const std::string cookies = request.get_header_value("Cookie");
  const std::string key = std::string(kSessionCookie) + "=";
  const size_t start = cookies.find(key);
  if (start == std::string::npos) return {};
  const size_t value = start + key.size();
  return cookies.substr(value, cookies.find(';', value) - value);
}

// A posted form, read whole. httplib parses form bodies by itself only up
// to 8 KB and refuses longer ones; a factor post carries megabytes, so the
// site reads the body and hands it to httplib's parser.
struct Form {
  std::string body;
  httplib::Params fields;

  explicit Form(const httplib::ContentReader& read) {
    read([this](const char* data, size_t length) {
      body.append(data, length);
      return true;
    });
    httplib::detail::parse_query_text(body, fields);
  }

  std::string Field(const std::string& name) const {
    const auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
  }
};

struct Account {
  std::string name;  // as registered
  std::string password;
};

}  // namespace

std::optional<StandInSite::Fault> FaultNamed(std::string_view name) {
  using Fault = StandInSite::Fault;
  static const std::map<std::string_view, Fault> kFaults = {{"none", Fault::None},
                                                            {"500", Fault::Status500},
                                                            {"unparsable", Fault::Unparsable},
                                                            {"stall", Fault::Stall},
                                                            {"huge", Fault::Huge},
                                                            {"trickle", Fault::Trickle},
                                                            {"endless", Fault::Endless},
                                                            {"slow", Fault::Slow}};
  const auto found = kFaults.find(name);
  if (found == kFaults.end()) return std::nullopt;
  return found->second;
}

bool IsAcceptedFactorLine(std::string_view line) {
  if (line.empty() || !IsDigit(line.front())) return false;
  std::string_view rest;
  const auto p = ReadLeadingNumber(line, &rest);
  if (!p || *p < 2) return false;
  SkipBlanks(rest);
  if (!SkipText(rest, "|")) return false;
  SkipBlanks(rest);
  if (!SkipDigits(rest) || !SkipText(rest, "*2^") || !SkipDigits(rest) || !SkipText(rest, "+1"))
    return false;
  SkipBlanks(rest);
  return rest.empty();
}

struct StandInSite::State {
  httplib::Server server;
  std::thread thread;
  int port = 0;

  mutable std::mutex mutex;
  std::condition_variable stopping;
  bool stopped = false;
  Fault fault = Fault::None;
  std::string countsText;
  std::map<std::string, Account> accounts;      // by lower-case name
  std::map<std::string, std::string> sessions;  // token -> name
  std::unordered_set<std::string> seenLines;
  std::map<std::string, int> postCounts;
  std::map<std::string, Post> lastPosts;

  // Records the post and sets the answer's status; a stalled answer
  // returns only when the site stops. Gives the fault to answer with.
  Fault Receive(const httplib::Request& request, const Form& form, httplib::Response& response) {
    std::unique_lock lock(mutex);
    ++postCounts[request.path];
    lastPosts[request.path] = {request.version, request.get_header_value("Content-Type"),
                               request.get_header_value("Cookie"), form.body};
    const Fault now = fault;
    if (now == Fault::Stall) stopping.wait(lock, [this] { return stopped; });
    response.status = now == Fault::Status500 ? 500 : 200;
    return now;
  }

  std::string LoginPage(const Form& form, httplib::Response& response) {
    const std::string name = form.Field("-username");
    std::lock_guard lock(mutex);
    const auto account = accounts.find(Lower(name));
    if (account == accounts.end() || account->second.password != form.Field("-password"))
      return Page("<p>Wrong user name or password.</p>\n");
    const std::string token = NewSessionToken();
    sessions[token] = account->second.name;
    response.set_header("Set-Cookie", std::string(kSessionCookie) + "=" + token + "; Path=/");
    return Page(LoggedInAs(account->second.name));
  }

  std::string FactorPage(const httplib::Request& request, const Form& form, Fault now) {
    std::string paragraphs;
    std::lock_guard lock(mutex);
    if (const auto session = sessions.find(SessionOf(request)); session != sessions.end())
      paragraphs += LoggedInAs(session->second);
    if (now == Fault::Unparsable)
      return Page(paragraphs + "<p>The factor database is busy. Please try again later.</p>\n");
    int total = 0, verified = 0, fresh = 0;
    ForEachLine(form.Field("factors"), [&](std::string_view line) {
      if (line.empty()) return;
      ++total;
      if (!IsAcceptedFactorLine(line)) return;
      ++verified;
      if (seenLines.emplace(line).second) ++fresh;
    });
    const std::string counts = countsText.empty()
                                   ? std::to_string(verified) + " of " + std::to_string(total)
                                   : countsText;
    return Page(paragraphs + "<p>" + counts + " verified in 0.01 seconds</p><p>" +
                std::to_string(fresh) + " of the results were new</p>\n");
  }

  // Sends `piece` every `every` until the site stops.
  void SendWithoutEnd(httplib::Response& response, std::string piece,
                      std::chrono::milliseconds every) {
    response.set_chunked_content_provider(
        "text/html", [this, piece, every](size_t, httplib::DataSink& sink) {
          if (!sink.write(piece.data(), piece.size())) return false;
          std::unique_lock lock(mutex);
          return !stopping.wait_for(lock, every, [this] { return stopped; });
        });
  }

  // The factor page as the fault has it sent.
  void Answer(httplib::Response& response, const std::string& page, Fault now) {
    using namespace std::chrono_literals;
    if (now == Fault::Huge)
      response.set_content(std::string(size_t{20} << 20, ' ') + page, "text/html");
    else if (now == Fault::Trickle)
      SendWithoutEnd(response, " ", 100ms);
    else if (now == Fault::Endless)
      SendWithoutEnd(response, std::string(1024, ' '), 10ms);
    else
      response.set_content(page, "text/html");
    if (now == Fault::Slow) {
      std::unique_lock lock(mutex);
      stopping.wait_for(lock, 200ms, [this] { return stopped; });
    }
  }
};

StandInSite::StandInSite(int port) : state_(std::make_unique<State>()) {
  State& state = *state_;
  httplib::Server& server = state.server;
  server.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
  server.Post(kLoginFormPath, [&state](const httplib::Request& request, httplib::Response& response,
                                       const httplib::ContentReader& read) {
    const Form form(read);
    if (state.Receive(request, form, response) == Fault::Stall) return;
    response.set_content(state.LoginPage(form, response), "text/html");
  });
  server.Post(kFactorFormPath,
              [&state](const httplib::Request& request, httplib::Response& response,
                       const httplib::ContentReader& read) {
                const Form form(read);
                const Fault now = state.Receive(request, form, response);
                if (now == Fault::Stall) return;
                state.Answer(response, state.FactorPage(request, form, now), now);
              });
  state.port = port == 0 ? server.bind_to_any_port("127.0.0.1")
                         : (server.bind_to_port("127.0.0.1", port) ? port : -1);
  if (state.port < 0)
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
  state.thread = ServeInBackground(server);
}

StandInSite::~StandInSite() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopped = true;
  }
  state_->stopping.notify_all();
  state_->server.stop();
  state_->thread.join();
}

void StandInSite::AddUser(std::string name, std::string password) {
  std::lock_guard lock(state_->mutex);
  const std::string key = Lower(name);
  state_->accounts[key] = {std::move(name), std::move(password)};
}

void StandInSite::SetFault(Fault fault) {
  std::lock_guard lock(state_->mutex);
  state_->fault = fault;
}

void StandInSite::SetCountsText(std::string text) {
  std::lock_guard lock(state_->mutex);
  state_->countsText = std::move(text);
}

int StandInSite::Port() const { return state_->port; }

std::string StandInSite::Address() const { return "127.0.0.1:" + std::to_string(state_->port); }

int StandInSite::PostCount(const std::string& path) const {
  std::lock_guard lock(state_->mutex);
  const auto found = state_->postCounts.find(path);
  return found == state_->postCounts.end() ? 0 : found->second;
}

std::optional<StandInSite::Post> StandInSite::LastPost(const std::string& path) const {
  std::lock_guard lock(state_->mutex);
  const auto found = state_->lastPosts.find(path);
  if (found == state_->lastPosts.end()) return std::nullopt;
  return found->second;
}

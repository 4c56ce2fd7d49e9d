#include "support/HttpTestServer.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ServeInBackground.h"

namespace {

// httplib listens with a backlog of 5: in a burst of connections the rest
// lose their first packet and only retry a second later, beyond a short
// connect timeout. Listening again on the bound socket raises the backlog.
class Server : public httplib::Server {
 public:
  void raiseBacklog() { ::listen(svr_sock_, SOMAXCONN); }
};

// Requests to the servers here must not go to a proxy that the environment
// names for real traffic. Done before main, while no thread reads the
// environment.
[[maybe_unused]] const bool kLoopbackBypassesProxy = [] {
  const char* list = std::getenv("no_proxy");
  if (!list) list = std::getenv("NO_PROXY");
  const std::string ours = "127.0.0.1,localhost";
  const std::string bypass = list ? std::string(list) + "," + ours : ours;
  return ::setenv("no_proxy", bypass.c_str(), 1) == 0;
}();

// Members without an initialiser here would make a designated initialiser
// that leaves them out a warning.
struct Answer {
  int status = 200;
  std::string body{};
  std::string contentType = "text/plain";
  std::string location{};      // set for a redirect
  std::string lastModified{};  // the Last-Modified header, when set
  std::vector<std::pair<std::string, std::string>> headers{};
  // For a body sent in pieces: the bytes of each, the wait before every one
  // after the first, and where the connection is closed.
  size_t chunkBytes = 0;
  std::chrono::milliseconds interval{0};
  size_t breakOffAfter = std::string::npos;
  std::optional<std::chrono::milliseconds> delay{};  // instead of the server's
};

// Sends an answer's body piece by piece. Returning false makes httplib
// close the connection, as it does when the client has gone.
bool SendPiece(const Answer& answer, size_t offset, httplib::DataSink& sink,
               const std::atomic<bool>& stopping) {
  if (offset > 0) std::this_thread::sleep_for(answer.interval);
  if (stopping || offset >= answer.breakOffAfter) return false;
  const size_t end =
      std::min({answer.body.size(), offset + answer.chunkBytes, answer.breakOffAfter});
  return sink.write(answer.body.data() + offset, end - offset);
}

struct Visits {
  int count = 0;
  httplib::Headers lastHeaders;
};

std::string LoopbackUrl(int port, std::string_view path) {
  return "http://127.0.0.1:" + std::to_string(port) + std::string(path);
}

// A TCP socket bound to 127.0.0.1 at a port the system picked.
int BoundLoopbackSocket() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    throw std::runtime_error("bind to 127.0.0.1 failed");
  }
  return fd;
}

// Waits until `fd` can be read, looking now and then whether the server
// stops; false when it does.
bool WaitReadable(int fd, const std::atomic<bool>& stopping) {
  pollfd wanted{.fd = fd, .events = POLLIN, .revents = 0};
  while (!stopping) {
    if (::poll(&wanted, 1, 20) > 0) return true;
  }
  return false;
}

// The head of the next request on `connection`, taken out of `pending`
// with what else came in; nothing once the client has closed it.
std::optional<std::string> NextRequest(int connection, std::string& pending,
                                       const std::atomic<bool>& stopping) {
  size_t end;
  while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
    if (!WaitReadable(connection, stopping)) return std::nullopt;
    char buffer[4096];
    const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
    if (got <= 0) return std::nullopt;
    pending.append(buffer, static_cast<size_t>(got));
  }
  std::string head = pending.substr(0, end);
  pending.erase(0, end + 4);
  return head;
}

// "/fact.txt" of "GET /fact.txt?x=1 HTTP/1.1".
std::string RequestPath(const std::string& head) {
  const size_t start = head.find(' ') + 1;
  return head.substr(start, head.find_first_of(" ?", start) - start);
}

bool SendAll(int connection, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

int PortOf(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

}  // namespace

struct HttpTestServer::State {
  Server server;
  std::thread thread;
  int port = 0;
  std::atomic<std::chrono::milliseconds> delay{std::chrono::milliseconds(0)};
  std::atomic<bool> stopping{false};
  mutable std::mutex mutex;
  std::map<std::string, Answer> answers;
  std::map<std::string, Visits> visits;
  int answering = 0;
  int mostAnswering = 0;

  // What came in for `path`; nothing yet when there is no entry.
  Visits visitsOf(const std::string& path) const {
    std::lock_guard lock(mutex);
    const auto found = visits.find(path);
    return found == visits.end() ? Visits{} : found->second;
  }

  Answer record(const httplib::Request& request) {
    std::lock_guard lock(mutex);
    Visits& visit = visits[request.path];
    ++visit.count;
    visit.lastHeaders = request.headers;
    const auto found = answers.find(request.path);
    return found == answers.end() ? Answer{.status = 404} : found->second;
  }

  // Counts the answers under way meanwhile.
  void waitTheDelay(std::chrono::milliseconds wait) {
    {
      std::lock_guard lock(mutex);
      mostAnswering = std::max(mostAnswering, ++answering);
    }
    std::this_thread::sleep_for(wait);
    std::lock_guard lock(mutex);
    --answering;
  }

  void handle(const httplib::Request& request, httplib::Response& response) {
    const Answer answer = record(request);
    waitTheDelay(answer.delay.value_or(delay.load()));
    response.status = answer.status;
    if (!answer.location.empty()) response.set_header("Location", answer.location);
    if (!answer.lastModified.empty()) response.set_header("Last-Modified", answer.lastModified);
    for (const auto& [name, value] : answer.headers) response.set_header(name, value);
    if (answer.chunkBytes == 0) {
      response.set_content(answer.body, answer.contentType);
      return;
    }
    response.set_content_provider(answer.body.size(), answer.contentType,
                                  [this, answer](size_t offset, size_t, httplib::DataSink& sink) {
                                    return SendPiece(answer, offset, sink, stopping);
                                  });
  }
};

HttpTestServer::HttpTestServer(size_t workers) : state_(std::make_unique<State>()) {
  Server& server = state_->server;
  server.new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
  server.Get(".*",
             [state = state_.get()](const httplib::Request& request, httplib::Response& response) {
               state->handle(request, response);
             });
  state_->port = server.bind_to_any_port("127.0.0.1");
  if (state_->port < 0) throw std::runtime_error("HttpTestServer cannot bind to 127.0.0.1");
  server.raiseBacklog();
  state_->thread = ServeInBackground(server);
  // It runs before its workers are all there, which under a sanitizer
  // takes long enough for a test's first request to time out: an answer
  // shows they are.
  httplib::Client client("127.0.0.1", state_->port);
  client.set_read_timeout(std::chrono::seconds(30));
  client.Get("/.ready");
}

HttpTestServer::~HttpTestServer() {
  state_->stopping = true;
  state_->server.stop();
  state_->thread.join();
}

void HttpTestServer::serve(const std::string& path, std::string body, int status,
                           std::string contentType) {
  std::lock_guard lock(state_->mutex);
  state_->answers[path] =
      Answer{.status = status, .body = std::move(body), .contentType = std::move(contentType)};
}

void HttpTestServer::setLastModified(const std::string& path, std::string httpDate) {
  std::lock_guard lock(state_->mutex);
  state_->answers[path].lastModified = std::move(httpDate);
}

void HttpTestServer::addHeader(const std::string& path, std::string name, std::string value) {
  std::lock_guard lock(state_->mutex);
  state_->answers[path].headers.emplace_back(std::move(name), std::move(value));
}

void HttpTestServer::redirect(const std::string& from, std::string to, int status) {
  std::lock_guard lock(state_->mutex);
  state_->answers[from] = Answer{.status = status, .location = std::move(to)};
}

void HttpTestServer::serveTrickle(const std::string& path, std::string body, size_t chunkBytes,
                                  std::chrono::milliseconds interval) {
  std::lock_guard lock(state_->mutex);
  // Sent as bytes, so that no compression holds the pieces back.
  state_->answers[path] = Answer{.body = std::move(body),
                                 .contentType = "application/octet-stream",
                                 .chunkBytes = std::max<size_t>(chunkBytes, 1),
                                 .interval = interval};
}

void HttpTestServer::serveBrokenOff(const std::string& path, std::string body, size_t sentBytes) {
  std::lock_guard lock(state_->mutex);
  const size_t size = body.size();
  state_->answers[path] = Answer{.body = std::move(body),
                                 .contentType = "application/octet-stream",
                                 .chunkBytes = std::max<size_t>(size, 1),
                                 .breakOffAfter = sentBytes};
}

void HttpTestServer::setDelay(std::chrono::milliseconds delay) { state_->delay = delay; }

void HttpTestServer::delayAnswer(const std::string& path, std::chrono::milliseconds delay) {
  std::lock_guard lock(state_->mutex);
  state_->answers[path].delay = delay;
}

int HttpTestServer::port() const { return state_->port; }

std::string HttpTestServer::url(std::string_view path) const {
  return LoopbackUrl(state_->port, path);
}

int HttpTestServer::requestCount(const std::string& path) const {
  return state_->visitsOf(path).count;
}

int HttpTestServer::mostAtOnce() const {
  std::lock_guard lock(state_->mutex);
  return state_->mostAnswering;
}

std::string HttpTestServer::lastHeader(const std::string& path, const std::string& name) const {
  const httplib::Headers headers = state_->visitsOf(path).lastHeaders;
  const auto found = headers.find(name);
  return found == headers.end() ? std::string() : found->second;
}

SilentServer::SilentServer() : socket_(BoundLoopbackSocket()), port_(PortOf(socket_)) {
  // Connections wait in the backlog, established but never accepted.
  if (::listen(socket_, SOMAXCONN) != 0) {
    ::close(socket_);
    throw std::runtime_error("SilentServer cannot listen");
  }
}

SilentServer::~SilentServer() { ::close(socket_); }

std::string SilentServer::url(std::string_view path) const { return LoopbackUrl(port_, path); }

DroppingServer::DroppingServer() : socket_(BoundLoopbackSocket()), port_(PortOf(socket_)) {
  // A backlog of 0 holds one connection; the system drops the SYN of every
  // later one while it waits.
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port_));
  occupant_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (::listen(socket_, 0) != 0 || occupant_ < 0 ||
      ::connect(occupant_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (occupant_ >= 0) ::close(occupant_);
    ::close(socket_);
    throw std::runtime_error("DroppingServer cannot fill its backlog");
  }
}

DroppingServer::~DroppingServer() {
  ::close(occupant_);
  ::close(socket_);
}

std::string DroppingServer::url(std::string_view path) const { return LoopbackUrl(port_, path); }

struct BusyServer::State {
  int socket = -1;
  int port = 0;
  std::chrono::milliseconds answerTime{0};
  bool keepAlive = false;
  std::atomic<bool> stopping{false};
  mutable std::mutex mutex;
  std::map<std::string, std::string> bodies;
  int accepted = 0;
  int answering = 0;
  int mostAnswering = 0;
  std::vector<std::thread> connections;  // only the accepting thread adds to it
  std::thread accepting;

  void acceptAll() {
    // What handing a connection on costs a small server's one thread.
    constexpr std::chrono::milliseconds kAcceptPause{2};
    while (WaitReadable(socket, stopping)) {
      const int connection = ::accept4(socket, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0) continue;
      {
        std::lock_guard lock(mutex);
        ++accepted;
      }
      connections.emplace_back([this, connection] { answer(connection); });
      std::this_thread::sleep_for(kAcceptPause);
    }
  }

  void answer(int connection) {
    std::string pending;
    while (const std::optional<std::string> head = NextRequest(connection, pending, stopping)) {
      takeTime();
      if (!SendAll(connection, reply(RequestPath(*head))) || !keepAlive) break;
    }
    ::close(connection);
  }

  // Counted as being answered until the answer goes out, so that the
  // client cannot have it before the count drops.
  void takeTime() {
    {
      std::lock_guard lock(mutex);
      mostAnswering = std::max(mostAnswering, ++answering);
    }
    std::this_thread::sleep_for(answerTime);
    std::lock_guard lock(mutex);
    --answering;
  }

  std::string reply(const std::string& path) const {
    std::string body;
    std::string status = "404 Not Found";
    {
      std::lock_guard lock(mutex);
      if (const auto found = bodies.find(path); found != bodies.end()) {
        body = found->second;
        status = "200 OK";
      }
    }
    return "HTTP/1.1 " + status + "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: " + (keepAlive ? "keep-alive" : "close") +
           "\r\n\r\n" + body;
  }
};

BusyServer::BusyServer(int listenQueue, std::chrono::milliseconds answerTime, bool keepAlive)
    : state_(std::make_unique<State>()) {
  state_->socket = BoundLoopbackSocket();
  state_->port = PortOf(state_->socket);
  state_->answerTime = answerTime;
  state_->keepAlive = keepAlive;
  if (::listen(state_->socket, listenQueue) != 0) {
    ::close(state_->socket);
    throw std::runtime_error("BusyServer cannot listen");
  }
  state_->accepting = std::thread([state = state_.get()] { state->acceptAll(); });
}

BusyServer::~BusyServer() {
  state_->stopping = true;
  state_->accepting.join();
  for (std::thread& thread : state_->connections) thread.join();
  ::close(state_->socket);
}

void BusyServer::serve(const std::string& path, std::string body) {
  std::lock_guard lock(state_->mutex);
  state_->bodies[path] = std::move(body);
}

int BusyServer::port() const { return state_->port; }

std::string BusyServer::url(std::string_view path) const { return LoopbackUrl(state_->port, path); }

int BusyServer::connections() const {
  std::lock_guard lock(state_->mutex);
  return state_->accepted;
}

int BusyServer::mostAtOnce() const {
  std::lock_guard lock(state_->mutex);
  return state_->mostAnswering;
}

int UnusedPort() {
  // Free a moment ago; nothing on a test machine is likely to take it before
  // the test connects.
  const int fd = BoundLoopbackSocket();
  const int port = PortOf(fd);
  ::close(fd);
  return port;
}

#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// A real HTTP server for tests on 127.0.0.1, at a port that was free. It
// answers GET requests on its own threads from construction until it is
// destroyed; the destructor stops it and waits for its threads. Everything
// may be changed while requests are running. A path that nothing serves is
// answered with 404 and an empty body.
class HttpTestServer {
 public:
  // Answers up to `workers` connections at once; the rest wait their turn.
  explicit HttpTestServer(size_t workers = 64);
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;
  ~HttpTestServer();

  // Answers GET `path` (without the query) with `body` and `status`.
  void serve(const std::string& path, std::string body, int status = 200,
             std::string contentType = "text/plain");
  // The answer to GET `path`, as served, says it was last modified at
  // `httpDate` ("Thu, 10 Dec 2026 14:02:00 GMT", or any text).
  void setLastModified(const std::string& path, std::string httpDate);
  // The answer to GET `path`, as served, carries header `name` with `value`
  // as well, whatever they are.
  void addHeader(const std::string& path, std::string name, std::string value);
  // Answers GET `from` by sending the client to `to`, any URL.
  void redirect(const std::string& from, std::string to, int status = 302);
  // Answers GET `path` with `body`, announced whole but sent `chunkBytes`
  // at a time with `interval` before each further chunk: a slow host.
  void serveTrickle(const std::string& path, std::string body, size_t chunkBytes,
                    std::chrono::milliseconds interval);
  // Answers GET `path` announcing `body` whole, then closes the connection
  // after its first `sentBytes` (0: right after the headers).
  void serveBrokenOff(const std::string& path, std::string body, size_t sentBytes);
  // Every answer waits this long first.
  void setDelay(std::chrono::milliseconds delay);
  // The answer to GET `path`, as served, waits `delay` instead.
  void delayAnswer(const std::string& path, std::chrono::milliseconds delay);

  int port() const;
  // "http://127.0.0.1:<port>" followed by `path`.
  std::string url(std::string_view path) const;
  // How many requests for `path` came in so far, answered or not.
  int requestCount(const std::string& path) const;
  // The most requests that were being answered at the same time so far.
  int mostAtOnce() const;
  // The value of header `name` (any case) in the last request for `path`;
  // empty when there was none.
  std::string lastHeader(const std::string& path, const std::string& name) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Listens on 127.0.0.1 and never answers: the system accepts connections,
// takes what the client sends, and not a byte ever comes back. Closed in the
// destructor.
class SilentServer {
 public:
  SilentServer();
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;
  ~SilentServer();

  int port() const { return port_; }
  std::string url(std::string_view path) const;

 private:
  int socket_;
  int port_;
};

// Listens on 127.0.0.1 with a backlog that one connection of its own fills,
// so that the system drops every attempt to connect unanswered, as with a
// host that is down or behind a firewall.
class DroppingServer {
 public:
  DroppingServer();
  DroppingServer(const DroppingServer&) = delete;
  DroppingServer& operator=(const DroppingServer&) = delete;
  ~DroppingServer();

  int port() const { return port_; }
  std::string url(std::string_view path) const;

 private:
  int socket_;
  int port_;
  int occupant_;
};

// A small web server on 127.0.0.1: a short listen queue, one thread that
// accepts a connection at a time and hands it to a thread of its own, which
// answers after `answerTime`. Connections beyond the queue wait for the
// system to retry them, as with a real one under a burst. Closed, its
// threads joined, in the destructor.
class BusyServer {
 public:
  // `keepAlive`: a connection is answered until the client closes it, else
  // closed after one answer.
  BusyServer(int listenQueue, std::chrono::milliseconds answerTime, bool keepAlive);
  BusyServer(const BusyServer&) = delete;
  BusyServer& operator=(const BusyServer&) = delete;
  ~BusyServer();

  // Answers GET `path` with `body`; any other path with 404.
  void serve(const std::string& path, std::string body);
  int port() const;
  std::string url(std::string_view path) const;
  // Connections accepted so far, and the most requests that were being
  // answered at once.
  int connections() const;
  int mostAtOnce() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A port of 127.0.0.1 that nothing listens on, so that connecting is refused.
int UnusedPort();

#pragma once

#include <vector>

// The sockets that libcurl asks a batch to watch, waited on with epoll, so
// that a wait costs the same however many transfers are in flight; and a
// wake-up that any thread may send.
class SocketWatch {
 public:
  // A socket ready, with libcurl's CURL_CSELECT_ flags for what it is ready for.
  struct Ready {
    int socket;
    int events;
  };

  SocketWatch();
  SocketWatch(const SocketWatch&) = delete;
  SocketWatch& operator=(const SocketWatch&) = delete;
  ~SocketWatch();

  // False when the system gave no epoll or no eventfd.
  bool ok() const { return epoll_ >= 0 && wake_ >= 0; }
  // Watches `socket` for what libcurl's CURL_POLL_ value `what` asks,
  // CURL_POLL_REMOVE included.
  void Watch(int socket, int what);
  // From any thread: ends the current or next Wait at once.
  void Wake();
  // Waits at most `timeoutMs` for sockets to be ready, or a wake-up.
  std::vector<Ready> Wait(int timeoutMs);

 private:
  int epoll_;
  int wake_;
};

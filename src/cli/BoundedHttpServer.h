#pragma once

#include <httplib.h>
#include <sys/socket.h>

#include "cli/FarmServer.h"

// An httplib server that holds every connection to ServerLimits: a fixed
// pool of threads, and a request that takes longer or is bigger than the
// limits allow is cut off, however slowly its bytes come. The library's own
// timeouts are per read, so a client sending a byte now and then would hold
// a thread for ever; here each connection reads and writes through a stream
// that keeps a deadline and a budget per request. Answers go out as they
// were made, never compressed per request.
class BoundedHttpServer : public httplib::Server {
 public:
  explicit BoundedHttpServer(const ServerLimits& limits);

  // httplib listens with a backlog of 5: in a burst of connections the
  // rest would lose their first packet and retry only a second later.
  // Listening again on the bound socket raises it.
  void RaiseBacklog() { ::listen(svr_sock_, SOMAXCONN); }

 private:
  bool process_and_close_socket(socket_t socket) override;
  bool Stopping() const { return svr_sock_ == INVALID_SOCKET; }

  ServerLimits limits_;
};

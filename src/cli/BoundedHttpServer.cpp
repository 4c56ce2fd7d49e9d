#include "cli/BoundedHttpServer.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "cli/BoundedStream.h"

namespace {

// Connections kept alive answer this many requests before they are closed.
constexpr size_t kRequestsPerConnection = 100;

}  // namespace

BoundedHttpServer::BoundedHttpServer(const ServerLimits& limits) : limits_(limits) {
  new_task_queue = [threads = limits.threads] { return new httplib::ThreadPool(threads); };
  set_payload_max_length(limits.requestBytes);
  set_keep_alive_max_count(kRequestsPerConnection);
  // Not the library's SO_REUSEPORT, with which a second server on the same
  // port would bind as well and take a share of the requests.
  set_socket_options([](socket_t socket) {
    const int yes = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  // What the answers' Keep-Alive header tells the client.
  const auto idle = std::chrono::ceil<std::chrono::seconds>(limits.idleTime);
  set_keep_alive_timeout(std::max<time_t>(1, static_cast<time_t>(idle.count())));
}

bool BoundedHttpServer::process_and_close_socket(socket_t socket) {
  BoundedStream stream(socket, [this] { return Stopping(); });
  bool answered = true;
  for (size_t left = keep_alive_max_count_; left > 0 && stream.AwaitRequest(limits_.idleTime);
       --left) {
    // The request line and a line per header, and the empty line that ends them.
    stream.BeginRequest(limits_.requestTime, limits_.requestBytes, limits_.headers + 2);
    bool closed = false;
    answered = process_request(stream, left == 1, closed, [](httplib::Request& request) {
      request.headers.erase("Accept-Encoding");
    });
    if (!answered || closed || stream.Exceeded()) break;
  }
  ::shutdown(socket, SHUT_RDWR);
  ::close(socket);
  return answered;
}

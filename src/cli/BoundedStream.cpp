#include "cli/BoundedStream.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

// How often a wait looks whether the server stops.
constexpr std::chrono::milliseconds kStep{50};

// A big answer to a far client takes its time: each byte sent gives the
// exchange as long again as this rate needs for it. A client that takes
// less is still cut off, however slowly it reads.
constexpr uint64_t kAnswerBytesPerSecond = 64 << 10;

using Address = sockaddr_storage;

void NumericHost(const Address& address, socklen_t length, std::string& ip, int& port) {
  char host[NI_MAXHOST], service[NI_MAXSERV];
  if (::getnameinfo(reinterpret_cast<const sockaddr*>(&address), length, host, sizeof host, service,
                    sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
    return;
  ip = host;
  port = std::atoi(service);
}

}  // namespace

BoundedStream::BoundedStream(socket_t socket, std::function<bool()> stopping)
    : socket_(socket), stopping_(std::move(stopping)) {}

bool BoundedStream::AwaitRequest(std::chrono::milliseconds idle) {
  if (stopping_()) return false;
  return begin_ < end_ || Wait(POLLIN, Clock::now() + idle);
}

void BoundedStream::BeginRequest(std::chrono::milliseconds time, size_t bytes, size_t lines) {
  deadline_ = Clock::now() + time;
  bytesLeft_ = bytes;
  linesLeft_ = lines;
}

bool BoundedStream::Wait(short events, Clock::time_point until) const {
  for (;;) {
    if (stopping_()) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    if (left.count() <= 0) return false;
    pollfd watched{socket_, events, 0};
    const int ready = ::poll(&watched, 1, static_cast<int>(std::min(left, kStep).count()));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

ssize_t BoundedStream::Exceed() {
  exceeded_ = true;
  return -1;
}

bool BoundedStream::Fill() {
  for (;;) {
    if (!Wait(POLLIN, deadline_)) {
      Exceed();
      return false;
    }
    const ssize_t got = ::recv(socket_, buffer_, sizeof buffer_, MSG_DONTWAIT);
    if (got > 0) {
      begin_ = 0;
      end_ = static_cast<size_t>(got);
      return true;
    }
    // Closed by the client, or broken.
    if (got == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) return false;
  }
}

bool BoundedStream::is_readable() const { return begin_ < end_ || Wait(POLLIN, deadline_); }

bool BoundedStream::is_writable() const { return Wait(POLLOUT, deadline_); }

ssize_t BoundedStream::read(char* ptr, size_t size) {
  if (bytesLeft_ == 0) return Exceed();
  if (begin_ == end_ && !Fill()) return -1;
  size = std::min({size, end_ - begin_, bytesLeft_});
  // Only the request's head is read line by line; the lines are counted
  // as its line feeds come past.
  const size_t lineFeeds =
      static_cast<size_t>(std::count(buffer_ + begin_, buffer_ + begin_ + size, '\n'));
  if (lineFeeds > linesLeft_) return Exceed();
  linesLeft_ -= lineFeeds;
  std::memcpy(ptr, buffer_ + begin_, size);
  begin_ += size;
  bytesLeft_ -= size;
  return static_cast<ssize_t>(size);
}

ssize_t BoundedStream::write(const char* ptr, size_t size) {
  for (;;) {
    if (!Wait(POLLOUT, deadline_)) return Exceed();
    const ssize_t sent = ::send(socket_, ptr, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent >= 0) {
      deadline_ += std::chrono::nanoseconds(static_cast<uint64_t>(sent) * 1'000'000'000 /
                                            kAnswerBytesPerSecond);
      return sent;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
  }
}

void BoundedStream::get_remote_ip_and_port(std::string& ip, int& port) const {
  Address address{};
  socklen_t length = sizeof address;
  if (::getpeername(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    NumericHost(address, length, ip, port);
}

void BoundedStream::get_local_ip_and_port(std::string& ip, int& port) const {
  Address address{};
  socklen_t length = sizeof address;
  if (::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    NumericHost(address, length, ip, port);
}

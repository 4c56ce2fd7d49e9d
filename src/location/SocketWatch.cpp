#include "location/SocketWatch.h"

#include <curl/curl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>

namespace {

constexpr size_t kEventsAtOnce = 256;

uint32_t EpollEvents(int what) {
  return (what & CURL_POLL_IN ? EPOLLIN : 0u) | (what & CURL_POLL_OUT ? EPOLLOUT : 0u);
}

int CurlEvents(uint32_t events) {
  return (events & EPOLLIN ? CURL_CSELECT_IN : 0) | (events & EPOLLOUT ? CURL_CSELECT_OUT : 0) |
         (events & (EPOLLERR | EPOLLHUP) ? CURL_CSELECT_ERR : 0);
}

}  // namespace

SocketWatch::SocketWatch()
    : epoll_(::epoll_create1(EPOLL_CLOEXEC)), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.fd = wake_;
  if (ok()) ::epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &event);
}

SocketWatch::~SocketWatch() {
  if (wake_ >= 0) ::close(wake_);
  if (epoll_ >= 0) ::close(epoll_);
}

void SocketWatch::Watch(int socket, int what) {
  if (what == CURL_POLL_REMOVE) {
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, socket, nullptr);
    return;
  }
  epoll_event event{};
  event.events = EpollEvents(what);
  event.data.fd = socket;
  // libcurl tells a socket's first wish and its changes alike.
  if (::epoll_ctl(epoll_, EPOLL_CTL_MOD, socket, &event) != 0 && errno == ENOENT)
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, socket, &event);
}

void SocketWatch::Wake() {
  const uint64_t one = 1;
  // Fails only when the counter is full, and then a wake-up is pending.
  if (::write(wake_, &one, sizeof one) < 0) return;
}

std::vector<SocketWatch::Ready> SocketWatch::Wait(int timeoutMs) {
  std::array<epoll_event, kEventsAtOnce> events;
  const int count = ::epoll_wait(epoll_, events.data(), events.size(), timeoutMs);
  std::vector<Ready> ready;
  for (int i = 0; i < count; ++i) {
    if (events[i].data.fd != wake_) {
      ready.push_back({events[i].data.fd, CurlEvents(events[i].events)});
      continue;
    }
    uint64_t wakeUps = 0;
    if (::read(wake_, &wakeUps, sizeof wakeUps) < 0) continue;  // read by an earlier wait
  }
  return ready;
}

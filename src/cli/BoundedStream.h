#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

// One connection's socket as the HTTP library reads and writes it, within a
// deadline and a byte and line budget per request, and not a moment longer
// than the server runs: every wait looks every few milliseconds whether
// `stopping` has become true.
class BoundedStream : public httplib::Stream {
 public:
  using Clock = std::chrono::steady_clock;

  BoundedStream(socket_t socket, std::function<bool()> stopping);

  // Waits up to `idle` for the first bytes of the next request.
  bool AwaitRequest(std::chrono::milliseconds idle);
  // The request from here may take `time`, `bytes` and `lines` at most
  // (request line and headers, a line each), to its answer's last byte;
  // a big answer adds to the time as it goes out.
  void BeginRequest(std::chrono::milliseconds time, size_t bytes, size_t lines);
  // True once the request went over its budget or past its deadline.
  bool Exceeded() const { return exceeded_; }

  bool is_readable() const override;
  bool is_writable() const override;
  ssize_t read(char* ptr, size_t size) override;
  ssize_t write(const char* ptr, size_t size) override;
  void get_remote_ip_and_port(std::string& ip, int& port) const override;
  void get_local_ip_and_port(std::string& ip, int& port) const override;
  socket_t socket() const override { return socket_; }

 private:
  // Waits for `events` on the socket until `until`; false at the deadline
  // or when the server stops.
  bool Wait(short events, Clock::time_point until) const;
  // Reads what the socket has into the buffer; false at the end.
  bool Fill();
  // Marks the request as over its limits; gives the failed read's -1.
  ssize_t Exceed();

  socket_t socket_;
  std::function<bool()> stopping_;
  char buffer_[4096];
  size_t begin_ = 0, end_ = 0;  // what is in `buffer_`, not yet read
  Clock::time_point deadline_;
  size_t bytesLeft_ = 0, linesLeft_ = 0;
  bool exceeded_ = false;
};

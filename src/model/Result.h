#pragma once

#include <string>
#include <utility>
#include <variant>

// Why an operation failed: a message for people, and the system's error
// number where there is one (0 otherwise) for callers that tell cases apart.
struct Error {
  std::string message;
  int code = 0;
};

// The outcome of an operation that can fail: its value, or an Error.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}
  Result(Error error) : state_(std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() { return std::get<0>(state_); }
  const T& value() const { return std::get<0>(state_); }
  const Error& error() const { return std::get<1>(state_); }

  // The result of `f` on the value, moved out, or this error.
  template <typename F>
  auto transform(F&& f) && -> Result<decltype(f(std::declval<T&&>()))> {
    if (!ok()) return error();
    return f(std::move(value()));
  }

 private:
  std::variant<T, Error> state_;
};

// The outcome of an operation that yields nothing but success or an Error.
using Status = Result<std::monostate>;

inline Status Ok() { return std::monostate{}; }

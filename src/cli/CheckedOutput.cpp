#include "cli/CheckedOutput.h"

#include <cerrno>

CheckedOutput::CheckedOutput(std::ostream& target)
    : forwarder_(target.rdbuf()), stream_(&forwarder_) {}

int CheckedOutput::Finish() {
  stream_.flush();
  if (forwarder_.error() != 0) return forwarder_.error();
  return stream_ ? 0 : EIO;
}

CheckedOutput::Forwarder::int_type CheckedOutput::Forwarder::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  if (!target_ ||
      traits_type::eq_int_type(target_->sputc(traits_type::to_char_type(c)), traits_type::eof())) {
    Failed();
    return traits_type::eof();
  }
  return c;
}

std::streamsize CheckedOutput::Forwarder::xsputn(const char_type* text, std::streamsize count) {
  const std::streamsize written = target_ ? target_->sputn(text, count) : 0;
  if (written < count) Failed();
  return written;
}

int CheckedOutput::Forwarder::sync() {
  if (target_ && target_->pubsync() == 0) return 0;
  Failed();
  return -1;
}

void CheckedOutput::Forwarder::Failed() {
  if (error_ == 0) error_ = errno != 0 ? errno : EIO;
}

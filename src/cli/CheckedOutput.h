#pragma once

#include <ostream>
#include <streambuf>

// An output stream over another that remembers why its first write failed.
// The system gives the reason in errno only until its next call, and a
// stream keeps no more than a failure bit, so a full disk would otherwise
// go unnoticed or unexplained.
class CheckedOutput {
 public:
  explicit CheckedOutput(std::ostream& target);
  CheckedOutput(const CheckedOutput&) = delete;
  CheckedOutput& operator=(const CheckedOutput&) = delete;

  std::ostream& stream() { return stream_; }

  // Flushes everything written; then the errno of the first write that
  // failed, or 0 when all went out.
  int Finish();

 private:
  // Hands every write straight on, so that a failure is seen as it happens.
  class Forwarder : public std::streambuf {
   public:
    explicit Forwarder(std::streambuf* target) : target_(target) {}
    int error() const { return error_; }

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char_type* text, std::streamsize count) override;
    int sync() override;

   private:
    void Failed();

    std::streambuf* target_;
    int error_ = 0;
  };

  Forwarder forwarder_;
  std::ostream stream_;
};

#pragma once

#include <zlib.h>

#include <functional>
#include <string>
#include <string_view>

// Uncompresses a body sent gzip or deflate encoded, piece by piece as it
// comes in, and tells whether the compressed data came to their end: a
// body cut short uncompresses without a fault up to where it stops.
class Inflater {
 public:
  Inflater();
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  ~Inflater();

  // Uncompresses `data`, handing every piece to `take`. False when the data
  // are broken (why in error()) or `take` refused a piece.
  bool Feed(std::string_view data, const std::function<bool(std::string_view)>& take);
  // Whether the data fed so far end where the compressed data do.
  bool Ended() const { return ended_; }
  const std::string& error() const { return error_; }

 private:
  z_stream stream_{};
  bool ready_;
  bool ended_ = false;
  std::string error_;
};

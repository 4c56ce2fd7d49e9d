#include "location/Inflater.h"

#include <array>

namespace {

// zlib's window bits with 32 added: a gzip or a zlib header, told by the
// data themselves.
constexpr int kGzipOrZlib = 15 + 32;

}  // namespace

Inflater::Inflater() : ready_(inflateInit2(&stream_, kGzipOrZlib) == Z_OK) {
  if (!ready_) error_ = "cannot start to uncompress";
}

Inflater::~Inflater() {
  if (ready_) inflateEnd(&stream_);
}

bool Inflater::Feed(std::string_view data, const std::function<bool(std::string_view)>& take) {
  if (!ready_ || !error_.empty()) return false;
  stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream_.avail_in = static_cast<uInt>(data.size());
  while (stream_.avail_in > 0) {
    // A gzip body may hold several members, one after the other.
    if (ended_ && inflateReset(&stream_) == Z_OK) ended_ = false;
    std::array<char, 16384> out;
    stream_.next_out = reinterpret_cast<Bytef*>(out.data());
    stream_.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&stream_, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END) {
      error_ = stream_.msg ? stream_.msg : "the data are broken";
      return false;
    }
    const size_t produced = out.size() - stream_.avail_out;
    if (produced > 0 && !take(std::string_view(out.data(), produced))) return false;
    ended_ = status == Z_STREAM_END;
  }
  return true;
}

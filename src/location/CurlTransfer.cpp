#include "location/CurlTransfer.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string_view>

#include "model/Constants.h"

namespace {

void SetRequest(CURL* curl, const std::string& url, const curl_slist* headers,
                bool keepConnection) {
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, kAppName);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  // A redirect may go from http to https, but never to a local file or
  // another protocol, whatever the server says. The first list bounds the
  // redirects as well, so it must name https too.
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  // An error page is no machine file: a 500 page whose lines start with
  // digits would read as new factors.
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, keepConnection ? 0L : 1L);
  // Last-Modified tells when a machine's file last changed, which shows a
  // stalled machine even where the position alone would not yet.
  curl_easy_setopt(curl, CURLOPT_FILETIME, 1L);
  // Signals would reach the whole process, and other threads run in it.
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
}

void SetLimits(CURL* curl, const FetchLimits& limits) {
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(limits.connectTimeout.count()));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(limits.lowSpeed));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits.stallTimeout.count()));
  // Refuses early when the length is announced; the body callback catches
  // the rest (no length, or a compressed body that grows).
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBodyBytes));
}

std::string UrlPart(CURLU* url, CURLUPart part, unsigned flags) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, flags) != CURLUE_OK) return {};
  std::string copy(text);
  curl_free(text);
  return copy;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string DurationText(std::chrono::milliseconds duration) {
  const auto ms = duration.count();
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

std::string SizeText(size_t bytes) {
  constexpr size_t kMiB = size_t{1} << 20;
  return bytes % kMiB == 0 ? std::to_string(bytes / kMiB) + " MiB"
                           : std::to_string(bytes) + " bytes";
}

// "HTTP/1.1 500 Internal Server Error" reads "HTTP 500 Internal Server
// Error": the protocol's version is nothing to the user.
std::string StatusWords(std::string_view line, long code) {
  const size_t space = line.find(' ');
  if (space == std::string_view::npos) return "HTTP " + std::to_string(code);
  return "HTTP" + std::string(line.substr(space));
}

}  // namespace

bool BodyBudget::Take(size_t bytes) {
  if (bytes > left_) return false;
  left_ -= bytes;
  return true;
}

UrlHost HostOf(const char* url) {
  const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), &curl_url_cleanup);
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url, 0) != CURLUE_OK) return {};
  const std::string host = UrlPart(parsed.get(), CURLUPART_HOST, 0);
  if (host.empty()) return {};
  const std::string port = UrlPart(parsed.get(), CURLUPART_PORT, 0);
  return {port.empty() ? host : host + ":" + port,
          Lower(host) + ":" + UrlPart(parsed.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT)};
}

CurlTransfer::CurlTransfer(const std::string& url, const FetchLimits& limits,
                           const curl_slist* headers, BodyBudget& budget,
                           Clock::time_point deadline, bool keepConnection)
    : limits_(limits),
      budget_(budget),
      easy_(curl_easy_init(), &curl_easy_cleanup),
      deadline_(deadline) {
  CURL* curl = easy_.get();
  if (!curl) return;
  SetRequest(curl, url, headers, keepConnection);
  SetLimits(curl, limits);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, curlText_);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, &OnConnected);
  curl_easy_setopt(curl, CURLOPT_PREREQDATA, this);
}

CurlTransfer::~CurlTransfer() { budget_.Give(taken_); }

UrlHost CurlTransfer::Host() const {
  const char* url = nullptr;
  curl_easy_getinfo(easy_.get(), CURLINFO_EFFECTIVE_URL, &url);
  return url ? HostOf(url) : UrlHost{};
}

LocationText CurlTransfer::Outcome(CURLcode code) {
  if (code == CURLE_OK) {
    taken_ = 0;  // the body's share of the budget goes with it
    return LocationText(std::move(body_), ModifiedTime());
  }
  DropBody();
  return Why(code);
}

std::optional<int64_t> CurlTransfer::ModifiedTime() const {
  curl_off_t time = -1;
  curl_easy_getinfo(easy_.get(), CURLINFO_FILETIME_T, &time);
  if (time < 0) return std::nullopt;
  return static_cast<int64_t>(time);
}

bool CurlTransfer::FailsTheHost(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
      return true;
    // A host too slow to answer or to send is as slow for its other files.
    case CURLE_OPERATION_TIMEDOUT:
      return true;
    default:
      return false;
  }
}

size_t CurlTransfer::OnBody(char* data, size_t size, size_t count, void* self) {
  return static_cast<CurlTransfer*>(self)->TakeBody(data, size * count);
}

size_t CurlTransfer::OnHeader(char* data, size_t size, size_t count, void* self) {
  auto& transfer = *static_cast<CurlTransfer*>(self);
  const std::string_view line(data, size * count);
  transfer.answered_ = true;
  if (line.starts_with("HTTP/"))
    transfer.statusLine_ = line.substr(0, line.find_last_not_of(" \r\n") + 1);
  return size * count;
}

int CurlTransfer::OnConnected(void* self, char*, char*, int, int) {
  static_cast<CurlTransfer*>(self)->connected_ = true;
  return CURL_PREREQFUNC_OK;
}

size_t CurlTransfer::TakeBody(const char* data, size_t bytes) {
  answered_ = true;
  // Anything short of `bytes` makes libcurl abandon the transfer.
  if (bytes > limits_.maxBodyBytes - body_.size()) {
    refusal_ = Refusal::kTooLarge;
    return 0;
  }
  if (!MakeRoom(body_.size() + bytes)) {
    refusal_ = Refusal::kOverBudget;
    return 0;
  }
  body_.append(data, bytes);
  return bytes;
}

// Grows the body as a string grows, but only with the budget's leave, so
// that the budget counts what is allocated. An announced length is
// reserved at once, so that such a body is never copied.
bool CurlTransfer::MakeRoom(size_t size) {
  if (size <= taken_) return true;
  curl_off_t announced = -1;
  curl_easy_getinfo(easy_.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
  size_t room =
      std::max({size, 2 * taken_, static_cast<size_t>(std::max<curl_off_t>(announced, 0))});
  room = std::min(room, limits_.maxBodyBytes);
  // Near the end of the budget a body grows by what it needs alone.
  if (!budget_.Take(room - taken_)) {
    room = size;
    if (!budget_.Take(room - taken_)) return false;
  }
  body_.reserve(room);
  taken_ = room;
  return true;
}

void CurlTransfer::DropBody() {
  budget_.Give(taken_);
  taken_ = 0;
  body_ = std::string();
}

Error CurlTransfer::Why(CURLcode code) const {
  if (refusal_ == Refusal::kTooLarge || code == CURLE_FILESIZE_EXCEEDED)
    return {"the file is larger than " + SizeText(limits_.maxBodyBytes), EFBIG};
  if (refusal_ == Refusal::kOverBudget)
    return {"not read: the files of this refresh would take more than " +
                SizeText(budget_.limit()) + " together",
            ENOMEM};
  long osErrno = 0;
  curl_easy_getinfo(easy_.get(), CURLINFO_OS_ERRNO, &osErrno);
  const std::string host = Host().shown;
  const std::string detail = " (" + CurlText(code) + ")";
  switch (code) {
    case CURLE_HTTP_RETURNED_ERROR: {
      long status = 0;
      curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status);
      return {StatusWords(statusLine_, status), 0};
    }
    case CURLE_COULDNT_RESOLVE_HOST:
      return {"cannot find host " + host + detail, static_cast<int>(osErrno)};
    case CURLE_COULDNT_CONNECT:
      if (osErrno == ECONNREFUSED) return {"connection refused by " + host + detail, ECONNREFUSED};
      return {"cannot reach host " + host + detail, static_cast<int>(osErrno)};
    case CURLE_OPERATION_TIMEDOUT:
      return {TimeoutWords() + detail, ETIMEDOUT};
    case CURLE_GOT_NOTHING:
      return {"host " + host + " closed the connection without answering" + detail, ECONNRESET};
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
      return {"host " + host + " broke off the transfer" + detail, ECONNRESET};
    case CURLE_TOO_MANY_REDIRECTS:
      return {"too many redirects" + detail, ELOOP};
    case CURLE_UNSUPPORTED_PROTOCOL:
      return {"refused to go on to a location that is not http or https" + detail, EPROTONOSUPPORT};
    case CURLE_URL_MALFORMAT:
      return {"not a valid URL" + detail, EINVAL};
    default:
      return {CurlText(code), static_cast<int>(osErrno)};
  }
}

// Which of the limits ran out, told by what the transfer had come to.
std::string CurlTransfer::TimeoutWords() const {
  const std::string host = "host " + Host().shown;
  if (!connected_) return host + " did not answer within " + DurationText(limits_.connectTimeout);
  if (!answered_) return host + " did not answer within " + DurationText(limits_.stallTimeout);
  return host + " sent less than " + std::to_string(limits_.lowSpeed) + " bytes/s for " +
         DurationText(limits_.stallTimeout);
}

Error OverdueError(const std::string& host, std::chrono::milliseconds deadline) {
  return {"host " + host + " did not send the whole file within " + DurationText(deadline),
          ETIMEDOUT};
}

Error CurlTransfer::Overdue() const { return OverdueError(Host().shown, limits_.deadline); }

std::string CurlTransfer::CurlText(CURLcode code) const {
  return *curlText_ ? curlText_ : curl_easy_strerror(code);
}

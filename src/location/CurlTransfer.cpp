#include "location/CurlTransfer.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string_view>

#include "location/Inflater.h"
#include "model/Constants.h"

namespace {

void SetRequest(CURL* curl, const std::string& url, const curl_slist* headers,
                bool keepConnection) {
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, kAppName);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  // Uncompressed here rather than by libcurl, which takes a compressed
  // body cut short for the whole file.
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
  curl_easy_setopt(curl, CURLOPT_HTTP_CONTENT_DECODING, 0L);
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
  constexpr size_t kKiB = size_t{1} << 10;
  constexpr size_t kMiB = size_t{1} << 20;
  if (bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  if (bytes % kKiB == 0) return std::to_string(bytes / kKiB) + " KiB";
  return std::to_string(bytes) + " bytes";
}

// The headers of one answer may take this much: a server that sends more
// is broken or hostile.
constexpr size_t kMaxHeaderBytes = size_t{64} << 10;

// "1,234,567".
std::string Grouped(curl_off_t count) {
  std::string digits = std::to_string(std::max<curl_off_t>(count, 0));
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

bool IsFollowedRedirect(long status) {
  return status == 300 || status == 301 || status == 302 || status == 303 || status == 307 ||
         status == 308;
}

// The value of header line `line` without the blanks around it, when it
// is header `name` (in lower case).
std::optional<std::string> HeaderValue(std::string_view line, std::string_view name) {
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos || Lower(std::string(line.substr(0, colon))) != name)
    return std::nullopt;
  const std::string_view value = line.substr(colon + 1);
  const size_t start = value.find_first_not_of(" \t");
  if (start == std::string_view::npos) return std::string();
  return std::string(value.substr(start, value.find_last_not_of(" \t\r\n") + 1 - start));
}

// Why an answer with a status below 400 other than 200 is not the file;
// libcurl has followed every redirect with a usable location already.
std::string NotTheFileWords(long status) {
  const std::string http = "HTTP " + std::to_string(status) + ": ";
  switch (status) {
    case 204:
      return http + "the host sent no file";
    case 203:
      return http + "a proxy on the way changed the file";
    case 206:
      return http + "the host sent part of the file";
    case 304:
      return http + "the host sent no file, only that it has not changed";
    default:
      if (status >= 300 && status < 400) return http + "a redirect without a location to go to";
      return http + "the answer is not the file";
  }
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

bool CurlTransfer::IsHttps() const {
  const char* url = nullptr;
  curl_easy_getinfo(easy_.get(), CURLINFO_EFFECTIVE_URL, &url);
  return url && Lower(std::string(url).substr(0, 6)) == "https:";
}

curl_off_t CurlTransfer::Received() const {
  curl_off_t received = 0;
  curl_easy_getinfo(easy_.get(), CURLINFO_SIZE_DOWNLOAD_T, &received);
  return received;
}

LocationText CurlTransfer::Outcome(CURLcode code) {
  if (std::optional<Error> failure = code == CURLE_OK ? NotTheFile() : Why(code)) {
    DropBody();
    return *failure;
  }
  taken_ = 0;  // the body's share of the budget goes with it
  return LocationText(std::move(body_), ModifiedTime());
}

long CurlTransfer::Status() const {
  long status = 0;
  curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status);
  return status;
}

std::optional<Error> CurlTransfer::NotTheFile() const {
  if (const long status = Status(); status != 200) return Error{NotTheFileWords(status), 0};
  if (inflater_ && !inflater_->Ended())
    return Error{"the answer ended early: its compressed data stop before their end", EIO};
  return std::nullopt;
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
  const size_t bytes = size * count;
  // Anything short of `bytes` makes libcurl abandon the transfer.
  return static_cast<CurlTransfer*>(self)->TakeSent(std::string_view(data, bytes)) ? bytes : 0;
}

size_t CurlTransfer::OnHeader(char* data, size_t size, size_t count, void* self) {
  const size_t bytes = size * count;
  return static_cast<CurlTransfer*>(self)->TakeHeader(std::string_view(data, bytes)) ? bytes : 0;
}

int CurlTransfer::OnConnected(void* self, char*, char*, int, int) {
  static_cast<CurlTransfer*>(self)->connected_ = true;
  return CURL_PREREQFUNC_OK;
}

bool CurlTransfer::TakeHeader(std::string_view line) {
  answered_ = true;
  if (line.starts_with("HTTP/")) NewAnswer(line);
  headerBytes_ += line.size();
  if (headerBytes_ > kMaxHeaderBytes) {
    refusal_ = Refusal::kHeadersTooLarge;
    return false;
  }
  if (const auto value = HeaderValue(line, "content-encoding")) encoding_ = Lower(*value);
  if (const auto value = HeaderValue(line, "location")) hasLocation_ = !value->empty();
  if (line == "\r\n" || line == "\n") return HeadersEnded();
  return true;
}

void CurlTransfer::NewAnswer(std::string_view statusLine) {
  statusLine_ = statusLine.substr(0, statusLine.find_last_not_of(" \r\n") + 1);
  encoding_.clear();
  hasLocation_ = false;
  headerBytes_ = 0;
  inflater_.reset();
}

// A redirect that libcurl follows goes to a host that has not been reached
// yet; any other answer's body comes next, compressed or not.
bool CurlTransfer::HeadersEnded() {
  if (IsFollowedRedirect(Status()) && hasLocation_) {
    connected_ = answered_ = false;
    return true;
  }
  if (encoding_.empty() || encoding_ == "identity") return true;
  if (encoding_ == "gzip" || encoding_ == "x-gzip" || encoding_ == "deflate") {
    inflater_ = std::make_unique<Inflater>();
    return true;
  }
  refusal_ = Refusal::kUnknownEncoding;
  return false;
}

bool CurlTransfer::TakeSent(std::string_view data) {
  answered_ = true;
  if (!inflater_) return TakeBody(data);
  if (inflater_->Feed(data, [this](std::string_view piece) { return TakeBody(piece); }))
    return true;
  if (refusal_ == Refusal::kNone) {
    refusal_ = Refusal::kBrokenEncoding;
    refusalDetail_ = inflater_->error();
  }
  return false;
}

bool CurlTransfer::TakeBody(std::string_view data) {
  if (data.size() > limits_.maxBodyBytes - body_.size()) {
    refusal_ = Refusal::kTooLarge;
    return false;
  }
  if (!MakeRoom(body_.size() + data.size())) {
    refusal_ = Refusal::kOverBudget;
    return false;
  }
  body_.append(data);
  return true;
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

std::optional<Error> CurlTransfer::Refused() const {
  const std::string host = "host " + Host().shown;
  switch (refusal_) {
    case Refusal::kNone:
      return std::nullopt;
    case Refusal::kTooLarge:
      return TooLarge();
    case Refusal::kOverBudget:
      return Error{"not read: the files of this refresh would take more than " +
                       SizeText(budget_.limit()) + " together",
                   ENOMEM};
    case Refusal::kHeadersTooLarge:
      return Error{host + " sent more than " + SizeText(kMaxHeaderBytes) + " of headers", EMSGSIZE};
    case Refusal::kUnknownEncoding:
      return Error{host + " sent the file in an encoding it was not asked for: " + encoding_,
                   EPROTO};
    case Refusal::kBrokenEncoding:
      return Error{host + " sent the file " + encoding_ +
                       "-compressed, and it does not uncompress (" + refusalDetail_ + ")",
                   EIO};
  }
  return std::nullopt;
}

Error CurlTransfer::TooLarge() const {
  return {"the file is larger than " + SizeText(limits_.maxBodyBytes), EFBIG};
}

Error CurlTransfer::EndedEarly() const {
  curl_off_t announced = -1;
  curl_easy_getinfo(easy_.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
  const std::string received = Grouped(Received());
  if (announced < 0) return {"the answer ended early, after " + received + " bytes", EIO};
  return {"the answer ended early: " + received + " of " + Grouped(announced) + " bytes", EIO};
}

Error CurlTransfer::Why(CURLcode code) const {
  if (std::optional<Error> refused = Refused()) return *refused;
  long osErrno = 0;
  curl_easy_getinfo(easy_.get(), CURLINFO_OS_ERRNO, &osErrno);
  const std::string host = Host().shown;
  const std::string detail = " (" + CurlText(code) + ")";
  switch (code) {
    case CURLE_HTTP_RETURNED_ERROR:
      return {StatusWords(statusLine_, Status()), 0};
    case CURLE_COULDNT_RESOLVE_HOST:
      return {"cannot find host " + host + detail, static_cast<int>(osErrno)};
    case CURLE_COULDNT_CONNECT:
      if (osErrno == ECONNREFUSED) return {"connection refused by " + host + detail, ECONNREFUSED};
      return {"cannot reach host " + host + detail, static_cast<int>(osErrno)};
    case CURLE_OPERATION_TIMEDOUT:
      return {TimeoutWords() + detail, ETIMEDOUT};
    case CURLE_GOT_NOTHING:
      return {"host " + host + " closed the connection without answering" + detail, ECONNRESET};
    case CURLE_PARTIAL_FILE:
      return EndedEarly();
    case CURLE_RECV_ERROR:
      return {"host " + host + " broke off the transfer" + detail, ECONNRESET};
    case CURLE_FILESIZE_EXCEEDED:
      return TooLarge();
    // libcurl's limit of one header line; the body had not begun.
    case CURLE_OUT_OF_MEMORY:
      if (Received() > 0) return {CurlText(code), ENOMEM};
      return {"host " + host + " sent a header line too long to read", EMSGSIZE};
    case CURLE_TOO_MANY_REDIRECTS:
      return {"too many redirects" + detail, ELOOP};
    case CURLE_UNSUPPORTED_PROTOCOL:
      if (statusLine_.empty()) return {"host " + host + " did not answer in HTTP" + detail, EPROTO};
      return {"refused to go on to a location that is not http or https" + detail, EPROTONOSUPPORT};
    case CURLE_URL_MALFORMAT:
      if (Status() >= 300 && Status() < 400)
        return {"HTTP " + std::to_string(Status()) +
                    ": a redirect to a location that is not a valid URL" + detail,
                EINVAL};
      return {"not a valid URL" + detail, EINVAL};
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
      return {"cannot make a secure connection to host " + host + detail, EPROTO};
    default:
      return {CurlText(code), static_cast<int>(osErrno)};
  }
}

// Which of the limits ran out, told by what the transfer had come to.
std::string CurlTransfer::TimeoutWords() const {
  const std::string host = "host " + Host().shown;
  const std::string connect = DurationText(limits_.connectTimeout);
  if (!connected_ && IsHttps()) return host + " did not make an https connection within " + connect;
  if (!connected_) return host + " did not answer within " + connect;
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

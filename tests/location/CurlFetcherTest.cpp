#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cerrno>
#include <functional>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

#include "location/CurlFetcher.h"
#include "location/StoppableFetcher.h"
#include "support/HttpTestServer.h"

namespace {

using std::chrono_literals::operator""ms;
using std::chrono_literals::operator""s;

// Short enough that a test of a dead server ends within a second or two.
// Only a server that sends nothing at all for a second is slow: a test
// server under a sanitizer may take that long over a large body.
FetchLimits ShortLimits(size_t maxBodyBytes = FetchLimits{}.maxBodyBytes) {
  return FetchLimits{
      .connectTimeout = 1000ms, .stallTimeout = 1s, .lowSpeed = 1, .maxBodyBytes = maxBodyBytes};
}

// The body, or the error's message marked as such, so that a failed fetch
// shows what went wrong in the comparison.
std::string BodyOrError(const Result<std::string>& fetched) {
  return fetched.ok() ? fetched.value() : "error: " + fetched.error().message;
}

void ExpectErrorAbout(const Result<std::string>& fetched, const std::string& url) {
  ASSERT_FALSE(fetched.ok()) << "got a body: " << fetched.value();
  EXPECT_TRUE(fetched.error().message.starts_with(url + ": ")) << fetched.error().message;
}

// Checks that the fetch failed for the reason that `reason` begins: a
// user's words, with libcurl's own text after them.
void ExpectReason(const Result<std::string>& fetched, const std::string& url,
                  const std::string& reason, int code) {
  ASSERT_FALSE(fetched.ok()) << "got a body: " << fetched.value();
  EXPECT_TRUE(fetched.error().message.starts_with(url + ": " + reason)) << fetched.error().message;
  EXPECT_EQ(fetched.error().code, code) << fetched.error().message;
}

// "127.0.0.1:<port>", as the reasons name a host.
std::string Host(int port) { return "127.0.0.1:" + std::to_string(port); }

// What a batch gave for each URL, in their order.
std::vector<Result<std::string>> FetchBatch(const Fetcher& fetcher,
                                            const std::vector<std::string>& urls,
                                            std::stop_token stop = {}) {
  std::vector<std::optional<Result<std::string>>> fetched(urls.size());
  fetcher.FetchAll(
      urls,
      [&](size_t i, Result<std::string> body) {
        EXPECT_FALSE(fetched[i]) << urls[i] << " ended twice";
        fetched[i] = std::move(body);
      },
      stop);
  std::vector<Result<std::string>> results;
  for (size_t i = 0; i < urls.size(); ++i) {
    EXPECT_TRUE(fetched[i]) << urls[i] << " never ended";
    results.push_back(fetched[i] ? std::move(*fetched[i]) : Error{"never ended"});
  }
  return results;
}

// The reason of a failed fetch without the URL in front.
std::string ReasonOf(const Result<std::string>& fetched, const std::string& url) {
  if (fetched.ok()) return "got a body";
  const std::string& message = fetched.error().message;
  return message.starts_with(url + ": ") ? message.substr(url.size() + 2) : message;
}

class CurlFetcherTest : public ::testing::Test {
 protected:
  HttpTestServer server_;
  CurlFetcher fetcher_{ShortLimits()};
};

TEST_F(CurlFetcherTest, ReturnsTheBodyByteForByte) {
  struct Case {
    std::string name;
    std::string body;
  };
  const std::array cases{
      Case{"CR LF kept", "1000000007 | 5\r\n2000000011 | 7\r\n"},
      Case{"empty", ""},
      Case{"no line end", "pmax=100"},
      Case{"NUL and high bytes", std::string("a\0b\xff\xfe\n", 6)},
      Case{"many chunks", std::string(3'000'000, 'x') + "end"},
  };
  for (const auto& [name, body] : cases) {
    SCOPED_TRACE(name);
    server_.serve("/fact.txt", body);
    EXPECT_EQ(BodyOrError(fetcher_.FetchUrl(server_.url("/fact.txt"))), body);
  }
}

TEST_F(CurlFetcherTest, ReadsOnlyASuccessfulAnswerAsTheFile) {
  // An error page whose lines start with digits must not read as factors.
  const std::string page = "500 reasons\n1000000007 | not a factor\n";
  struct Case {
    int status;
    std::string fetched;
  };
  const std::string url = server_.url("/fact.txt");
  const std::array cases{
      Case{200, page},
      Case{203, "error: " + url + ": HTTP 203: a proxy on the way changed the file"},
      Case{404, "error: " + url + ": HTTP 404 Not Found"},
      Case{403, "error: " + url + ": HTTP 403 Forbidden"},
      Case{500, "error: " + url + ": HTTP 500 Internal Server Error"},
      Case{503, "error: " + url + ": HTTP 503 Service Unavailable"},
  };
  for (const auto& [status, fetched] : cases) {
    SCOPED_TRACE(status);
    server_.serve("/fact.txt", page, status, "text/html");
    EXPECT_EQ(BodyOrError(fetcher_.FetchUrl(url)), fetched);
  }
}

// `text` gzip-compressed.
std::string Gzip(const std::string& text) {
  z_stream stream{};
  constexpr int kGzipWindow = 15 + 16;
  deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindow, 8, Z_DEFAULT_STRATEGY);
  std::string compressed(deflateBound(&stream, text.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(compressed.data());
  stream.avail_out = static_cast<uInt>(compressed.size());
  deflate(&stream, Z_FINISH);
  compressed.resize(stream.total_out);
  deflateEnd(&stream);
  return compressed;
}

// Answers that are not the whole file, however they came to be: each is
// no reading, with what happened in words.
TEST_F(CurlFetcherTest, TakesOnlyAWholeAnswerForTheFile) {
  const std::string factors = "1000000007 | 5\n2000000011 | 7\n";
  const std::string manyFactors = [&] {
    std::string text;
    for (int i = 0; i < 2'000; ++i) text += std::to_string(1'000'000'007 + 2 * i) + " | 5\n";
    return text;
  }();
  const std::string gzipped = Gzip(manyFactors);
  const std::string host = "host " + Host(server_.port());
  using Serve = std::function<void(HttpTestServer&, const std::string&)>;
  const auto compressed = [](std::string bytes, std::string encoding) {
    return [bytes, encoding](HttpTestServer& server, const std::string& path) {
      server.serve(path, bytes, 200, "application/octet-stream");
      server.addHeader(path, "Content-Encoding", encoding);
    };
  };
  const auto withStatus = [&](int status) {
    return [&, status](HttpTestServer& server, const std::string& path) {
      server.serve(path, factors, status);
    };
  };
  struct Case {
    std::string name;
    Serve serve;
    std::string reason;
    int code;
  };
  const std::array cases{
      Case{"206", withStatus(206), "HTTP 206: the host sent part of the file", 0},
      Case{"204", withStatus(204), "HTTP 204: the host sent no file", 0},
      Case{"304", withStatus(304), "HTTP 304: the host sent no file, only that it has not changed",
           0},
      Case{"302 without Location", withStatus(302),
           "HTTP 302: a redirect without a location to go to", 0},
      Case{"301 with an empty Location",
           [&](HttpTestServer& server, const std::string& path) {
             server.serve(path, factors, 301);
             server.addHeader(path, "Location", "");
           },
           "HTTP 301: a redirect without a location to go to", 0},
      Case{"302 to no URL",
           [](HttpTestServer& server, const std::string& path) {
             server.redirect(path, "http://[::1/fact.txt");
           },
           "HTTP 302: a redirect to a location that is not a valid URL (", EINVAL},
      Case{"body short of its length",
           [](HttpTestServer& server, const std::string& path) {
             server.serveBrokenOff(path, std::string(5'000, 'x'), 1'234);
           },
           "the answer ended early: 1,234 of 5,000 bytes", EIO},
      Case{"no body after the headers",
           [](HttpTestServer& server, const std::string& path) {
             server.serveBrokenOff(path, std::string(5'000, 'x'), 0);
           },
           "the answer ended early: 0 of 5,000 bytes", EIO},
      Case{"gzip cut short", compressed(gzipped.substr(0, gzipped.size() / 2), "gzip"),
           "the answer ended early: its compressed data stop before their end", EIO},
      Case{"gzip without its last byte", compressed(gzipped.substr(0, gzipped.size() - 1), "gzip"),
           "the answer ended early: its compressed data stop before their end", EIO},
      Case{"broken gzip", compressed(gzipped.substr(0, 10) + std::string(50, 'x'), "gzip"),
           host + " sent the file gzip-compressed, and it does not uncompress (", EIO},
      Case{"an encoding not asked for", compressed(gzipped, "br"),
           host + " sent the file in an encoding it was not asked for: br", EPROTO},
      Case{"a header of 1 MB",
           [&](HttpTestServer& server, const std::string& path) {
             server.serve(path, factors);
             server.addHeader(path, "X-Padding", std::string(1 << 20, 'p'));
           },
           host + " sent a header line too long to read", EMSGSIZE},
      Case{"headers of 100 kB",
           [&](HttpTestServer& server, const std::string& path) {
             server.serve(path, factors);
             for (int i = 0; i < 1'000; ++i)
               server.addHeader(path, "X-Padding-" + std::to_string(i), std::string(100, 'p'));
           },
           host + " sent more than 64 KiB of headers", EMSGSIZE},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const auto& [name, serve, reason, code] = cases[i];
    SCOPED_TRACE(name);
    const std::string path = "/case" + std::to_string(i) + "/fact.txt";
    serve(server_, path);
    ExpectReason(fetcher_.FetchUrl(server_.url(path)), server_.url(path), reason, code);
  }
  // Whole, the same compressed file is read.
  server_.serve("/whole/fact.txt", gzipped, 200, "application/octet-stream");
  server_.addHeader("/whole/fact.txt", "Content-Encoding", "gzip");
  EXPECT_EQ(BodyOrError(fetcher_.FetchUrl(server_.url("/whole/fact.txt"))), manyFactors);
}

TEST_F(CurlFetcherTest, SendsItsNameAndForbidsCaches) {
  server_.serve("/QsvStatus.dat", "pmax=1");
  ASSERT_TRUE(fetcher_.FetchUrl(server_.url("/QsvStatus.dat")).ok());
  EXPECT_EQ(server_.lastHeader("/QsvStatus.dat", "User-Agent"), "quillstrand");
  EXPECT_EQ(server_.lastHeader("/QsvStatus.dat", "Cache-Control"), "no-cache");
  EXPECT_EQ(server_.lastHeader("/QsvStatus.dat", "Pragma"), "no-cache");
}

TEST_F(CurlFetcherTest, TellsTheLastModifiedTimeTheServerSends) {
  struct Case {
    std::string header;  // none sent when empty
    std::optional<int64_t> modified;
  };
  const std::array cases{
      Case{"", std::nullopt},
      Case{"Thu, 10 Dec 2026 14:02:00 GMT", 1796911320},
      Case{"Sun, 06 Nov 1994 08:49:37 GMT", 784111777},
      Case{"yesterday", std::nullopt},
  };
  for (const auto& [header, modified] : cases) {
    SCOPED_TRACE(header);
    server_.serve("/QsvStatus.dat", "pmax=1\n");
    if (!header.empty()) server_.setLastModified("/QsvStatus.dat", header);
    const LocationText fetched = fetcher_.FetchUrl(server_.url("/QsvStatus.dat"));
    ASSERT_EQ(BodyOrError(fetched), "pmax=1\n");
    EXPECT_EQ(fetched.Modified, modified);
  }
}

TEST_F(CurlFetcherTest, AsksTheServerAgainOnEveryFetch) {
  server_.serve("/fact.txt", "old\n");
  EXPECT_EQ(BodyOrError(fetcher_.FetchUrl(server_.url("/fact.txt"))), "old\n");
  server_.serve("/fact.txt", "old\nnew\n");
  EXPECT_EQ(BodyOrError(fetcher_.FetchUrl(server_.url("/fact.txt"))), "old\nnew\n");
  EXPECT_EQ(server_.requestCount("/fact.txt"), 2);
}

// Builds /hop1 -> /hop2 -> ... -> /hop<hops> -> /fact.txt.
std::string RedirectChain(HttpTestServer& server, int hops) {
  for (int hop = 1; hop < hops; ++hop) {
    server.redirect("/hop" + std::to_string(hop), "/hop" + std::to_string(hop + 1));
  }
  server.redirect("/hop" + std::to_string(hops), server.url("/fact.txt"), 301);
  return server.url("/hop1");
}

TEST_F(CurlFetcherTest, FollowsUpToTenRedirects) {
  server_.serve("/fact.txt", "moved here\n");
  struct Case {
    int hops;
    bool followed;
  };
  for (const auto& [hops, followed] : std::array{Case{1, true}, Case{10, true}, Case{11, false}}) {
    SCOPED_TRACE(hops);
    const std::string url = RedirectChain(server_, hops);
    const Result<std::string> fetched = fetcher_.FetchUrl(url);
    if (followed) {
      EXPECT_EQ(BodyOrError(fetched), "moved here\n");
    } else {
      ExpectErrorAbout(fetched, url);
    }
  }
}

TEST_F(CurlFetcherTest, RefusesRedirectsOutsideTheWeb) {
  const std::array targets{"file:///etc/passwd", "ftp://127.0.0.1/fact.txt",
                           "dict://127.0.0.1/fact.txt"};
  for (const std::string target : targets) {
    SCOPED_TRACE(target);
    server_.redirect("/fact.txt", target);
    ExpectReason(fetcher_.FetchUrl(server_.url("/fact.txt")), server_.url("/fact.txt"),
                 "refused to go on to a location that is not http or https (", EPROTONOSUPPORT);
  }
}

// Nothing on 127.0.0.1 speaks TLS, so a redirect to https can only be seen
// to be tried: the connection is made, or refused, rather than the
// protocol.
TEST_F(CurlFetcherTest, FollowsARedirectToHttps) {
  const int unused = UnusedPort();
  const SilentServer silent;
  struct Case {
    std::string target;
    std::string reason;
  };
  const std::array cases{
      Case{"https://127.0.0.1:" + std::to_string(unused) + "/fact.txt",
           "connection refused by " + Host(unused) + " ("},
      // The plain http server takes the TLS greeting for a bad request.
      Case{"https://127.0.0.1:" + std::to_string(server_.port()) + "/fact.txt",
           "cannot make a secure connection to host " + Host(server_.port()) + " ("},
      // One that waits for a request line never answers the greeting.
      Case{"https://127.0.0.1:" + std::to_string(silent.port()) + "/fact.txt",
           "host " + Host(silent.port()) + " did not make an https connection within 1 s ("},
  };
  for (const auto& [target, reason] : cases) {
    SCOPED_TRACE(target);
    server_.redirect("/fact.txt", target);
    const Result<std::string> fetched = fetcher_.FetchUrl(server_.url("/fact.txt"));
    ASSERT_FALSE(fetched.ok());
    EXPECT_NE(fetched.error().code, EPROTONOSUPPORT) << fetched.error().message;
    EXPECT_NE(ReasonOf(fetched, server_.url("/fact.txt")).find(reason), std::string::npos)
        << fetched.error().message;
  }
}

TEST_F(CurlFetcherTest, GivesUpOnARedirectLoop) {
  server_.redirect("/fact.txt", "/fact.txt");
  ExpectErrorAbout(fetcher_.FetchUrl(server_.url("/fact.txt")), server_.url("/fact.txt"));
}

TEST(CurlFetcher, AbandonsAServerThatNeverAnswers) {
  const SilentServer silent;
  const std::string url = silent.url("/fact.txt");
  ExpectReason(CurlFetcher(ShortLimits()).FetchUrl(url), url,
               "host " + Host(silent.port()) + " did not answer within 1 s (", ETIMEDOUT);
}

TEST(CurlFetcher, FailsWhenTheConnectionIsRefused) {
  const int port = UnusedPort();
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/fact.txt";
  ExpectReason(CurlFetcher(ShortLimits()).FetchUrl(url), url,
               "connection refused by " + Host(port) + " (", ECONNREFUSED);
}

TEST(CurlFetcher, FailsOnAUrlThatNamesNoServer) {
  const std::array urls{"http://", "http:///fact.txt", "http://[::1/fact.txt",
                        "http://no-such-host.invalid/fact.txt"};
  for (const std::string url : urls) {
    SCOPED_TRACE(url);
    ExpectErrorAbout(CurlFetcher(ShortLimits()).FetchUrl(url), url);
  }
}

TEST_F(CurlFetcherTest, AbandonsABodyBeyondTheLimit) {
  constexpr size_t limit = 1000;
  const CurlFetcher limited(ShortLimits(limit));
  // A text body travels compressed, so its announced length is small and
  // only the received bytes tell; a binary body announces its full length.
  struct Case {
    size_t size;
    std::string contentType;
    bool fits;
  };
  const std::array cases{
      Case{limit, "text/plain", true},
      Case{limit + 1, "text/plain", false},
      Case{100 * limit, "text/plain", false},
      Case{limit, "application/octet-stream", true},
      Case{limit + 1, "application/octet-stream", false},
  };
  for (const auto& [size, contentType, fits] : cases) {
    SCOPED_TRACE(std::to_string(size) + " " + contentType);
    const std::string body(size, 'x');
    server_.serve("/fact.txt", body, 200, contentType);
    const Result<std::string> fetched = limited.FetchUrl(server_.url("/fact.txt"));
    if (fits) {
      EXPECT_EQ(BodyOrError(fetched), body);
    } else {
      ExpectErrorAbout(fetched, server_.url("/fact.txt"));
      EXPECT_EQ(fetched.error().code, EFBIG);
    }
  }
}

TEST_F(CurlFetcherTest, FetchesFromManyThreadsAtOnce) {
  constexpr int kThreads = 64;
  for (int machine = 0; machine < kThreads; ++machine) {
    server_.serve("/m" + std::to_string(machine) + "/fact.txt",
                  "factors of " + std::to_string(machine));
  }
  // Every answer waits, so that the fetches overlap.
  server_.setDelay(100ms);
  std::vector<std::string> bodies(kThreads);
  std::vector<std::thread> threads;
  for (int machine = 0; machine < kThreads; ++machine) {
    threads.emplace_back([&, machine] {
      const std::string url = server_.url("/m" + std::to_string(machine) + "/fact.txt");
      bodies[machine] = BodyOrError(fetcher_.FetchUrl(url));
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int machine = 0; machine < kThreads; ++machine) {
    EXPECT_EQ(bodies[machine], "factors of " + std::to_string(machine));
  }
}

// Hosts that send too slowly or for too long: each is given
// up on for the limit it ran into, said in words a user understands.
TEST_F(CurlFetcherTest, GivesUpOnAHostThatSendsBadly) {
  const std::string body(100'000, 'x');
  server_.serveTrickle("/crawl.txt", body, 5, 100ms);      // 50 bytes/s
  server_.serveTrickle("/steady.txt", body, 2'000, 50ms);  // fast enough, but 2.5 s in all
  const std::string host = "host " + Host(server_.port());
  struct Case {
    std::string path;
    std::string reason;
    int code;
  };
  const std::array cases{
      Case{"/crawl.txt", host + " sent less than 100 bytes/s for 1 s (", ETIMEDOUT},
      Case{"/steady.txt", host + " did not send the whole file within 1500 ms", ETIMEDOUT},
  };
  FetchLimits limits = ShortLimits();
  limits.lowSpeed = 100;
  limits.deadline = 1500ms;
  const CurlFetcher fetcher(limits);
  for (const auto& [path, reason, code] : cases) {
    SCOPED_TRACE(path);
    ExpectReason(fetcher.FetchUrl(server_.url(path)), server_.url(path), reason, code);
  }
}

TEST(CurlFetcher, GivesUpOnAHostThatDropsConnections) {
  const DroppingServer dropping;
  FetchLimits limits = ShortLimits();
  limits.connectTimeout = 500ms;
  const std::string url = dropping.url("/fact.txt");
  ExpectReason(CurlFetcher(limits).FetchUrl(url), url,
               "host " + Host(dropping.port()) + " did not answer within 500 ms (", ETIMEDOUT);
}

// The first transfer to a host that does not answer ends the others that
// wait for it with the same reason, and those not started never start;
// another host is read as ever.
TEST(CurlFetcher, AHostThatDoesNotAnswerFailsItsOtherFilesAtOnce) {
  HttpTestServer slow;
  slow.setDelay(1500ms);  // beyond the stall limit of 1 s
  HttpTestServer quick;
  quick.serve("/fact.txt", "quick\n");
  std::vector<std::string> urls;
  for (int i = 0; i < 5; ++i) {
    const std::string path = "/m" + std::to_string(i) + "/fact.txt";
    slow.serve(path, "slow\n");
    urls.push_back(slow.url(path));
  }
  urls.insert(urls.begin() + 2, quick.url("/fact.txt"));
  FetchLimits limits = ShortLimits();
  limits.maxConnections = 2;

  const std::vector<Result<std::string>> fetched = FetchBatch(CurlFetcher(limits), urls);
  EXPECT_EQ(BodyOrError(fetched[2]), "quick\n");
  const std::string reason = "host " + Host(slow.port()) + " did not answer within 1 s (";
  for (size_t i : {0, 1, 3, 4, 5}) {
    SCOPED_TRACE(urls[i]);
    ExpectReason(fetched[i], urls[i], reason, ETIMEDOUT);
    EXPECT_EQ(ReasonOf(fetched[i], urls[i]), ReasonOf(fetched[0], urls[0]));
  }
  for (const char* path : {"/m2/fact.txt", "/m3/fact.txt", "/m4/fact.txt"})
    EXPECT_EQ(slow.requestCount(path), 0) << path;
}

// A host that is sending one file is there: another file of it that gets
// no answer in time fails alone.
TEST(CurlFetcher, AHostThatAnswersKeepsItsOtherFiles) {
  HttpTestServer server;
  const std::string body(3'000, 'x');
  server.serveTrickle("/steady.txt", body, 100, 100ms);  // 3 s in all
  server.serve("/late.txt", "late\n");
  server.delayAnswer("/late.txt", 2500ms);  // beyond the stall limit
  FetchLimits limits = ShortLimits();
  limits.stallTimeout = 2s;  // time enough for the steady file to be answered
  const std::vector<std::string> urls{server.url("/late.txt"), server.url("/steady.txt")};
  const std::vector<Result<std::string>> fetched = FetchBatch(CurlFetcher(limits), urls);
  ExpectReason(fetched[0], urls[0], "host " + Host(server.port()) + " did not answer within 2 s",
               ETIMEDOUT);
  EXPECT_EQ(BodyOrError(fetched[1]), body);
}

TEST(CurlFetcher, KeepsEveryTransferInFlightUpToTheLimit) {
  struct Case {
    size_t maxConnections;
    size_t maxPerHost;
    int atOnce;
  };
  constexpr int kFiles = 40;
  const std::array cases{Case{256, 256, kFiles}, Case{10, 256, 10}, Case{256, 8, 8}};
  for (const auto& [maxConnections, maxPerHost, atOnce] : cases) {
    SCOPED_TRACE(std::to_string(maxConnections) + " in all, " + std::to_string(maxPerHost) +
                 " to the host");
    HttpTestServer server(kFiles);
    server.setDelay(300ms);  // so that transfers in flight together overlap
    std::vector<std::string> urls;
    for (int i = 0; i < kFiles; ++i) {
      const std::string path = "/m" + std::to_string(i) + "/fact.txt";
      server.serve(path, "factors of " + std::to_string(i));
      urls.push_back(server.url(path));
    }
    FetchLimits limits = ShortLimits();
    limits.maxConnections = maxConnections;
    limits.maxPerHost = maxPerHost;
    const std::vector<Result<std::string>> fetched = FetchBatch(CurlFetcher(limits), urls);
    for (int i = 0; i < kFiles; ++i)
      EXPECT_EQ(BodyOrError(fetched[i]), "factors of " + std::to_string(i));
    EXPECT_EQ(server.mostAtOnce(), atOnce);
  }
}

// A small server with a listen queue of 5, slow to answer: connections
// beyond its queue would wait for the system to retry them, beyond the
// connect limit. That is a busy host, not a dead one: every file is read,
// over a few connections at a time, used again where the server keeps them.
TEST(CurlFetcher, ReadsEveryFileOfABusyHost) {
  constexpr int kFiles = 40;
  const int perHost = static_cast<int>(FetchLimits{}.maxPerHost);
  for (const bool keepAlive : {false, true}) {
    SCOPED_TRACE(keepAlive ? "keeps connections" : "closes connections");
    BusyServer server(5, 20ms, keepAlive);
    std::vector<std::string> urls;
    for (int i = 0; i < kFiles; ++i) {
      const std::string path = "/m" + std::to_string(i) + "/fact.txt";
      server.serve(path, "factors of " + std::to_string(i));
      urls.push_back(server.url(path));
    }
    const std::vector<Result<std::string>> fetched = FetchBatch(CurlFetcher(ShortLimits()), urls);
    for (int i = 0; i < kFiles; ++i)
      EXPECT_EQ(BodyOrError(fetched[i]), "factors of " + std::to_string(i));
    EXPECT_LE(server.mostAtOnce(), perHost);
    if (keepAlive) {
      EXPECT_LE(server.connections(), perHost);
    }
  }
}

// However many of its files wait, a host too slow for its first files
// holds the batch no longer than they took: one that trickles below the
// speed limit, or sends steadily but not the whole file by the deadline
// (counted from its first file). Its files still waiting are not asked for.
TEST(CurlFetcher, DoesNotAskATooSlowHostForItsOtherFiles) {
  struct Case {
    std::string name;
    size_t chunkBytes;  // every 100 ms
    std::string reason;
  };
  const std::array cases{
      Case{"crawls", 5, "sent less than 100 bytes/s for 1 s ("},
      Case{"steady but long", 100, "did not send the whole file within 1500 ms"},
  };
  FetchLimits limits = ShortLimits();
  limits.lowSpeed = 100;
  limits.deadline = 1500ms;
  limits.maxPerHost = 2;
  for (const auto& [name, chunkBytes, reason] : cases) {
    SCOPED_TRACE(name);
    HttpTestServer server;
    std::vector<std::string> urls;
    for (int i = 0; i < 6; ++i) {
      const std::string path = "/m" + std::to_string(i) + "/fact.txt";
      server.serveTrickle(path, std::string(2'000, 'x'), chunkBytes, 100ms);
      urls.push_back(server.url(path));
    }
    const std::vector<Result<std::string>> fetched = FetchBatch(CurlFetcher(limits), urls);
    for (size_t i = 0; i < urls.size(); ++i) {
      SCOPED_TRACE(urls[i]);
      ExpectReason(fetched[i], urls[i], "host " + Host(server.port()) + " " + reason, ETIMEDOUT);
    }
    for (const char* path : {"/m2/fact.txt", "/m3/fact.txt", "/m4/fact.txt", "/m5/fact.txt"})
      EXPECT_EQ(server.requestCount(path), 0) << path;
  }
}

// Once the bodies of a batch fill its budget, a body that needs more fails
// and says why, while one that still fits is read.
TEST_F(CurlFetcherTest, KeepsTheBodiesOfABatchWithinItsBudget) {
  const std::string big(6'000, 'b');
  const std::string small(100, 's');
  // Sent as bytes, so that each announces its length.
  server_.serve("/big1.txt", big, 200, "application/octet-stream");
  server_.serve("/big2.txt", big, 200, "application/octet-stream");
  server_.serve("/small.txt", small, 200, "application/octet-stream");
  FetchLimits limits = ShortLimits();
  limits.maxBatchBytes = 10'000;
  const std::vector<std::string> urls{server_.url("/big1.txt"), server_.url("/big2.txt"),
                                      server_.url("/small.txt")};

  const std::vector<Result<std::string>> fetched = FetchBatch(CurlFetcher(limits), urls);
  const size_t failed = fetched[0].ok() ? 1 : 0;
  EXPECT_EQ(BodyOrError(fetched[1 - failed]), big);
  ExpectReason(fetched[failed], urls[failed],
               "not read: the files of this refresh would take more than 10000 bytes together",
               ENOMEM);
  EXPECT_EQ(BodyOrError(fetched[2]), small);
}

// A stop ends every transfer of the batch, those in flight and those not
// started, long before any limit would.
TEST(CurlFetcher, StopsEveryTransferWhenAsked) {
  HttpTestServer server;
  const std::string body(1'000, 'x');
  std::vector<std::string> urls;
  for (int i = 0; i < 20; ++i) {
    const std::string path = "/m" + std::to_string(i) + "/fact.txt";
    server.serveTrickle(path, body, 100, 200ms);
    urls.push_back(server.url(path));
  }
  FetchLimits limits;
  limits.maxConnections = 10;
  limits.maxPerHost = 10;
  const CurlFetcher fetcher(limits);
  std::stop_source stop;
  std::vector<Result<std::string>> fetched;
  std::jthread batch([&] { fetched = FetchBatch(fetcher, urls, stop.get_token()); });
  auto answered = [&] {
    int count = 0;
    for (int i = 0; i < 20; ++i)
      count += server.requestCount("/m" + std::to_string(i) + "/fact.txt");
    return count;
  };
  // Until the transfers in flight are being answered.
  for (int wait = 0; answered() < 10 && wait < 1000; ++wait) std::this_thread::sleep_for(5ms);
  stop.request_stop();
  batch.join();
  for (size_t i = 0; i < urls.size(); ++i) {
    SCOPED_TRACE(urls[i]);
    ExpectReason(fetched[i], urls[i], "cancelled", ECANCELED);
  }
  EXPECT_EQ(answered(), 10);
}

TEST(CurlFetcher, StartsNothingAfterAStop) {
  HttpTestServer server;
  server.serve("/fact.txt", "factors");
  std::stop_source stop;
  stop.request_stop();
  const std::vector<std::string> urls{server.url("/fact.txt")};
  const std::vector<Result<std::string>> fetched =
      FetchBatch(CurlFetcher(ShortLimits()), urls, stop.get_token());
  ExpectReason(fetched[0], urls[0], "cancelled", ECANCELED);
  EXPECT_EQ(server.requestCount("/fact.txt"), 0);
}

// Code that reads one location at a time, the selection of a machine for
// one, is stopped the same way.
TEST(CurlFetcher, StopsAFetchOfOneUrlWhenAsked) {
  HttpTestServer server;
  server.serveTrickle("/fact.txt", std::string(1'000, 'x'), 100, 200ms);  // 2 s in all
  const CurlFetcher fetcher;
  std::stop_source stop;
  const StoppableFetcher stoppable(fetcher, stop.get_token());
  std::optional<Result<std::string>> fetched;
  std::jthread reader([&] { fetched = stoppable.FetchUrl(server.url("/fact.txt")); });
  for (int wait = 0; server.requestCount("/fact.txt") == 0 && wait < 1000; ++wait)
    std::this_thread::sleep_for(5ms);
  stop.request_stop();
  reader.join();
  ASSERT_TRUE(fetched);
  ExpectReason(*fetched, server.url("/fact.txt"), "cancelled", ECANCELED);
}

}  // namespace

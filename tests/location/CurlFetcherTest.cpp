#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <thread>
#include <vector>

#include "location/CurlFetcher.h"
#include "support/HttpTestServer.h"

namespace {

using std::chrono_literals::operator""ms;
using std::chrono_literals::operator""s;

// Short enough that a test of a dead server ends within a second or two.
FetchLimits ShortLimits(size_t maxBodyBytes = FetchLimits{}.maxBodyBytes) {
  return FetchLimits{.connectTimeout = 1000ms, .stallTimeout = 1s, .maxBodyBytes = maxBodyBytes};
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

TEST_F(CurlFetcherTest, ReturnsTheBodyWhateverTheStatus) {
  const std::string page = "<html><body><h1>404 Not Found</h1></body></html>\n";
  for (const int status : {404, 403, 500}) {
    SCOPED_TRACE(status);
    server_.serve("/fact.txt", page, status, "text/html");
    EXPECT_EQ(BodyOrError(fetcher_.FetchUrl(server_.url("/fact.txt"))), page);
  }
}

TEST_F(CurlFetcherTest, SendsItsNameAndForbidsCaches) {
  server_.serve("/QsvStatus.dat", "pmax=1");
  ASSERT_TRUE(fetcher_.FetchUrl(server_.url("/QsvStatus.dat")).ok());
  EXPECT_EQ(server_.lastHeader("/QsvStatus.dat", "User-Agent"), "quillstrand");
  EXPECT_EQ(server_.lastHeader("/QsvStatus.dat", "Cache-Control"), "no-cache");
  EXPECT_EQ(server_.lastHeader("/QsvStatus.dat", "Pragma"), "no-cache");
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
    ExpectErrorAbout(fetcher_.FetchUrl(server_.url("/fact.txt")), server_.url("/fact.txt"));
  }
}

TEST_F(CurlFetcherTest, GivesUpOnARedirectLoop) {
  server_.redirect("/fact.txt", "/fact.txt");
  ExpectErrorAbout(fetcher_.FetchUrl(server_.url("/fact.txt")), server_.url("/fact.txt"));
}

TEST(CurlFetcher, AbandonsAServerThatNeverAnswers) {
  const SilentServer silent;
  const std::string url = silent.url("/fact.txt");
  ExpectErrorAbout(CurlFetcher(ShortLimits()).FetchUrl(url), url);
}

TEST(CurlFetcher, FailsWhenTheConnectionIsRefused) {
  const std::string url = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/fact.txt";
  const Result<std::string> fetched = CurlFetcher(ShortLimits()).FetchUrl(url);
  ExpectErrorAbout(fetched, url);
  EXPECT_EQ(fetched.error().code, ECONNREFUSED);
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

}  // namespace

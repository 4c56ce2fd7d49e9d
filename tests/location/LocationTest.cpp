#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <array>
#include <cerrno>
#include <filesystem>
#include <vector>

#include "location/Location.h"
#include "support/TempDir.h"

namespace {

// Answers every URL with a fixed result and remembers what it was asked.
class FakeFetcher : public Fetcher {
 public:
  explicit FakeFetcher(LocationText answer = std::string("fetched")) : answer_(std::move(answer)) {}

  LocationText FetchUrl(const std::string& url) const override {
    urls.push_back(url);
    return answer_;
  }

  mutable std::vector<std::string> urls;

 private:
  LocationText answer_;
};

// Runs each test inside a temporary folder, so that relative locations such
// as a share name resolve to files the test made.
class OpenLocationTest : public ::testing::Test {
 protected:
  OpenLocationTest() : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder_.path());
  }
  ~OpenLocationTest() override { std::filesystem::current_path(previous_); }

  TempDir folder_;
  FakeFetcher fetcher_;

 private:
  std::filesystem::path previous_;
};

TEST(IsHttpLocation, IsTrueExactlyForTheLowerCaseHttpScheme) {
  struct Case {
    std::string_view location;
    bool http;
  };
  const std::array cases{
      Case{"http://10.1.1.1/fact.txt", true},
      Case{"http://", true},
      Case{"HTTP://10.1.1.1/fact.txt", false},
      Case{"Http://10.1.1.1/fact.txt", false},
      Case{"https://10.1.1.1/fact.txt", false},
      Case{"http:/", false},
      Case{"http:/10.1.1.1/fact.txt", false},
      Case{" http://10.1.1.1/fact.txt", false},
      Case{"ftp://10.1.1.1/fact.txt", false},
      Case{"file:///etc/passwd", false},
      Case{"C:\\Sieve\\fact.txt", false},
      Case{"\\\\10.1.1.1\\sieve\\fact.txt", false},
      Case{"", false},
  };
  for (const auto& [location, http] : cases) {
    SCOPED_TRACE(location);
    EXPECT_EQ(IsHttpLocation(location), http);
  }
}

TEST_F(OpenLocationTest, ReadsAFileByteForByte) {
  const std::string text = "1000000007 | 5\r\n2000000011 | 7\n\n";
  const LocationText opened = OpenLocation(folder_.write("fact.txt", text), fetcher_);
  ASSERT_TRUE(opened.ok()) << opened.error().message;
  EXPECT_EQ(opened.value(), text);
  EXPECT_TRUE(fetcher_.urls.empty());
}

TEST_F(OpenLocationTest, ReadsAnEmptyFileAsEmptyText) {
  const LocationText opened = OpenLocation(folder_.write("fact.txt", ""), fetcher_);
  ASSERT_TRUE(opened.ok()) << opened.error().message;
  EXPECT_EQ(opened.value(), "");
}

TEST_F(OpenLocationTest, TellsWhenTheFileWasLastModified) {
  const std::string path = folder_.write("QsvStatus.dat", "pmax=1\n");
  const timespec modified[2] = {{1796911320, 0}, {1796911320, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), modified, 0), 0);
  EXPECT_EQ(OpenLocation(path, fetcher_).Modified, 1796911320);

  const FakeFetcher dated(LocationText(std::string("pmax=1\n"), 784111777));
  EXPECT_EQ(OpenLocation("http://10.1.1.1/QsvStatus.dat", dated).Modified, 784111777);
  EXPECT_EQ(OpenLocation("http://10.1.1.1/QsvStatus.dat", fetcher_).Modified, std::nullopt);
}

TEST_F(OpenLocationTest, OpensEveryOtherLocationAsAFileByItsExactName) {
  const std::array names{
      "\\\\10.1.1.1\\sieve\\fact.txt", "C:\\Sieve\\fact.txt",    "HTTP:\\\\10.1.1.1\\fact.txt",
      "https://10.1.1.1/fact.txt",     " fact.txt with blanks ",
  };
  for (const std::string name : names) {
    SCOPED_TRACE(name);
    folder_.write(name, "text of " + name);
    const LocationText opened = OpenLocation(name, fetcher_);
    ASSERT_TRUE(opened.ok()) << opened.error().message;
    EXPECT_EQ(opened.value(), "text of " + name);
  }
  EXPECT_TRUE(fetcher_.urls.empty());
}

TEST_F(OpenLocationTest, FailsWithTheReasonWhenAFileCannotBeRead) {
  std::filesystem::create_directory("folder");
  struct Case {
    std::string location;
    std::string message;
    int code;
  };
  const std::array cases{
      Case{"missing.txt", "missing.txt: No such file or directory", ENOENT},
      Case{"\\\\10.1.1.1\\sieve\\fact.txt",
           "\\\\10.1.1.1\\sieve\\fact.txt: No such file or directory", ENOENT},
      Case{"folder", "folder: Is a directory", EISDIR},
  };
  for (const auto& [location, message, code] : cases) {
    SCOPED_TRACE(location);
    const LocationText opened = OpenLocation(location, fetcher_);
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.error().message, message);
    EXPECT_EQ(opened.error().code, code);
  }
  EXPECT_TRUE(fetcher_.urls.empty());
}

TEST_F(OpenLocationTest, RefusesAnEmptyLocationSayingSo) {
  const LocationText opened = OpenLocation("", fetcher_);
  ASSERT_FALSE(opened.ok());
  EXPECT_EQ(opened.error().message, "no location is set");
  EXPECT_EQ(opened.error().code, ENOENT);
  EXPECT_TRUE(fetcher_.urls.empty());
}

TEST_F(OpenLocationTest, FetchesAnHttpLocationUnchanged) {
  const std::string url = "http://10.1.1.1/sieve dir/fact.txt ";
  const LocationText opened = OpenLocation(url, fetcher_);
  ASSERT_TRUE(opened.ok()) << opened.error().message;
  EXPECT_EQ(opened.value(), "fetched");
  EXPECT_EQ(fetcher_.urls, std::vector<std::string>{url});
}

TEST(OpenLocation, PassesOnTheFetchersError) {
  const FakeFetcher failing(Error{"http://10.1.1.1/fact.txt: Connection refused", ECONNREFUSED});
  const LocationText opened = OpenLocation("http://10.1.1.1/fact.txt", failing);
  ASSERT_FALSE(opened.ok());
  EXPECT_EQ(opened.error().message, "http://10.1.1.1/fact.txt: Connection refused");
  EXPECT_EQ(opened.error().code, ECONNREFUSED);
}

}  // namespace

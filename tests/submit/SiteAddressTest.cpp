#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>

#include "farm/Automation.h"
#include "submit/ProjectSite.h"

namespace {

TEST(ProjectSiteUrl, IsTheBuiltInHostUnlessOverridden) {
  struct Case {
    const char* override;
    std::string url;  // empty: refused
  };
  const std::array cases{
      Case{nullptr, "http://qv.example.org:80"},
      Case{"", "http://qv.example.org:80"},
      Case{"127.0.0.1:8080", "http://127.0.0.1:8080"},
      Case{"localhost", "http://localhost:80"},
      Case{"site.example.com:65535", "http://site.example.com:65535"},
      Case{"host:0", ""},
      Case{"host:65536", ""},
      Case{"host:", ""},
      Case{":80", ""},
      Case{"host:80x", ""},
      Case{"http://host", ""},
      Case{"host/path:80", ""},
      Case{"user@host", ""},
      Case{"two words", ""},
  };
  for (const auto& [override, url] : cases) {
    SCOPED_TRACE(override ? override : "(unset)");
    const Result<std::string> site = ProjectSiteUrl(override);
    if (url.empty()) {
      ASSERT_FALSE(site.ok()) << site.value();
      EXPECT_TRUE(site.error().message.starts_with("QUILLSTRAND_SERVER=")) << site.error().message;
    } else {
      ASSERT_TRUE(site.ok()) << site.error().message;
      EXPECT_EQ(site.value(), url);
    }
  }
}

TEST(AutomationMinute, IsShortenedOnlyByAPlainNumberOfMilliseconds) {
  using std::chrono::milliseconds;
  struct Case {
    const char* override;
    milliseconds minute;
  };
  const std::array cases{
      Case{nullptr, milliseconds(60000)}, Case{"200", milliseconds(200)},
      Case{"1", milliseconds(1)},         Case{"60000", milliseconds(60000)},
      Case{"60001", milliseconds(60000)}, Case{"0", milliseconds(60000)},
      Case{"", milliseconds(60000)},      Case{"-5", milliseconds(60000)},
      Case{"20ms", milliseconds(60000)},  Case{" 20", milliseconds(60000)},
  };
  for (const auto& [override, minute] : cases) {
    SCOPED_TRACE(override ? override : "(unset)");
    EXPECT_EQ(AutomationMinuteFrom(override), minute);
  }
}

TEST(AutoTimerPeriod, CountsMinutesOfTheGivenLength) {
  Settings options;
  options.AutoTimerInterval = 3;
  EXPECT_EQ(AutoTimerPeriod(options, std::chrono::milliseconds(200)),
            std::chrono::milliseconds(600));
  options.AutoTimerInterval = kMaxAutoTimerInterval;
  EXPECT_EQ(AutoTimerPeriod(options, std::chrono::minutes(1)),
            std::chrono::milliseconds(uint64_t{kMaxAutoTimerInterval} * 60000));
}

}  // namespace

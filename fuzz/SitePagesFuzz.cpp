// Whatever page the site answers with, the login name and the counts read
// from it are parts of the page, found after the phrases that announce them.
#include "FuzzInput.h"
#include "submit/SitePages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view page = AsText(data, size);
  if (const auto name = FindLoginName(page)) {
    const size_t phrase = page.find("logged in as");
    FUZZ_CHECK(phrase != page.npos);
    FUZZ_CHECK(name->find('<') == std::string::npos);
    FUZZ_CHECK(page.find(*name, phrase) != page.npos);
  }
  if (ReadSubmissionCounts(page)) FUZZ_CHECK(page.find("verified in") != page.npos);
  return 0;
}

#pragma once

#include <cstdlib>

#include "SiteUser.h"
#include "StandInSite.h"

// The stand-in project site for a test of the programs' submissions: it
// knows the user of the tests' farms, and QUILLSTRAND_SERVER points the
// programs at it while it lives.
class SiteUnderTest : public StandInSite {
 public:
  SiteUnderTest() {
    AddUser(kSiteUser, "");
    ::setenv("QUILLSTRAND_SERVER", Address().c_str(), 1);
  }
  ~SiteUnderTest() { ::unsetenv("QUILLSTRAND_SERVER"); }
  SiteUnderTest(const SiteUnderTest&) = delete;
  SiteUnderTest& operator=(const SiteUnderTest&) = delete;
};

#pragma once

// The username of the tests' farms, which the stand-in site under test
// knows, without a password.
constexpr char kSiteUser[] = "farmer";

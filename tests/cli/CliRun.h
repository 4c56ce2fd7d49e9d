#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"

struct CliRun {
  int code;
  std::string out, err;
};

// Runs quillstrand-cli with `args` and keeps what it wrote.
inline CliRun RunWith(std::vector<std::string> args) {
  args.insert(args.begin(), "quillstrand-cli");
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  std::ostringstream out, err;
  const int code = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
  return {code, out.str(), err.str()};
}

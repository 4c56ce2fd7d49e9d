#include <cstdio>
#include <map>
#include <string>

#include "support/QtTestClass.h"

namespace {

std::map<std::string, QtTestRun>& Classes() {
  static std::map<std::string, QtTestRun> classes;
  return classes;
}

}  // namespace

bool AddQtTestClass(const char* name, QtTestRun run) { return Classes().emplace(name, run).second; }

// CLASS [QtTest arguments]: the class is run with its name in the place of
// the program's, so that QtTest reads the rest as it always does.
int main(int argc, char* argv[]) {
  const auto found = argc > 1 ? Classes().find(argv[1]) : Classes().end();
  if (found == Classes().end()) {
    std::fprintf(stderr, "usage: %s CLASS [QtTest arguments]; the classes:", argv[0]);
    for (const auto& entry : Classes()) std::fprintf(stderr, " %s", entry.first.c_str());
    std::fprintf(stderr, "\n");
    return 2;
  }
  return found->second(argc - 1, argv + 1);
}

#include <unistd.h>
#include <iostream>
#include <new>

#include "cli/Cli.h"

int main(int argc, char** argv) {
  // What cannot be had is refused where it is asked for; this is the last
  // net, so that the program ends with a reason, never with an abort.
  try {
    return RunCli(argc, argv, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
  } catch (const std::bad_alloc&) {
    std::cerr << "quillstrand-cli: not enough memory\n";
    return 1;
  }
}

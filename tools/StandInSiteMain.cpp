// quillstrand-site: the stand-in project site as a program of its own, for
// trying submissions by hand or from scripts.

#include <pthread.h>
#include <signal.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <string>
#include <vector>

#include "StandInSite.h"

namespace {

struct Options {
  int port = 0;
  std::vector<std::string> users;  // NAME:PASSWORD
  std::string fault = "none";
};

// Waits for SIGINT or SIGTERM. They are blocked first, in every thread to
// come, so that they end the wait and not the process.
class TerminationSignals {
 public:
  TerminationSignals() {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
  }
  void Wait() const {
    int signal = 0;
    sigwait(&signals_, &signal);
  }

 private:
  sigset_t signals_;
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"A stand-in for the project's web site, on 127.0.0.1", "quillstrand-site"};
  Options options;
  app.add_option("--port", options.port, "Port to listen on; 0 picks a free one")
      ->check(CLI::Range(0, 65535))
      ->capture_default_str();
  app.add_option("--user", options.users, "A user that can log in (repeatable)")
      ->type_name("NAME:PASSWORD")
      ->check([](const std::string& user) {
        return user.find(':') == std::string::npos ? "not NAME:PASSWORD" : "";
      });
  app.add_option("--fault", options.fault, "Misbehave on purpose")
      ->check(CLI::IsMember({"none", "500", "unparsable", "stall", "huge", "trickle", "endless", "slow"}))
      ->capture_default_str();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }

  const TerminationSignals signals;
  try {
    StandInSite site(options.port);
    for (const std::string& user : options.users) {
      const size_t colon = user.find(':');
      site.AddUser(user.substr(0, colon), user.substr(colon + 1));
    }
    site.SetFault(*FaultNamed(options.fault));
    std::cout << "listening on " << site.Address() << std::endl;
    signals.Wait();
  } catch (const std::exception& e) {
    std::cerr << "quillstrand-site: " << e.what() << '\n';
    return 1;
  }
  return 0;
}

#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

// The path of quillstrand-cli in this build, in CliPath.cpp alone: it differs
// from clone to clone, and the files that knew it would compile again in each.
extern const char kCliPath[];

// quillstrand-cli as a process of its own, so that it can be sent signals.
class CliProcess {
 public:
  CliProcess(const std::vector<std::string>& args, const std::string& outPath) {
    std::vector<std::string> all = {kCliPath};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // Signals blocked in this thread would be blocked in the child too.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    const int spawned = posix_spawn(&pid_, argv[0], &files, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) pid_ = -1;
  }
  ~CliProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  void Signal(int signal) const { ::kill(pid_, signal); }
  // The exit status, as waitpid gives it.
  int Wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_ = -1;
};

// Looks every few milliseconds, for ten seconds at most, whether it holds.
template <typename Condition>
bool WaitUntil(Condition condition) {
  for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
       std::chrono::steady_clock::now() < deadline;
       std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
    if (condition()) return true;
  }
  return false;
}

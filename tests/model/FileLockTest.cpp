#include "model/FileLock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "support/TempDir.h"

namespace {

using std::chrono::milliseconds;

TEST(FileLock, OneHolderAtATimeEvenInOneProcess) {
  TempDir dir;
  const std::string settings = dir.file("quillstrand.ini");
  {
    auto first = FileLock::Acquire(settings, milliseconds(0));
    ASSERT_TRUE(first.ok()) << first.error().message;
    const auto second = FileLock::Acquire(settings, milliseconds(50));
    ASSERT_FALSE(second.ok());
    EXPECT_EQ(second.error().code, EWOULDBLOCK);
    EXPECT_NE(second.error().message.find("another quillstrand is changing it"), std::string::npos);
  }
  EXPECT_TRUE(FileLock::Acquire(settings, milliseconds(0)).ok());
}

// A holder that is killed cannot leave the file locked for good.
TEST(FileLock, EndsWithAKilledHolder) {
  TempDir dir;
  const std::string settings = dir.file("quillstrand.ini");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto lock = FileLock::Acquire(settings, milliseconds(0));
    const char byte = lock.ok() ? 'y' : 'n';
    if (::write(ready[1], &byte, 1) != 1) ::_exit(1);
    ::pause();
    ::_exit(0);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ASSERT_EQ(byte, 'y');
  EXPECT_FALSE(FileLock::Acquire(settings, milliseconds(20)).ok());
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_TRUE(FileLock::Acquire(settings, milliseconds(1000)).ok());
  ::close(ready[0]);
  ::close(ready[1]);
}

TEST(FileLock, ALockFileThatCannotBeMadeIsAnError) {
  TempDir dir;
  const std::string regular = dir.write("regular", "");
  const auto lock = FileLock::Acquire(regular + "/quillstrand.ini", milliseconds(0));
  ASSERT_FALSE(lock.ok());
  EXPECT_EQ(lock.error().code, ENOTDIR);
  EXPECT_NE(lock.error().message.find("quillstrand.ini.lock"), std::string::npos);
}

}  // namespace

#include "util/platform/files.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/scratch_dir.h"

namespace vormap {
namespace {

std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

void set_action(int sig, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(sig, &action, nullptr);
}

void (*action_of(int sig))(int) {
  struct sigaction action {};
  sigaction(sig, nullptr, &action);
  return action.sa_handler;
}

extern "C" void programs_own_handler(int) {}

// A save ended by SIGINT, SIGTERM or SIGHUP while its temporary file exists
// removes that file and ends by the same signal, whether the signal reaches
// the writing thread or another one; the old file stays.
TEST(TempFile, AFatalSignalRemovesTheTemporaryFile) {
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
    for (const bool other_thread : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "signal " << sig << (other_thread ? " to another thread" : ""));
      scratch_dir tmp;
      const std::string target = tmp / "saved";
      write_text(target, "old");
      int ready[2];
      ASSERT_EQ(pipe(ready), 0);
      const pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        for (int s : {SIGTERM, SIGINT, SIGHUP}) set_action(s, SIG_DFL);
        sigset_t caught;
        sigemptyset(&caught);
        for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&caught, s);
        pthread_sigmask(SIG_UNBLOCK, &caught, nullptr);
        std::thread worker;
        if (other_thread) {
          // Only the worker may take the signal.
          worker = std::thread([] {
            for (;;) pause();
          });
          pthread_sigmask(SIG_BLOCK, &caught, nullptr);
        }
        platform_temp_file file;
        if (!platform_temp_open(target.c_str(), &file) || !platform_temp_write(&file, "new", 3)) _exit(2);
        if (write(ready[1], "x", 1) != 1) _exit(3);
        for (;;) pause();
      }
      close(ready[1]);
      char x;
      ASSERT_EQ(read(ready[0], &x, 1), 1);
      close(ready[0]);
      EXPECT_EQ(files_in(tmp.path()).size(), 2u) << "the temporary file exists while writing";
      kill(pid, sig);
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "status " << status;
      EXPECT_EQ(files_in(tmp.path()), std::vector<std::string>{"saved"});
      const std::vector<uint8_t> kept = read_bytes(target);
      EXPECT_EQ(std::string(kept.begin(), kept.end()), "old");
    }
  }
}

// The handlers are there only while a temporary file exists, and only for
// signals whose action is the default: a program's own handler, or an
// ignored signal, stays as the program set it.
TEST(TempFile, HandlersOnlyWhileATemporaryFileExistsAndNeverOverTheProgramsOwn) {
  scratch_dir tmp;
  set_action(SIGTERM, SIG_DFL);
  set_action(SIGINT, SIG_IGN);
  set_action(SIGHUP, programs_own_handler);
  platform_temp_file file;
  ASSERT_TRUE(platform_temp_open((tmp / "a").c_str(), &file));
  EXPECT_NE(action_of(SIGTERM), SIG_DFL);
  EXPECT_EQ(action_of(SIGINT), SIG_IGN);
  EXPECT_EQ(action_of(SIGHUP), programs_own_handler);
  // A second file at the same time keeps them; the last one out restores.
  platform_temp_file second;
  ASSERT_TRUE(platform_temp_open((tmp / "b").c_str(), &second));
  ASSERT_TRUE(platform_temp_commit(&file));
  EXPECT_NE(action_of(SIGTERM), SIG_DFL);
  platform_temp_abandon(&second);
  EXPECT_EQ(action_of(SIGTERM), SIG_DFL);
  EXPECT_EQ(action_of(SIGINT), SIG_IGN);
  EXPECT_EQ(action_of(SIGHUP), programs_own_handler);
  EXPECT_EQ(files_in(tmp.path()), std::vector<std::string>{"a"});
  set_action(SIGINT, SIG_DFL);
  set_action(SIGHUP, SIG_DFL);
}

}  // namespace
}  // namespace vormap

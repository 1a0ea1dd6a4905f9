// Runs part of a test in a forked child: as an unprivileged user, under an
// address-space limit, and within a time limit. The part's return value is
// the child's exit status; an exception gives 125, a crash a signal.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <thread>

namespace vormap::testing {

// The user the unprivileged part of a test runs as: "nobody" when this
// process is root (which ignores file permissions), else the current user.
struct plain_user {
  uid_t uid = 0;
  gid_t gid = 0;
  std::string missing;  // why there is none, when there is none
};

inline plain_user find_plain_user() {
  if (geteuid() != 0) return {geteuid(), getegid(), ""};
  const passwd* pw = getpwnam("nobody");
  if (pw == nullptr) return {0, 0, "there is no user 'nobody' to run as"};
  const group* gr = getgrnam("nogroup");
  return {pw->pw_uid, gr ? gr->gr_gid : pw->pw_gid, ""};
}

// Makes `path` (an existing file or folder) the user's, with `mode`. The
// folders above it must let the user through: `open_up` gets o+x.
inline bool give_to(const std::string& path, const plain_user& user, mode_t mode) {
  if (geteuid() == 0 && lchown(path.c_str(), user.uid, user.gid) != 0) return false;
  return chmod(path.c_str(), mode) == 0;
}

inline bool open_up(const std::string& folder) {
  struct stat st;
  return stat(folder.c_str(), &st) == 0 && chmod(folder.c_str(), (st.st_mode & 07777) | 0011) == 0;
}

struct child_limits {
  const plain_user* user = nullptr;  // run as this user
  rlim_t address_space = 0;          // bytes; 0 for no limit
  int seconds = 60;                  // killed when it takes longer
};

struct child_result {
  bool timed_out = false;
  int exit_status = -1;  // -1 when ended by a signal
  int signal = 0;
};

inline std::ostream& operator<<(std::ostream& os, const child_result& r) {
  if (r.timed_out) return os << "timed out";
  if (r.signal != 0) return os << "ended by signal " << r.signal;
  return os << "exit status " << r.exit_status;
}

inline child_result run_in_child(const std::function<int()>& part, const child_limits& limits) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return {};
  if (pid == 0) {
    if (limits.user != nullptr && geteuid() == 0) {
      const gid_t g = limits.user->gid;
      const uid_t u = limits.user->uid;
      if (setgroups(0, nullptr) != 0 || setresgid(g, g, g) != 0 || setresuid(u, u, u) != 0) _exit(120);
    }
    if (limits.address_space != 0) {
      const rlimit limit{limits.address_space, limits.address_space};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(121);
    }
    // An exception must not unwind into the test framework's copy here.
    int status = 125;
    try {
      status = part();
    } catch (...) {
    }
    _exit(status);
  }
  child_result result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limits.seconds);
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0) return result;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      result.timed_out = true;
      return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

// AddressSanitizer reserves terabytes of address space for its shadow: an
// address-space limit cannot be tested under it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool address_space_limit_works = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool address_space_limit_works = false;
#else
constexpr bool address_space_limit_works = true;
#endif
#else
constexpr bool address_space_limit_works = true;
#endif

constexpr rlim_t test_address_space = rlim_t{512} << 20;

}  // namespace vormap::testing

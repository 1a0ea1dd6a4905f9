#include "tests/support/run_process.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace vormap::testing {

namespace {

std::string slurp(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

}  // namespace

process_result run_process(const std::string& program, const std::vector<std::string>& args,
                           const std::string& argv0, const std::string& directory) {
  // Output goes to temporary files, so neither stream can fill a pipe and stall.
  char out_name[] = "/tmp/vormap-test-out-XXXXXX";
  char err_name[] = "/tmp/vormap-test-err-XXXXXX";
  const int out_fd = ::mkstemp(out_name);
  const int err_fd = ::mkstemp(err_name);
  if (out_fd < 0 || err_fd < 0) throw std::runtime_error("mkstemp failed");
  ::unlink(out_name);
  ::unlink(err_name);

  std::vector<std::string> words;
  words.push_back(argv0.empty() ? program : argv0);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::dup2(out_fd, 1);
    ::dup2(err_fd, 2);
    if (!directory.empty() && ::chdir(directory.c_str()) != 0) ::_exit(126);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);

  process_result result;
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.peak_rss_kib = usage.ru_maxrss;
  ::lseek(out_fd, 0, SEEK_SET);
  ::lseek(err_fd, 0, SEEK_SET);
  result.out = slurp(out_fd);
  result.err = slurp(err_fd);
  ::close(out_fd);
  ::close(err_fd);
  return result;
}

}  // namespace vormap::testing

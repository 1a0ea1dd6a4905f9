#include "programs/vxltool/gallery_vormap.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "programs/vxltool/batch_support.h"
#include "programs/vxltool/gallery_options.h"
#include "util/parallel_for.h"
#include "util/platform/files.h"
#include "util/platform/output_file.h"
#include "vormap/vormap.h"

extern char** environ;

namespace vormap {

namespace {

constexpr size_t kept_error_bytes = 4096;

// A map writer killed by a signal leaves its temporary file
// (".NAME.tmpXXXXXX" beside the map) behind; remove it.
void remove_temporary_files(const std::string& dir, const std::string& name) {
  std::vector<platform_dir_entry> entries;
  if (!platform_list_dir(dir.c_str(), &entries)) return;
  const std::string prefix = "." + name + ".tmp";
  for (const platform_dir_entry& entry : entries)
    if (entry.name.size() == prefix.size() + 6 && entry.name.rfind(prefix, 0) == 0)
      ::unlink((dir + "/" + entry.name).c_str());
}

bool run_vormap_into(gallery_run& run, const seed_job& job, const std::string& map_path, std::string& reason);

}  // namespace

bool run_vormap(gallery_run& run, const seed_job& job, std::string& reason) {
  // vormap writes into a new file of the gallery's own, renamed over NAME.vxl
  // once the map is whole: a link planted at NAME.vxl meanwhile is replaced,
  // never followed.
  const std::string map_path = run.path(job, ".vxl");
  std::string temp_path = run.options.outdir + "/." + job.name + ".vxl.tmpXXXXXX";
  const int temp_fd = ::mkostemp(temp_path.data(), O_CLOEXEC);
  if (temp_fd < 0) {
    reason = "cannot write '" + map_path + "': " + std::strerror(errno);
    return false;
  }
  // mkostemp makes the file private; vormap keeps the mode of the file it
  // replaces, so give the one a plain create would.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(temp_fd, 0666 & ~mask);
  ::close(temp_fd);
  const bool made = run_vormap_into(run, job, temp_path, reason);
  if (made && ::rename(temp_path.c_str(), map_path.c_str()) == 0) return true;
  if (made) reason = "cannot replace '" + map_path + "': " + std::strerror(errno);
  ::unlink(temp_path.c_str());
  return false;
}

namespace {

bool run_vormap_into(gallery_run& run, const seed_job& job, const std::string& map_path, std::string& reason) {
  std::vector<std::string> args = {run.vormap, "-s", std::to_string(job.seed), "-o", map_path};
  if (!variant_name(job.options).empty()) args.insert(args.end(), {"--map", map_name(job.options)});
  if (run.options.debug) args.push_back("-d");
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (std::string& e : run.environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  int err_pipe[2];
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) {
    reason = std::string("cannot start vormap: ") + std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
  // The gallery blocks the stop signals in its threads; the child gets them
  // back, so that Ctrl-C reaches it.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, stop_signals;
  sigemptyset(&none);
  sigemptyset(&stop_signals);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stop_signals, s);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &stop_signals);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = -1;
  int spawn_error = 0;
  {
    // Under the lock, so that a stop either sees this child or happened
    // before it would start.
    std::lock_guard lock(run.mutex);
    if (run.stop)
      spawn_error = EINTR;
    else if ((spawn_error = posix_spawn(&pid, run.vormap.c_str(), &actions, &attr, argv.data(), envp.data())) == 0)
      run.children.insert(pid);
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(err_pipe[1]);
  if (spawn_error != 0) {
    ::close(err_pipe[0]);
    reason = spawn_error == EINTR ? "interrupted" : "cannot start " + run.vormap + ": " + std::strerror(spawn_error);
    return false;
  }

  std::string err_text;
  char buffer[512];
  for (;;) {
    const ssize_t n = ::read(err_pipe[0], buffer, sizeof buffer);
    if (n > 0) {
      if (err_text.size() < kept_error_bytes) err_text.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(err_pipe[0]);
  // Wait without reaping first: while the child is unreaped its process id
  // cannot be reused, so a stop never signals a stranger.
  siginfo_t info{};
  while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
  }
  {
    std::lock_guard lock(run.mutex);
    run.children.erase(pid);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;

  // The last line vormap wrote says why.
  while (!err_text.empty() && (err_text.back() == '\n' || err_text.back() == '\r')) err_text.pop_back();
  const size_t line = err_text.rfind('\n');
  const std::string last = line == std::string::npos ? err_text : err_text.substr(line + 1);
  if (WIFSIGNALED(status)) {
    remove_temporary_files(run.options.outdir, map_path.substr(map_path.find_last_of('/') + 1));
    reason = "vormap was stopped by signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) +
             ")";
  } else {
    reason = "vormap ended with status " + std::to_string(WEXITSTATUS(status)) + (last.empty() ? "" : ": " + last);
  }
  return false;
}

// Each job's part of the processors, at least one.
int share_of_processors(int jobs) { return std::max(1, processor_count() / jobs); }

}  // namespace

std::vector<std::string> child_environment(int jobs) {
  std::vector<std::string> env;
  bool has_threads = false;
  for (char** e = environ; *e != nullptr; ++e) {
    env.emplace_back(*e);
    if (env.back().rfind("VORMAP_THREADS=", 0) == 0) has_threads = true;
  }
  if (!has_threads) env.push_back("VORMAP_THREADS=" + std::to_string(share_of_processors(jobs)));
  return env;
}

int map_threads(int jobs) {
  const char* set = std::getenv("VORMAP_THREADS");
  if (set != nullptr && *set != '\0') return thread_count();
  return share_of_processors(jobs);
}

bool make_map_in_process(const gallery_run& run, const seed_job& job, std::vector<uint8_t>& bytes,
                         std::string& reason) {
  try {
    map_options options = job.options;
    options.debug = run.options.debug;
    options.threads = run.map_threads;
    const map made = generate(options);
    bytes = encode_vxl(made, options.threads);
  } catch (const std::bad_alloc&) {
    reason = "not enough memory to make the map";
    return false;
  }
  return write_output_file(run.path(job, ".vxl"),
                           std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), reason,
                           output_links::refuse);
}

}  // namespace vormap

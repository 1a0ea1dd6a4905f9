#include "util/platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>

namespace vormap {

namespace {

platform_file_status status_of(const struct stat& st) {
  platform_file_status s;
  s.is_dir = S_ISDIR(st.st_mode);
  s.size = static_cast<int64_t>(st.st_size);
  // Times after 2038 wrap; the cache only compares them for equality.
  s.last_write_time = static_cast<int32_t>(st.st_mtime);
  return s;
}

// A DIR* that closes itself.
struct dir_handle {
  DIR* dir;
  explicit dir_handle(DIR* d) : dir(d) {}
  ~dir_handle() {
    if (dir) closedir(dir);
  }
  dir_handle(const dir_handle&) = delete;
  dir_handle& operator=(const dir_handle&) = delete;
};

// A descriptor that closes itself.
struct fd_closer {
  int fd;
  ~fd_closer() { close(fd); }
};

}  // namespace

bool platform_stat(const char* path, platform_file_status* status) {
  struct stat st;
  if (lstat(path, &st) != 0) return false;
  *status = status_of(st);
  return true;
}

bool platform_list_dir(const char* path, std::vector<platform_dir_entry>* entries) {
  entries->clear();
  dir_handle d(opendir(path));
  if (d.dir == nullptr) return false;
  const int dfd = dirfd(d.dir);
  for (;;) {
    errno = 0;
    const dirent* e = readdir(d.dir);
    if (e == nullptr) break;
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    struct stat st;
    if (fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    platform_dir_entry entry;
    entry.name = e->d_name;
    if (S_ISLNK(st.st_mode)) {
      struct stat target;
      if (fstatat(dfd, e->d_name, &target, 0) == 0 && !S_ISDIR(target.st_mode)) st = target;
      entry.status = status_of(st);
      entry.status.is_dir = false;
    } else {
      entry.status = status_of(st);
    }
    entries->push_back(std::move(entry));
  }
  return true;
}

platform_read_status platform_read_bounded(const char* path, int64_t limit, std::vector<uint8_t>* data, int* err,
                                           bool follow_link) {
  data->clear();
  *err = 0;
  // O_NONBLOCK: opening a pipe that nobody writes must not wait.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (follow_link ? 0 : O_NOFOLLOW));
  if (fd < 0) {
    *err = errno;
    return *err == ELOOP && !follow_link ? platform_read_status::not_regular : platform_read_status::cannot_open;
  }
  const fd_closer closer{fd};
  struct stat st;
  if (fstat(fd, &st) != 0) {
    *err = errno;
    return platform_read_status::cannot_read;
  }
  if (!S_ISREG(st.st_mode)) return platform_read_status::not_regular;
  if (st.st_size > limit) return platform_read_status::too_large;
  try {
    data->reserve(static_cast<size_t>(st.st_size));
    uint8_t chunk[65536];
    for (;;) {
      const ssize_t n = read(fd, chunk, sizeof chunk);
      if (n < 0) {
        if (errno == EINTR) continue;
        *err = errno;
        data->clear();
        return platform_read_status::cannot_read;
      }
      if (n == 0) break;
      // The file may grow while it is read.
      if (data->size() + static_cast<size_t>(n) > static_cast<size_t>(limit)) {
        data->clear();
        return platform_read_status::too_large;
      }
      data->insert(data->end(), chunk, chunk + n);
    }
  } catch (const std::exception&) {
    *data = std::vector<uint8_t>();
    *err = ENOMEM;
    return platform_read_status::cannot_read;
  }
  return platform_read_status::ok;
}

bool platform_read_file(const char* path, std::vector<uint8_t>* data) {
  int err;
  return platform_read_bounded(path, platform_read_limit, data, &err) == platform_read_status::ok;
}

// ---- removal of temporary files on a fatal signal ----
//
// Each temporary file's path sits in a slot of fixed storage that the signal
// handler reads without locks. A slot is busy while its file is being
// created (the creating thread blocks the signals, and a handler running in
// another thread waits for the few instructions that remain), armed while
// the file exists, and claimed by the first handler that removes it; a
// handler in a second thread waits for that removal to finish before the
// process ends.

namespace {

constexpr int caught_signals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int signal_kinds = sizeof caught_signals / sizeof caught_signals[0];

enum : int { slot_free, slot_busy, slot_armed, slot_claimed, slot_removed };

struct cleanup_slot {
  std::atomic<int> state{slot_free};
  char path[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free slots");

constexpr int slot_count = 16;
cleanup_slot cleanup_slots[slot_count];

// Installation of the handlers, counted by the slots in use.
std::mutex handlers_mutex;
int slots_in_use = 0;
bool handler_installed[signal_kinds];
struct sigaction previous_action[signal_kinds];

extern "C" void remove_temp_files_and_end(int sig) {
  for (cleanup_slot& slot : cleanup_slots) {
    int state = slot.state.load();
    while (state == slot_busy) state = slot.state.load();
    if (state == slot_armed && slot.state.compare_exchange_strong(state, slot_claimed)) {
      unlink(slot.path);
      slot.state.store(slot_removed);
    } else {
      // Another thread's handler is removing it.
      while (slot.state.load() == slot_claimed) {
      }
    }
  }
  // End by the same signal, so that the parent sees how the process ended:
  // the default action, delivered as soon as this handler returns.
  struct sigaction dfl;
  std::memset(&dfl, 0, sizeof dfl);
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(sig, &dfl, nullptr);
  raise(sig);
}

// Blocks the caught signals in the calling thread for its lifetime.
class signal_block {
 public:
  signal_block() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : caught_signals) sigaddset(&set, sig);
    pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~signal_block() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  signal_block(const signal_block&) = delete;
  signal_block& operator=(const signal_block&) = delete;

 private:
  sigset_t old_;
};

void install_handlers() {
  for (int k = 0; k < signal_kinds; ++k) {
    handler_installed[k] = false;
    struct sigaction current;
    if (sigaction(caught_signals[k], nullptr, &current) != 0) continue;
    // Ignored or handled by the program: leave it to the program.
    if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = remove_temp_files_and_end;
    sigemptyset(&action.sa_mask);
    for (int sig : caught_signals) sigaddset(&action.sa_mask, sig);
    if (sigaction(caught_signals[k], &action, &previous_action[k]) == 0) handler_installed[k] = true;
  }
}

void restore_handlers() {
  for (int k = 0; k < signal_kinds; ++k) {
    if (!handler_installed[k]) continue;
    handler_installed[k] = false;
    struct sigaction current;
    // A program that set its own action meanwhile keeps it.
    if (sigaction(caught_signals[k], nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) == 0 &&
        current.sa_handler == remove_temp_files_and_end)
      sigaction(caught_signals[k], &previous_action[k], nullptr);
  }
}

// Takes a free slot (busy) and makes sure the handlers are in place. Returns
// -1 when every slot is taken: that file then has no removal on a signal.
int take_slot() {
  const std::lock_guard<std::mutex> lock(handlers_mutex);
  for (int k = 0; k < slot_count; ++k) {
    int expected = slot_free;
    if (cleanup_slots[k].state.compare_exchange_strong(expected, slot_busy)) {
      if (slots_in_use++ == 0) install_handlers();
      return k;
    }
  }
  return -1;
}

// Gives a slot back once its file is gone or renamed. A slot a handler has
// claimed stays claimed: the process is ending.
void release_slot(int k) {
  if (k < 0) return;
  int expected = slot_armed;
  if (!cleanup_slots[k].state.compare_exchange_strong(expected, slot_free)) {
    expected = slot_busy;
    if (!cleanup_slots[k].state.compare_exchange_strong(expected, slot_free)) return;
  }
  const std::lock_guard<std::mutex> lock(handlers_mutex);
  if (--slots_in_use == 0) restore_handlers();
}

// Whether this process may open the existing file `path` for writing: its
// own permissions decide, as they would for writing it in place (a rename
// would ignore them).
bool may_open_for_writing(const char* path, int* error) {
  const int fd = open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return false;
  }
  close(fd);
  return true;
}

// What an existing target is, for writing.
enum class target_kind { missing, regular, link_to_file, refused };

target_kind classify_target(const char* target, int* error) {
  struct stat st;
  if (lstat(target, &st) != 0) {
    if (errno == ENOENT) return target_kind::missing;
    *error = errno;
    return target_kind::refused;
  }
  if (S_ISLNK(st.st_mode)) {
    struct stat to;
    if (stat(target, &to) != 0) {
      // A link to nothing yet is written through: the file is created.
      if (errno == ENOENT) return target_kind::link_to_file;
      *error = errno;
      return target_kind::refused;
    }
    if (S_ISREG(to.st_mode)) return may_open_for_writing(target, error) ? target_kind::link_to_file : target_kind::refused;
    st = to;
  } else if (S_ISREG(st.st_mode)) {
    return may_open_for_writing(target, error) ? target_kind::regular : target_kind::refused;
  }
  *error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  return target_kind::refused;
}

// Opens the file a link leads to, for writing in place.
bool open_through_link(platform_temp_file* file) {
  file->fd = open(file->target.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (file->fd < 0) {
    file->error = errno;
    file->target_refused = true;
    return false;
  }
  struct stat st;
  if (fstat(file->fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    // Replaced by something else since it was looked at.
    file->error = EINVAL;
    file->target_refused = true;
    close(file->fd);
    file->fd = -1;
    return false;
  }
  file->in_place = true;
  return true;
}

}  // namespace

bool platform_may_replace(const char* target, int* error) {
  int err = 0;
  const bool ok = classify_target(target, &err) != target_kind::refused;
  if (error != nullptr) *error = ok ? 0 : err;
  return ok;
}

bool platform_temp_open(const char* target, platform_temp_file* file) {
  *file = platform_temp_file();
  file->target = target;
  const target_kind kind = classify_target(target, &file->error);
  if (kind == target_kind::refused) {
    file->target_refused = true;
    return false;
  }
  if (kind == target_kind::link_to_file) return open_through_link(file);
  // Same folder as the target, so that the rename cannot cross file systems.
  const char* slash = std::strrchr(target, '/');
  const std::string folder = slash ? std::string(target, static_cast<size_t>(slash - target) + 1) : std::string();
  const std::string base = slash ? std::string(slash + 1) : std::string(target);
  std::string name = folder + "." + base + ".tmpXXXXXX";
  if (name.size() >= PATH_MAX) {
    file->error = ENAMETOOLONG;
    return false;
  }
  {
    // The file must not exist unseen by the handler: create it with the
    // signals blocked here, in the slot the handler reads.
    const signal_block block;
    file->cleanup_slot = take_slot();
    char* buffer = name.data();
    if (file->cleanup_slot >= 0) {
      buffer = cleanup_slots[file->cleanup_slot].path;
      std::memcpy(buffer, name.c_str(), name.size() + 1);
    }
    file->fd = mkostemp(buffer, O_CLOEXEC);
    if (file->fd < 0) {
      file->error = errno;
      release_slot(file->cleanup_slot);
      file->cleanup_slot = -1;
      return false;
    }
    name = buffer;
    if (file->cleanup_slot >= 0) cleanup_slots[file->cleanup_slot].state.store(slot_armed);
  }
  file->temp_path = name;
  // mkostemp makes the file private: keep the permissions of a file being
  // replaced, or give those a plain create would.
  mode_t mode;
  struct stat st;
  if (stat(target, &st) == 0 && S_ISREG(st.st_mode)) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  if (fchmod(file->fd, mode) != 0) {
    file->error = errno;
    platform_temp_abandon(file);
    return false;
  }
  return true;
}

bool platform_temp_write(platform_temp_file* file, const void* data, size_t length) {
  if (file->fd < 0) return false;
  if (file->in_place && !file->emptied) {
    if (ftruncate(file->fd, 0) != 0) {
      file->error = errno;
      return false;
    }
    file->emptied = true;
  }
  const int err = platform_write_all(file->fd, data, length);
  if (err != 0) {
    file->error = err;
    return false;
  }
  return true;
}

int platform_write_all(int fd, const void* data, size_t length) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (length > 0) {
    const ssize_t n = write(fd, p, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    p += n;
    length -= static_cast<size_t>(n);
  }
  return 0;
}

bool platform_temp_commit(platform_temp_file* file) {
  if (file->fd < 0) return false;
  bool ok = true;
  if (file->in_place && !file->emptied) ok = platform_temp_write(file, nullptr, 0);
  if (ok && fsync(file->fd) != 0) {
    file->error = errno;
    ok = false;
  }
  if (close(file->fd) != 0 && ok) {
    file->error = errno;
    ok = false;
  }
  file->fd = -1;
  if (file->in_place) return ok;
  const signal_block block;
  if (ok && rename(file->temp_path.c_str(), file->target.c_str()) != 0) {
    file->error = errno;
    file->replace_failed = true;
    ok = false;
  }
  // Renamed or removed before the slot is given back: a signal in between
  // finds no file to remove, never a file left behind.
  if (!ok) unlink(file->temp_path.c_str());
  release_slot(file->cleanup_slot);
  file->cleanup_slot = -1;
  return ok;
}

void platform_temp_abandon(platform_temp_file* file) {
  if (file->fd < 0) return;
  close(file->fd);
  file->fd = -1;
  if (file->in_place) return;
  const signal_block block;
  unlink(file->temp_path.c_str());
  release_slot(file->cleanup_slot);
  file->cleanup_slot = -1;
}

bool platform_replace_file(const char* path, const void* data, size_t length) {
  platform_temp_file file;
  if (!platform_temp_open(path, &file)) return false;
  if (!platform_temp_write(&file, data, length)) {
    platform_temp_abandon(&file);
    return false;
  }
  return platform_temp_commit(&file);
}

}  // namespace vormap

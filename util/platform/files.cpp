#include "util/platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

bool platform_read_file(const char* path, std::vector<uint8_t>* data) {
  data->clear();
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    return false;
  }
  uint8_t chunk[65536];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      close(fd);
      data->clear();
      return false;
    }
    if (n == 0) break;
    data->insert(data->end(), chunk, chunk + n);
  }
  close(fd);
  return true;
}

bool platform_temp_open(const char* target, platform_temp_file* file) {
  file->target = target;
  // Same folder as the target, so that the rename cannot cross file systems.
  const char* slash = std::strrchr(target, '/');
  const std::string folder = slash ? std::string(target, static_cast<size_t>(slash - target) + 1) : std::string();
  const std::string base = slash ? std::string(slash + 1) : std::string(target);
  std::string name = folder + "." + base + ".tmpXXXXXX";
  file->fd = mkostemp(name.data(), O_CLOEXEC);
  if (file->fd < 0) {
    file->error = errno;
    return false;
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
  const auto* p = static_cast<const uint8_t*>(data);
  while (length > 0) {
    const ssize_t n = write(file->fd, p, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      file->error = errno;
      return false;
    }
    p += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool platform_temp_commit(platform_temp_file* file) {
  if (file->fd < 0) return false;
  bool ok = fsync(file->fd) == 0;
  if (!ok) file->error = errno;
  if (close(file->fd) != 0 && ok) {
    file->error = errno;
    ok = false;
  }
  file->fd = -1;
  if (ok && rename(file->temp_path.c_str(), file->target.c_str()) != 0) {
    file->error = errno;
    file->replace_failed = true;
    ok = false;
  }
  if (!ok) unlink(file->temp_path.c_str());
  return ok;
}

void platform_temp_abandon(platform_temp_file* file) {
  if (file->fd < 0) return;
  close(file->fd);
  file->fd = -1;
  unlink(file->temp_path.c_str());
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

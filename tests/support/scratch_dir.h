// A temporary folder for a test, removed with everything in it afterwards,
// with the registry root pointed inside it so no test touches the real one.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "util/platform/registry.h"

namespace vormap {

class scratch_dir {
 public:
  scratch_dir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vormap-test-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    path_ = tmpl;
    const std::string registry = path_ + "/registry";
    setenv(registry_root_variable, registry.c_str(), 1);
  }
  ~scratch_dir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    unsetenv(registry_root_variable);
  }
  scratch_dir(const scratch_dir&) = delete;
  scratch_dir& operator=(const scratch_dir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void make_dirs(const std::string& path) { std::filesystem::create_directories(path); }

inline void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void write_text(const std::string& path, const std::string& text) {
  write_bytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

inline std::vector<uint8_t> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

// The whole file as a string; empty when it cannot be read.
inline std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Sets the modification time (seconds since the epoch) of a file or folder.
inline void set_mtime(const std::string& path, int64_t seconds) {
  const timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
  if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) std::abort();
}

// Inode number: a file replaced by rename gets a new one.
inline ino_t inode_of(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Runs with the working directory changed, restoring it afterwards.
class working_dir {
 public:
  explicit working_dir(const std::string& path) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~working_dir() { std::filesystem::current_path(old_); }
  working_dir(const working_dir&) = delete;
  working_dir& operator=(const working_dir&) = delete;

 private:
  std::filesystem::path old_;
};

}  // namespace vormap

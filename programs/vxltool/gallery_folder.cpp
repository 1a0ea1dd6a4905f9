#include "programs/vxltool/gallery_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "util/platform/files.h"

namespace vormap {

outdir_lock::~outdir_lock() {
  if (fd_ >= 0) ::close(fd_);
}

bool outdir_lock::take(const std::string& dir, std::string& error) {
  fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) {
    error = "cannot open folder '" + dir + "': " + std::strerror(errno);
    return false;
  }
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
  error = errno == EWOULDBLOCK ? "another gallery is writing in '" + dir + "'; run this one when it has finished"
                               : "cannot lock folder '" + dir + "': " + std::strerror(errno);
  return false;
}

namespace {

// Removes ".tmpXXXXXX" (six letters or digits) from the end of `name`.
bool strip_temporary_suffix(std::string_view& name) {
  constexpr size_t length = 10;
  if (name.size() < length || name.substr(name.size() - length, 4) != ".tmp") return false;
  for (char c : name.substr(name.size() - 6))
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  name.remove_suffix(length);
  return true;
}

// Whether `name` is a temporary file the file writer or vormap makes for a
// file the gallery writes: ".NAME.tmpXXXXXX", where vormap's own writer may
// add a second dot and a second ".tmpXXXXXX", and NAME is SEED.vxl,
// (SEED+VARIANT for a variant's files)
// SEED.png, SEED.thumb.png, SEED.html, SEED.made, index.html or figures.csv
// or figures.json.
bool is_own_temporary_file(std::string_view name) {
  if (!name.starts_with('.')) return false;
  name.remove_prefix(1);
  if (name.starts_with('.')) name.remove_prefix(1);
  if (!strip_temporary_suffix(name)) return false;
  strip_temporary_suffix(name);
  if (name == "index.html" || name == "figures.csv" || name == "figures.json") return true;
  for (std::string_view suffix : {".thumb.png", ".vxl", ".png", ".html", ".made"}) {
    if (!name.ends_with(suffix)) continue;
    std::string_view seed = name.substr(0, name.size() - suffix.size());
    // A variant's files: SEED+VARIANT, the variant in a map name's letters.
    if (const size_t plus = seed.find('+'); plus != std::string_view::npos) {
      const std::string_view variant = seed.substr(plus + 1);
      if (variant.empty() || variant.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789=.,") != std::string_view::npos)
        return false;
      seed = seed.substr(0, plus);
    }
    if (seed.starts_with('-')) seed.remove_prefix(1);
    return !seed.empty() && seed.find_first_not_of("0123456789") == std::string_view::npos;
  }
  return false;
}

}  // namespace

void remove_stale_temporary_files(const std::string& dir) {
  std::vector<platform_dir_entry> entries;
  if (!platform_list_dir(dir.c_str(), &entries)) return;
  for (const platform_dir_entry& entry : entries) {
    if (!is_own_temporary_file(entry.name)) continue;
    const std::string path = dir + "/" + entry.name;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(path.c_str());
  }
}

}  // namespace vormap

#include "programs/vxltool/gallery_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <regex>
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

void remove_stale_temporary_files(const std::string& dir) {
  // The names the file writer and vormap give their temporary files, for
  // the names the gallery writes.
  static const std::regex own(
      R"(\.(\.)?(-?[0-9]+\.(vxl|png|thumb\.png|html|made)|index\.html)\.tmp[A-Za-z0-9]{6}(\.tmp[A-Za-z0-9]{6})?)");
  std::vector<platform_dir_entry> entries;
  if (!platform_list_dir(dir.c_str(), &entries)) return;
  for (const platform_dir_entry& entry : entries) {
    if (!std::regex_match(entry.name, own)) continue;
    const std::string path = dir + "/" + entry.name;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(path.c_str());
  }
}

}  // namespace vormap

// What the gallery does to OUTDIR as a whole before it starts: takes it for
// itself, and clears what an earlier run that was killed left.
#pragma once

#include <string>

namespace vormap {

// An exclusive lock on OUTDIR for this process's lifetime (or until
// release): a second gallery on the same folder is refused rather than
// mixing its maps with this one's.
class outdir_lock {
 public:
  outdir_lock() = default;
  ~outdir_lock();
  outdir_lock(const outdir_lock&) = delete;
  outdir_lock& operator=(const outdir_lock&) = delete;

  // Returns false with a one-line reason when the folder cannot be opened or
  // another gallery holds it.
  bool take(const std::string& dir, std::string& error);

 private:
  int fd_ = -1;
};

// Removes the temporary files a killed run left in `dir`: only regular files
// named as the gallery's own (".SEED.vxl.tmpXXXXXX", "..SEED.vxl.tmpXXXXXX.tmpXXXXXX"
// of the vormap it ran, ".index.html.tmpXXXXXX", ...). Call with the lock held.
void remove_stale_temporary_files(const std::string& dir);

}  // namespace vormap

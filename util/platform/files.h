// File-system access for the utility library on POSIX systems: file status,
// directory listing, whole-file reads and atomic file replacement.
//
// Names are the bytes the file system returns (UTF-8 on any sane system);
// sizes are 64-bit; times are seconds since the epoch, cut to 32 bits.
// Symbolic links are never followed into directories, so a link cycle cannot
// make a recursive listing loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vormap {

struct platform_file_status {
  bool is_dir = false;        // a real directory (never a link to one)
  int64_t size = 0;           // bytes
  int32_t last_write_time = 0;  // seconds since the epoch
};

struct platform_dir_entry {
  std::string name;  // bare name, never "." or ".."
  platform_file_status status;
};

// Status of `path` itself: a symbolic link is reported as a non-directory.
// Returns false when the path does not exist or cannot be examined.
bool platform_stat(const char* path, platform_file_status* status);

// Lists the entries of directory `path` in the order the system returns
// them. A symbolic link is a non-directory entry carrying the size and time
// of its target when that is not a directory, else of the link itself.
// Returns false (and leaves *entries empty) when the directory cannot be
// opened; entries that vanish while listing are left out.
bool platform_list_dir(const char* path, std::vector<platform_dir_entry>* entries);

// Reads the whole file. Returns false when it cannot be opened or read.
bool platform_read_file(const char* path, std::vector<uint8_t>* data);

// A temporary file beside `target` that replaces it in one step on commit,
// so that readers see either the old or the new content, never a part.
struct platform_temp_file {
  int fd = -1;
  std::string temp_path;
  std::string target;
  int error = 0;                // errno of the step that failed
  bool replace_failed = false;  // the data was complete but the rename failed
};

// Creates the temporary file, with the permissions of the regular file it
// will replace, or those a plain create would give. Returns false when it
// cannot be created (for example when the target's folder does not exist).
bool platform_temp_open(const char* target, platform_temp_file* file);
// Appends bytes. Returns false on a write error.
bool platform_temp_write(platform_temp_file* file, const void* data, size_t length);
// Flushes, closes and renames the temporary file over the target. Returns
// false (and removes the temporary file) when any step fails.
bool platform_temp_commit(platform_temp_file* file);
// Closes and removes the temporary file; the target is left as it was.
void platform_temp_abandon(platform_temp_file* file);

// Replaces `path` with `length` bytes of `data` through a temporary file.
bool platform_replace_file(const char* path, const void* data, size_t length);

}  // namespace vormap

// File-system access for the utility library on POSIX systems: file status,
// directory listing, bounded whole-file reads and atomic file replacement.
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

// The largest file platform_read_file reads: far beyond any cache,
// configuration or registry file, and small enough to hold in memory.
constexpr int64_t platform_read_limit = int64_t{1} << 30;

// Reads the whole file. Returns false when it cannot be opened or read, when
// it is not a regular file (a pipe or a device such as /dev/zero could block
// or never end), when it holds more than platform_read_limit bytes, or when
// memory runs out.
bool platform_read_file(const char* path, std::vector<uint8_t>* data);

// Why platform_read_bounded did not read a file.
enum class platform_read_status { ok, cannot_open, not_regular, too_large, cannot_read };

// Reads the whole file at `path`, at most `limit` bytes. The file is opened
// without blocking and without following a final symbolic link when
// `follow_link` is false; anything but a regular file (a pipe, a device, a
// folder) is refused before a byte is read. On a failure other than
// not_regular and too_large, *err holds the errno value.
platform_read_status platform_read_bounded(const char* path, int64_t limit, std::vector<uint8_t>* data, int* err,
                                           bool follow_link = true);

// Writes a file so that readers see either its old or its new content:
// through a temporary file beside `target` that is renamed over it on
// commit. An existing target is never replaced when this process could not
// open it for writing itself (a read-only file stays as it is, even where
// the folder would allow the rename). A symbolic link is written through,
// in place: the file it points to gets the new content (it is emptied at the
// first write) and the link stays. Any other kind of file (directory, pipe,
// device) is refused.
//
// While a temporary file exists, SIGINT, SIGTERM and SIGHUP remove it before
// the process ends by that signal (a shell reports 128 + its number), in
// whichever thread the signal arrives. The handlers are installed only for
// signals whose action is the default, only while a temporary file exists,
// and the previous actions are restored afterwards; a program that handles
// or ignores one of these signals itself keeps doing so. SIGKILL cannot be
// caught: it may leave a temporary file ".NAME.tmpXXXXXX" behind.
struct platform_temp_file {
  int fd = -1;
  std::string temp_path;        // empty when writing in place through a link
  std::string target;
  bool in_place = false;        // writing through a symbolic link
  bool emptied = false;         // in place: the old content is gone
  int cleanup_slot = -1;        // where the signal handler finds temp_path
  int error = 0;                // errno of the step that failed
  bool target_refused = false;  // the existing target may not be written
  bool replace_failed = false;  // the data was complete but the rename failed
};

// Whether platform_temp_open would accept `target` as far as the target
// itself goes (its folder is not tried): true when it does not exist, or
// when it is, or a link leads to, a regular file this process may open for
// writing. On false, *error (when given) holds the reason.
bool platform_may_replace(const char* target, int* error);

// Creates the temporary file, with the permissions of the regular file it
// will replace, or those a plain create would give; or opens the file a link
// leads to. Returns false (target_refused set) when the target may not be
// written, or when the temporary file cannot be created (for example when
// the target's folder does not exist).
bool platform_temp_open(const char* target, platform_temp_file* file);
// Appends bytes. Returns false on a write error.
bool platform_temp_write(platform_temp_file* file, const void* data, size_t length);
// Flushes, closes and renames the temporary file over the target. Returns
// false (and removes the temporary file) when any step fails.
bool platform_temp_commit(platform_temp_file* file);
// Closes and removes the temporary file; the target is left as it was
// (written in place through a link, it may already be emptied or partly
// written).
void platform_temp_abandon(platform_temp_file* file);

// Replaces `path` with `length` bytes of `data` through a temporary file.
// Writes all `length` bytes of `data` to the descriptor `fd`, retrying short
// and interrupted writes. Returns 0, or the errno value of the failed write.
int platform_write_all(int fd, const void* data, size_t length);

bool platform_replace_file(const char* path, const void* data, size_t length);

}  // namespace vormap

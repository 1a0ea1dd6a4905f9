// Writing a program's output file whole or not at all: the one way the map,
// the tools' pictures, pages and meshes, and the gallery's files are written.
#pragma once

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace vormap {

// What happens when the output path is a symbolic link.
enum class output_links {
  // Written through, in place: the file the link leads to is emptied and
  // gets the new content, the link stays (the map writer's rule).
  write_through,
  // The file the link leads to is replaced as a whole, as a regular file is,
  // so a failure leaves it as it was; the link stays. A link to nothing is
  // written through.
  replace_target,
  // Refused, as are special files: for files a program writes in a folder
  // others may write in, where a planted link must never be followed.
  refuse,
};

// Where content goes: takes `size` bytes at `data`, returns 0 or an errno
// value (the first failure is kept; later calls may be skipped).
using output_sink = std::function<int(const void* data, size_t size)>;

// Writes what `produce` hands to the sink it is given to `path`. A regular
// file (or a new one) is replaced by renaming a completely written temporary
// file beside it, so a failure leaves no half-written file and an existing
// one as it was; a file this process may not write is not replaced; a
// special file (a pipe, /dev/stdout) is written in place; links as `links`
// says. `produce` returns 0, an errno value from the sink, or -1 when it
// cannot make the content (with the reason in its string); an exception it
// throws is a failure too, with its message as the reason.
//
// Returns false with one line in `error`: "cannot open 'PATH': reason" (the
// file may not be written), "cannot create" (no temporary file beside it),
// "cannot write" (a write failed, or the content could not be made),
// "cannot replace" (the finished file could not be renamed into place).
bool write_output_file(const std::string& path, const std::function<int(const output_sink&, std::string&)>& produce,
                       std::string& error, output_links links);

// The same for content written to a stream: `produce` returns false with a
// reason when it cannot make the content.
bool write_output_stream(const std::string& path, const std::function<bool(std::ostream&, std::string&)>& produce,
                         std::string& error, output_links links = output_links::replace_target);

// The same for content already in memory.
bool write_output_file(const std::string& path, std::string_view data, std::string& error,
                       output_links links = output_links::replace_target);

}  // namespace vormap

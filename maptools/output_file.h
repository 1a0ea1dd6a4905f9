// Writing a tool's output file whole or not at all.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace vormap {

// What happens when the output path is a symbolic link.
enum class output_links {
  // The file the link leads to gets the new content, the link stays. An
  // existing file there is replaced as a whole, as a regular file is, so a
  // failure leaves it as it was; a link to nothing is written through.
  follow,
  // Refused: for files a program writes in a folder others may write in
  // (a shared gallery folder), where a planted link must never be followed.
  // Special files are refused too.
  refuse,
};

// Writes what `produce` puts into the stream it is given to `path`. A regular
// file (or a new one) is replaced by renaming a completely written temporary
// file beside it, so a failure leaves no half-written file and an existing
// one as it was; a special file (a pipe, /dev/stdout) is written in place.
// `produce` returns false with a reason in its string when it cannot make the
// content; an exception it throws is a failure too, with its message as the
// reason. Returns false with "cannot write 'PATH': reason" (or "cannot
// open", "cannot replace") in `error`.
bool write_output_file(const std::string& path, const std::function<bool(std::ostream&, std::string&)>& produce,
                       std::string& error, output_links links = output_links::follow);

// The same for content already in memory.
bool write_output_file(const std::string& path, std::string_view data, std::string& error,
                       output_links links = output_links::follow);

}  // namespace vormap

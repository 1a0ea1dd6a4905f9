// Writing a tool's output file whole or not at all.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace vormap {

// Writes what `produce` puts into the stream it is given to `path`. A regular
// file (or a new one) is replaced by renaming a completely written temporary
// file beside it, so a failure leaves no half-written file and an existing
// one as it was; a symbolic link or a special file (a pipe, /dev/stdout) is
// written in place. `produce` returns false with a reason in its string when
// it cannot make the content. Returns false with "cannot write 'PATH':
// reason" (or "cannot open", "cannot replace") in `error`.
bool write_output_file(const std::string& path, const std::function<bool(std::ostream&, std::string&)>& produce,
                       std::string& error);

// The same for content already in memory.
bool write_output_file(const std::string& path, std::string_view data, std::string& error);

}  // namespace vormap

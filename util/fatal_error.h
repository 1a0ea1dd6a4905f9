// The library's error exit for internal consistency failures and misuse that
// cannot be reported through a return value.
#pragma once

namespace vormap {

// Remembers a source location that the next fatal_error prefixes to its
// message as "[file:line] ". A null file clears it. `file` is kept by
// reference and must outlive the call to fatal_error (a literal).
void set_error_location(const char* file, int line);

// Writes "[file:line] " (when a location was set), "Fatal error: ", the
// printf-formatted message and a newline to standard error, then ends the
// process with exit status 1. Never returns.
[[noreturn]] void fatal_error(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vormap

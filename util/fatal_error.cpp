#include "util/fatal_error.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace vormap {

namespace {
const char* error_file = nullptr;
int error_line = 0;
}  // namespace

void set_error_location(const char* file, int line) {
  error_file = file;
  error_line = line;
}

void fatal_error(const char* format, ...) {
  if (error_file != nullptr) std::fprintf(stderr, "[%s:%d] ", error_file, error_line);
  std::fputs("Fatal error: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  std::exit(1);
}

}  // namespace vormap

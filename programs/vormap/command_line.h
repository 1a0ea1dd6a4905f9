// The entry point's logic: options, the start and end messages, generation
// and writing the map.
#pragma once

#include <cstdint>

namespace vormap {

inline constexpr const char* default_output_path = "/program files/iron quarry/vxl/vormap.vxl";

// Exit statuses.
inline constexpr int exit_ok = 0;
inline constexpr int exit_write_failed = 1;  // the map could not be written
inline constexpr int exit_usage = 2;         // a malformed command line

// Decimal text to a seed, as the C library's atoi does it but with defined
// wrap-around: leading white space, one optional sign, digits up to the first
// non-digit, accumulated modulo 2^32. Text without digits gives 0.
int32_t parse_seed(const char* text);

// The parsed command line of the run, kept for the life of the process.
extern char** option_list;

// Runs the program for the given command line and returns its exit status.
// Rewrites argv in place.
int vormap_main(int argc, char** argv);

}  // namespace vormap

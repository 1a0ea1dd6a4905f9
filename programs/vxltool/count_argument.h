// Small whole-number options of the tools (--jobs, --scale).
#pragma once

#include <string_view>

namespace vormap {

// Reads `text` as a whole number from 1 to `max` (decimal digits only, no
// sign or spaces). Returns false, leaving `count` as it was, otherwise.
bool parse_count_argument(std::string_view text, int max, int& count);

}  // namespace vormap

#include "programs/vxltool/count_argument.h"

namespace vormap {

bool parse_count_argument(std::string_view text, int max, int& count) {
  if (text.empty()) return false;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
    if (value > max) return false;  // also keeps long digit strings from overflowing
  }
  if (value < 1) return false;
  count = static_cast<int>(value);
  return true;
}

}  // namespace vormap

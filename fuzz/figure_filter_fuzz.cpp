// Feeds arbitrary text to the search's --where parser: it accepts or refuses
// without crashing, however deep the nesting; a refusal is one line of
// printable, valid UTF-8; an accepted expression evaluates, and wrapped in
// `not (...)` it gives the opposite answer on every figure set tried.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "util/quoted_text.h"
#include "programs/vxltool/figure_filter.h"

using namespace vormap;

namespace {

bool printable_utf8(const std::string& text) {
  for (size_t k = 0; k < text.size();) {
    const auto c = static_cast<unsigned char>(text[k]);
    if (c < 0x20 || c == 0x7F) return false;
    const size_t length = utf8_length(text, k);
    if (length == 0) return false;
    if (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[k + 1]) < 0xA0) return false;
    k += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  figure_filter filter;
  std::string error;
  if (!filter.parse(text, error)) {
    if (error.empty() || !printable_utf8(error) || error.size() > 1000) std::abort();
    return 0;
  }
  map_figures sets[3];
  sets[1].water_percent = 12.5;
  sets[1].fairness = 0.5;
  sets[1].trees = 300;
  sets[2].height_advantage = -4;
  sets[2].blue.cover = 1000;
  figure_filter negated;
  const bool wrapped = negated.parse("not (" + text + "\n)", error);
  for (const map_figures& f : sets)
    if (wrapped && negated.passes(f) == filter.passes(f)) std::abort();
  return 0;
}

// The page's entry points: make a seed's map file in the module's memory.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <vector>

#include "vormap/vormap.h"

namespace {

// The last map made; its bytes stay valid until the next call.
std::vector<uint8_t> result;

}  // namespace

extern "C" {

// Makes the map `vormap -s seed` (with -d when `debug`) writes and returns
// its bytes, vormap_result_size() long. When memory runs out the module
// aborts (the caller sees a JavaScript exception and starts a new one).
EMSCRIPTEN_KEEPALIVE const uint8_t* vormap_make(int32_t seed, int debug) {
  std::vector<uint8_t>().swap(result);
  vormap::map_options options;
  options.seed = seed;
  options.debug = debug != 0;
  options.threads = 1;
  result = vormap::encode_vxl(vormap::generate(options), 1);
  return result.data();
}

EMSCRIPTEN_KEEPALIVE size_t vormap_result_size() { return result.size(); }

}  // extern "C"

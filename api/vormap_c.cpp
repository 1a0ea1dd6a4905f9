#include "vormap/vormap_c.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "vormap/vormap.h"

extern "C" {

int vormap_make_vxl(int32_t seed, int debug, unsigned char** bytes, size_t* size) {
  if (bytes != nullptr) *bytes = nullptr;
  if (size != nullptr) *size = 0;
  if (bytes == nullptr || size == nullptr) return VORMAP_ERROR_ARGUMENT;
  // Nothing may unwind into a C caller.
  try {
    vormap::map_options options;
    options.seed = seed;
    options.debug = debug != 0;
    const std::vector<uint8_t> file = vormap::encode_vxl(vormap::generate(options));
    auto* buffer = static_cast<unsigned char*>(std::malloc(file.size()));
    if (buffer == nullptr) return VORMAP_ERROR_MEMORY;
    std::memcpy(buffer, file.data(), file.size());
    *bytes = buffer;
    *size = file.size();
    return VORMAP_OK;
  } catch (const std::bad_alloc&) {
    return VORMAP_ERROR_MEMORY;
  } catch (...) {
    return VORMAP_ERROR_INTERNAL;
  }
}

void vormap_free(void* buffer) { std::free(buffer); }

const char* vormap_error_string(int code) {
  switch (code) {
    case VORMAP_OK: return "no error";
    case VORMAP_ERROR_ARGUMENT: return "a null pointer where an output was expected";
    case VORMAP_ERROR_MEMORY: return "not enough memory for the map";
    case VORMAP_ERROR_INTERNAL: return "internal error";
    default: return "unknown error code";
  }
}

}  // extern "C"

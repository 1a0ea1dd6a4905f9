#include "vormap/vormap_c.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <cstring>
#include <new>
#include <vector>

#include "vormap/vormap.h"

extern "C" {

namespace {

// The C options as the library's; false when an enumerated field holds no
// known value.
bool to_options(const vormap_options& c, vormap::map_options& o) {
  if (c.lake < 0 || c.lake > 3 || c.symmetry < 0 || c.symmetry > 2 || c.keep < 0 || c.keep > 1) return false;
  o.seed = c.seed;
  o.debug = c.debug != 0;
  o.threads = c.threads;
  o.lake = static_cast<vormap::lake_edge>(c.lake);
  o.symmetry = static_cast<vormap::map_symmetry>(c.symmetry);
  o.keep = static_cast<vormap::map_half>(c.keep);
  o.water = c.water;
  o.trees = c.trees;
  o.hills = c.hills;
  return vormap::check_map_options(o).empty();
}

void from_options(const vormap::map_options& o, vormap_options& c) {
  c.seed = o.seed;
  c.debug = o.debug ? 1 : 0;
  c.threads = o.threads;
  c.lake = static_cast<int>(o.lake);
  c.symmetry = static_cast<int>(o.symmetry);
  c.keep = static_cast<int>(o.keep);
  c.water = o.water;
  c.trees = o.trees;
  c.hills = o.hills;
}

int make_vxl(const vormap::map_options& options, unsigned char** bytes, size_t* size) {
  // Nothing may unwind into a C caller.
  try {
    const std::vector<uint8_t> file = vormap::encode_vxl(vormap::generate(options), options.threads);
    auto* buffer = static_cast<unsigned char*>(std::malloc(file.size()));
    if (buffer == nullptr) return VORMAP_ERROR_MEMORY;
    std::memcpy(buffer, file.data(), file.size());
    *bytes = buffer;
    *size = file.size();
    return VORMAP_OK;
  } catch (const std::bad_alloc&) {
    return VORMAP_ERROR_MEMORY;
  } catch (const std::invalid_argument&) {
    return VORMAP_ERROR_OPTION;
  } catch (...) {
    return VORMAP_ERROR_INTERNAL;
  }
}

}  // namespace

int vormap_make_vxl(int32_t seed, int debug, unsigned char** bytes, size_t* size) {
  if (bytes != nullptr) *bytes = nullptr;
  if (size != nullptr) *size = 0;
  if (bytes == nullptr || size == nullptr) return VORMAP_ERROR_ARGUMENT;
  vormap::map_options options;
  options.seed = seed;
  options.debug = debug != 0;
  return make_vxl(options, bytes, size);
}

int vormap_make_vxl_with_options(const vormap_options* options, unsigned char** bytes, size_t* size) {
  if (bytes != nullptr) *bytes = nullptr;
  if (size != nullptr) *size = 0;
  if (options == nullptr || bytes == nullptr || size == nullptr) return VORMAP_ERROR_ARGUMENT;
  vormap::map_options o;
  if (!to_options(*options, o)) return VORMAP_ERROR_OPTION;
  return make_vxl(o, bytes, size);
}

void vormap_options_init(vormap_options* options) {
  if (options != nullptr) from_options(vormap::map_options{}, *options);
}

int vormap_options_from_name(const char* name, vormap_options* options) {
  if (name == nullptr || options == nullptr) return VORMAP_ERROR_ARGUMENT;
  try {
    vormap::map_options o;
    o.debug = options->debug != 0;
    o.threads = options->threads;
    if (!vormap::parse_map_name(name, o).empty()) return VORMAP_ERROR_OPTION;
    from_options(o, *options);
    return VORMAP_OK;
  } catch (...) {
    return VORMAP_ERROR_MEMORY;
  }
}

int vormap_options_name(const vormap_options* options, char* buffer, size_t capacity) {
  if (options == nullptr) return -1;
  try {
    vormap::map_options o;
    if (!to_options(*options, o)) return -1;
    const std::string name = vormap::map_name(o);
    if (buffer != nullptr && capacity > 0) {
      const size_t n = std::min(name.size(), capacity - 1);
      std::memcpy(buffer, name.data(), n);
      buffer[n] = '\0';
    }
    return static_cast<int>(name.size());
  } catch (...) {
    return -1;
  }
}

void vormap_free(void* buffer) { std::free(buffer); }

const char* vormap_error_string(int code) {
  switch (code) {
    case VORMAP_OK: return "no error";
    case VORMAP_ERROR_ARGUMENT: return "a null pointer where an output was expected";
    case VORMAP_ERROR_MEMORY: return "not enough memory for the map";
    case VORMAP_ERROR_INTERNAL: return "internal error";
    case VORMAP_ERROR_OPTION: return "an option out of its range, or a malformed map name";
    default: return "unknown error code";
  }
}

}  // extern "C"

// The map file of seed 1, made once per benchmark program: the input of the
// benchmarks that read, draw or mesh a real map.
#pragma once

#include <cstdint>
#include <vector>

#include "generator/generate_map.h"
#include "util/parallel_for.h"
#include "vxl/vxl_writer.h"

namespace vormap {

inline const std::vector<uint8_t>& seed_1_file() {
  static const std::vector<uint8_t> file = [] {
    return encode_vxl(*generate_world(1, false, thread_count()), thread_count());
  }();
  return file;
}

}  // namespace vormap

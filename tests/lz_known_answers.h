// Inputs and compression settings whose compressed bytes are pinned by
// SHA-256 in tests/data/lz_known_answers.txt. Shared by the test and by
// lz_known_answers_gen, which printed that file; the compressor's output may
// never change, so the file is regenerated only for a new case.
#pragma once

#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "generator/generate_map.h"
#include "util/lz_codec.h"
#include "vxl/vxl_writer.h"
#include "world/voxel_world.h"

namespace vormap::lz_known_answers {

using bytes = std::vector<uint8_t>;

inline uint32_t next(uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

inline bytes random_bytes(size_t n, uint32_t seed, uint32_t alphabet) {
  bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(next(seed) % alphabet);
  return b;
}

// Words with newlines, like prose.
inline bytes words(size_t n, uint32_t seed) {
  static const char* const list[] = {"the ", "river ", "valley ", "voxel ", "map ", "of ", "stone\n",
                                     "a ",   "tree ",  "green ",  "hill ",  "and ", "water ", "under "};
  bytes b;
  while (b.size() < n) {
    const char* w = list[next(seed) % std::size(list)];
    b.insert(b.end(), w, w + std::strlen(w));
  }
  b.resize(n);
  return b;
}

// Repeats of random phrases at every distance class the format has: near,
// middle and far back-references of short and long lengths.
inline bytes phrases(size_t n, uint32_t seed) {
  bytes b = random_bytes(600000 < n ? 600000 : n, seed, 256);
  for (size_t at = 64; at + 1100 < b.size();) {
    const uint32_t r = next(seed);
    const size_t distance_class[] = {4, 200, 3000, 16000, 100000, 400000};
    size_t distance = distance_class[r % 6] + (r >> 8) % 97;
    if (distance > at) distance = at;
    const size_t length = 3 + (r >> 16) % (r & 0x100 ? 1000 : 12);
    for (size_t k = 0; k < length; ++k) b[at + k] = b[at - distance + k];
    at += length + (r >> 24) % 40;
  }
  b.resize(n);
  return b;
}

// Column-span data like a map file's: long runs of colours with small steps.
inline bytes map_like(size_t n, uint32_t seed) {
  bytes b;
  b.reserve(n);
  uint32_t color = 0x406080;
  while (b.size() < n) {
    const uint32_t r = next(seed);
    if (r % 7 == 0) color += (r >> 8) % 5 - 2;
    const uint8_t header[4] = {static_cast<uint8_t>(r % 3), static_cast<uint8_t>(20 + (r >> 4) % 20),
                               static_cast<uint8_t>(30 + (r >> 12) % 10), 0};
    b.insert(b.end(), header, header + 4);
    for (uint32_t k = (r >> 20) % 6; k > 0; --k) {
      b.push_back(static_cast<uint8_t>(color));
      b.push_back(static_cast<uint8_t>(color >> 8));
      b.push_back(static_cast<uint8_t>(color >> 16));
      b.push_back(0x7F);
    }
  }
  b.resize(n);
  return b;
}

inline bytes seed_1_map() {
  return encode_vxl(*generate_world(1, false, 1), 1);
}

struct input {
  std::string name;
  std::function<bytes()> make;
};

inline std::vector<input> inputs() {
  std::vector<input> list = {
      {"empty", [] { return bytes{}; }},
      {"one", [] { return bytes{42}; }},
  };
  for (size_t n : {12, 13, 14, 15, 20})
    list.push_back({"zeros" + std::to_string(n), [n] { return bytes(n, 0); }});
  list.push_back({"zeros300000", [] { return bytes(300000, 0); }});
  list.push_back({"random100000", [] { return random_bytes(100000, 7, 256); }});
  list.push_back({"alphabet4_200000", [] { return random_bytes(200000, 11, 4); }});
  list.push_back({"alphabet16_70000", [] { return random_bytes(70000, 13, 16); }});
  list.push_back({"words300000", [] { return words(300000, 17); }});
  list.push_back({"phrases900000", [] { return phrases(900000, 19); }});
  list.push_back({"map_like1000000", [] { return map_like(1000000, 23); }});
  list.push_back({"seed1_map", seed_1_map});
  return list;
}

// How an input is compressed: one-shot or streamed in pieces of `piece`
// bytes, with a window and hash memory.
struct setting {
  std::string name;
  int64_t window;
  int64_t hash_memory;
  size_t piece;  // 0: one-shot
};

inline const std::vector<setting>& settings() {
  static const std::vector<setting> list = {
      {"oneshot", lz_default_window, 131072, 0},
      {"oneshot_w256_h1", 256, 1, 0},
      {"oneshot_w4096_h16k", 4096, 16384, 0},
      {"stream_65536", lz_default_window, 131072, 65536},
      {"stream_w256_1000", 256, 1, 1000},
      {"stream_w5000_7777", 5000, 65536, 7777},
  };
  return list;
}

// The compressed stream of `data` under `s`; empty when compression failed.
inline bytes compress(const bytes& data, const setting& s) {
  lz_set_window(s.window);
  lz_set_hash_memory(s.hash_memory);
  bytes out;
  if (s.piece == 0) {
    out.resize(lz_compress_bound(data.size()));
    out.resize(lz_compress_memory(out.data(), data.data(), data.size()));
  } else {
    std::FILE* file = std::tmpfile();
    if (file == nullptr) return {};
    if (lz_stream_begin(file) == 1) {
      for (size_t at = 0; at < data.size(); at += s.piece)
        lz_stream_write(data.data() + at, std::min(s.piece, data.size() - at));
      const size_t n = lz_stream_end(0);
      out.resize(n);
      std::rewind(file);
      if (std::fread(out.data(), 1, n, file) != n) out.clear();
    }
    std::fclose(file);
  }
  lz_set_window(lz_default_window);
  lz_set_hash_memory(131072);
  return out;
}

inline std::string sha256_hex(const bytes& b) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EVP_Digest(b.data(), b.size(), digest, &n, EVP_sha256(), nullptr);
  std::string hex;
  char two[3];
  for (unsigned int k = 0; k < n; ++k) {
    std::snprintf(two, sizeof two, "%02x", digest[k]);
    hex += two;
  }
  return hex;
}

// One line per input and setting: "input setting size sha256".
inline std::string line(const std::string& input_name, const setting& s, const bytes& packed) {
  return input_name + " " + s.name + " " + std::to_string(packed.size()) + " " + sha256_hex(packed);
}

}  // namespace vormap::lz_known_answers

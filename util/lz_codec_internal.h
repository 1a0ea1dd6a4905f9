// The LZ codec's operation headers and the compressor's position hashing:
// used by lz_codec.cpp and by the benchmarks that measure each alone or read
// the codec's output. Not part of the codec's interface.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace vormap::detail {

// Header bytes of an operation by its first byte; 0 ends the body. A literal
// operation's bytes follow its header: b0 - 31 of them for 0x20-0x3F, and a
// count in the header for 0x07-0x0F.
constexpr auto lz_header_size = [] {
  std::array<uint8_t, 256> size{};
  for (int b = 0x80; b <= 0xFF; ++b) size[b] = 2;
  for (int b = 0x40; b <= 0x7F; ++b) size[b] = 3;
  for (int b = 0x20; b <= 0x3F; ++b) size[b] = 1;
  for (int b = 0x18; b <= 0x1F; ++b) size[b] = 4;
  for (int b = 0x10; b <= 0x17; ++b) size[b] = 5;
  for (int b = 0x08; b <= 0x0F; ++b) size[b] = 2;
  size[0x07] = 3;
  size[0x06] = 5;
  size[0x04] = 6;
  return size;
}();

// How the decoder reads an operation from the first eight stream bytes
// at it, taken as one big-endian word H: every length, literal count and
// distance is a bit field of H plus one, (H << start) >> (64 - width). A
// literal's distance field is unused; `size` 0 ends the body.
struct lz_op_fields {
  uint8_t size;
  uint8_t literal;
  uint8_t length_start;
  uint8_t length_shift;  // 64 - width
  uint8_t distance_start;
  uint8_t distance_shift;

  // The match length or literal count of the operation whose first eight
  // bytes are H.
  size_t length(uint64_t H) const { return ((H << length_start) >> length_shift) + 1; }
  // The match distance of the operation whose first eight bytes are H.
  size_t distance(uint64_t H) const { return ((H << distance_start) >> distance_shift) + 1; }
};

constexpr auto lz_op_table = [] {
  std::array<lz_op_fields, 256> t{};
  auto set = [&](int from, int to, uint8_t literal, int ls, int lw, int ds, int dw) {
    for (int b = from; b <= to; ++b)
      t[b] = lz_op_fields{lz_header_size[b], literal, static_cast<uint8_t>(ls), static_cast<uint8_t>(64 - lw),
                          static_cast<uint8_t>(ds), static_cast<uint8_t>(64 - dw)};
  };
  set(0x80, 0xFF, 0, 1, 7, 8, 8);     // b0 - 127 = (b0 & 0x7F) + 1
  set(0x40, 0x7F, 0, 16, 8, 2, 14);
  set(0x20, 0x3F, 1, 3, 5, 0, 8);
  set(0x18, 0x1F, 0, 24, 8, 5, 19);
  set(0x10, 0x17, 0, 24, 16, 5, 19);
  set(0x08, 0x0F, 1, 5, 11, 0, 8);
  set(0x07, 0x07, 1, 8, 16, 0, 8);
  set(0x06, 0x06, 0, 32, 8, 8, 24);
  set(0x04, 0x04, 0, 32, 16, 8, 24);
  return t;
}();

// Eight bytes at p as one big-endian word.
inline uint64_t load_be64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
}

// The four hash-table slots the compressor reads and writes for the position
// at `p` (which has 13 readable bytes), from hashes of its first 3, 5, 9 and
// 13 bytes; `mask` is the table's size minus one.
struct lz_position_slots {
  uint32_t slot[4];
};

inline lz_position_slots lz_slots_of(const uint8_t* p, uint32_t mask) {
  auto next = [](uint32_t h, uint8_t a, uint8_t b) { return std::rotl(h, 14) + 128u * a + b; };
  const uint32_t h3 = (uint32_t{p[0]} * 128 + p[1]) * 128 + p[2];
  const uint32_t h5 = next(h3, p[3], p[4]);
  const uint32_t h9 = next(next(h5, p[5], p[6]), p[7], p[8]);
  const uint32_t h13 = next(next(h9, p[9], p[10]), p[11], p[12]);
  return {{(h3 + (h3 >> 16)) & mask, (h5 + (h5 >> 16)) & mask, (h9 + (h9 >> 16)) & mask, (h13 + (h13 >> 16)) & mask}};
}

}  // namespace vormap::detail

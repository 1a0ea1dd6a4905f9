// The LZ codec's operation headers and the compressor's position hashing:
// used by lz_codec.cpp and by the benchmarks that measure each alone. Not
// part of the codec's interface.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

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

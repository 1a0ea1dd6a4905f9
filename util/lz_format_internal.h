// The LZ stream's operation headers, as the codec reads them: used by
// lz_codec.cpp and by the benchmark that measures walking a stream's
// operations. Not part of the codec's interface.
#pragma once

#include <array>
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

}  // namespace vormap::detail

// Feeds arbitrary bytes to the decompressor: it must reject or restore them
// without reading or writing outside the buffers it was given, and whatever
// it accepts must survive a round trip through the compressor. The decoder
// with wide copies must agree with the plain one on every input.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "util/lz_codec.h"

using namespace vormap;

namespace {
// Outputs above this are refused by capacity, to keep executions fast.
constexpr size_t largest_output = size_t{1} << 22;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int64_t stated = lz_stream_data_length(data, size);
  if (stated < 0) {
    uint8_t sink[1];
    if (lz_decompress(sink, sizeof sink, data, size) != 0) std::abort();
    return 0;
  }
  const size_t capacity = std::min(static_cast<size_t>(stated), largest_output);
  // Exactly the capacity, so that the sanitizer sees any write past it.
  std::unique_ptr<uint8_t[]> out(new uint8_t[capacity == 0 ? 1 : capacity]);
  const size_t n = lz_decompress(out.get(), capacity, data, size);
  std::unique_ptr<uint8_t[]> plain(new uint8_t[capacity == 0 ? 1 : capacity]);
  if (lz_decompress_plain(plain.get(), capacity, data, size) != n || (n != 0 && std::memcmp(plain.get(), out.get(), n) != 0))
    std::abort();
  if (n == 0) return 0;
  if (n != static_cast<size_t>(stated)) std::abort();

  std::unique_ptr<uint8_t[]> again(new uint8_t[lz_compress_bound(n)]);
  const size_t m = lz_compress_memory(again.get(), out.get(), n);
  std::unique_ptr<uint8_t[]> back(new uint8_t[n]);
  if (m == 0 || m > lz_compress_bound(n) || lz_decompress(back.get(), n, again.get(), m) != n ||
      std::memcmp(back.get(), out.get(), n) != 0)
    std::abort();
  return 0;
}

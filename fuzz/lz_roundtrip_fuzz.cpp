// Compresses arbitrary data in memory and as a stream fed in pieces, with
// settings taken from the first two bytes, and checks that both streams
// restore the data and stay within the documented bound.
//   byte 0: window 256 << (bits 0-2), hash memory 1 KiB << (bits 3-5)
//   byte 1: seed of the piece sizes of the streamed compression
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "util/lz_codec.h"

using namespace vormap;

namespace {

void check_restores(const uint8_t* stream, size_t stream_size, const uint8_t* data, size_t size) {
  if (stream_size > lz_compress_bound(size)) std::abort();
  std::unique_ptr<uint8_t[]> back(new uint8_t[size == 0 ? 1 : size]);
  if (lz_decompress(back.get(), size, stream, stream_size) != size) std::abort();
  if (size != 0 && std::memcmp(back.get(), data, size) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t input_size) {
  if (input_size < 2) return 0;
  const uint32_t window = lz_set_window(int64_t{256} << (input[0] & 7));
  lz_set_hash_memory(int64_t{1024} << ((input[0] >> 3) & 7));
  uint32_t piece_state = input[1];
  const uint8_t* data = input + 2;
  const size_t size = input_size - 2;

  std::unique_ptr<uint8_t[]> one_shot(new uint8_t[lz_compress_bound(size)]);
  const size_t one_shot_size = lz_compress_memory(one_shot.get(), data, size);
  if (one_shot_size == 0) std::abort();
  check_restores(one_shot.get(), one_shot_size, data, size);

  char* buffer = nullptr;
  size_t buffer_size = 0;
  std::FILE* file = open_memstream(&buffer, &buffer_size);
  if (file == nullptr) return 0;
  if (lz_stream_begin(file) != 1) std::abort();
  for (size_t done = 0; done < size;) {
    piece_state = piece_state * 1103515245u + 12345u;
    const size_t n = std::min<size_t>(size - done, (piece_state >> 16) % (2 * window));
    if (lz_stream_write(data + done, n) != 1) std::abort();
    done += n;
  }
  const size_t streamed = lz_stream_end(1);
  if (streamed == 0 || buffer_size < streamed) std::abort();
  const auto* stream = reinterpret_cast<const uint8_t*>(buffer);
  check_restores(stream, streamed, data, size);
  if (size < size_t{3} * window &&
      (streamed != one_shot_size || std::memcmp(stream, one_shot.get(), streamed) != 0))
    std::abort();
  std::free(buffer);
  return 0;
}

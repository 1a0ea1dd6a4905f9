#include "util/lz_codec.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <vector>

#include "util/lz_codec_internal.h"
#include "util/platform/files.h"

namespace vormap {

namespace {

constexpr uint32_t longest_match = 65536;
constexpr size_t longest_literal_run = 65536;
// Bytes a position needs after it before the compressor probes it (h13 reads
// r[0..12]).
constexpr size_t probe_span = 12;

uint32_t lz_window = lz_default_window;
uint32_t lz_hash_entries = lz_default_hash_entries;

using hash_table = std::unique_ptr<uint32_t[]>;

// A table of `entries` empty slots, or null when memory runs out. A slot holds
// the offset of an earlier position plus one; 0 is empty.
hash_table new_hash_table(uint32_t entries) {
  return hash_table(new (std::nothrow) uint32_t[entries]());
}

// Where compressed bytes go: a memory cursor, or a file through a small
// staging buffer. Counts every byte and remembers the first write error.
struct output_sink {
  uint8_t* cursor = nullptr;
  std::FILE* file = nullptr;
  size_t written = 0;
  bool failed = false;
  size_t staged = 0;
  std::array<uint8_t, 8192> staging;

  void flush() {
    if (staged != 0 && !failed && std::fwrite(staging.data(), 1, staged, file) != staged) failed = true;
    staged = 0;
  }

  void put_bytes(const uint8_t* bytes, size_t n) {
    written += n;
    if (cursor != nullptr) {
      std::memcpy(cursor, bytes, n);
      cursor += n;
      return;
    }
    if (staged + n > staging.size()) {
      flush();
      if (n >= staging.size()) {
        if (!failed && std::fwrite(bytes, 1, n, file) != n) failed = true;
        return;
      }
    }
    std::memcpy(staging.data() + staged, bytes, n);
    staged += n;
  }

  void put(uint8_t byte) { put_bytes(&byte, 1); }

  // The low `size` bytes of `value`, most significant first.
  void put_be(uint32_t value, int size) {
    uint8_t bytes[4];
    for (int k = 0; k < size; ++k) bytes[k] = static_cast<uint8_t>(value >> (8 * (size - 1 - k)));
    put_bytes(bytes, static_cast<size_t>(size));
  }
};

// State of one compression: the data (positions are offsets from `base`),
// the table and the settings it started with, and the running checksum.
struct compressor {
  output_sink* out;
  const uint8_t* base;
  uint32_t* table;
  uint32_t mask;
  uint32_t window;
  uint32_t adler;
};

using detail::load_be64;
using detail::lz_header_size;
using detail::lz_op_fields;
using detail::lz_op_table;

inline void copy16(uint8_t* dst, const uint8_t* src) {
  uint8_t chunk[16];
  std::memcpy(chunk, src, 16);
  std::memcpy(dst, chunk, 16);
}

inline void copy8(uint8_t* dst, const uint8_t* src) {
  uint8_t chunk[8];
  std::memcpy(chunk, src, 8);
  std::memcpy(dst, chunk, 8);
}

// A match copied without writing past its end.
void copy_match_exact(uint8_t* dst, const uint8_t* src, size_t len, size_t dist) {
  if (dist >= len) {
    std::memcpy(dst, src, len);
  } else if (dist == 1) {
    std::memset(dst, *src, len);
  } else {
    // Overlapping: each byte may be one this match has just produced.
    for (size_t k = 0; k < len; ++k) dst[k] = src[k];
  }
}

// A match that overlaps its source closely (dist < 16), with room for up to
// 7 bytes written past its end.
inline void copy_match_short_distance(uint8_t* dst, const uint8_t* src, size_t len, size_t dist) {
  if (dist == 1) {
    std::memset(dst, *src, len);
    return;
  }
  // The match repeats its last `dist` bytes; a whole number of periods of at
  // least 8 bytes lets it move 8 bytes at a time, once the first period of
  // that size is written.
  const size_t period = dist * ((8 + dist - 1) / dist);
  const size_t head = len < period ? len : period;
  for (size_t k = 0; k < head; ++k) dst[k] = src[k];
  for (size_t k = period; k < len; k += 8) copy8(dst + k, dst + k - period);
}

uint32_t adler32(const uint8_t* data, size_t n) { return libdeflate_adler32(1, data, n); }

}  // namespace

uint32_t lz_adler32(uint32_t adler, const uint8_t* data, size_t n) { return libdeflate_adler32(adler, data, n); }

namespace {

uint32_t read_be(const uint8_t* p, int size) {
  uint32_t value = 0;
  for (int k = 0; k < size; ++k) value = (value << 8) | p[k];
  return value;
}

void put_header(output_sink& out, uint32_t length, uint32_t window) {
  out.put(0x57);
  out.put(0xBC);
  out.put_be(0, 2);
  out.put_be(0, 4);
  out.put_be(length, 4);
  out.put_be(window, 4);
}

void put_trailer(output_sink& out, uint32_t adler) {
  out.put(0x05);
  out.put(0xFA);
  out.put_be(adler, 4);
}

// Writes `count` bytes from `source` as literal runs of at most 65,536 bytes.
void lz_put_literals(output_sink& out, const uint8_t* source, size_t count) {
  while (count > longest_literal_run) {
    out.put(0x07);
    out.put(0xFF);
    out.put(0xFF);
    out.put_bytes(source, longest_literal_run);
    source += longest_literal_run;
    count -= longest_literal_run;
  }
  if (count == 0) return;
  const auto n = static_cast<uint32_t>(count);
  if (n <= 32) {
    out.put(static_cast<uint8_t>(n + 31));
  } else if (n <= 2048) {
    out.put_be(n + 2047, 2);
  } else {
    out.put_be(n + 0x6FFFF, 3);
  }
  out.put_bytes(source, count);
}

// Writes a match in the shortest form that holds it. The acceptance rules of
// the block compressor guarantee that one does.
void put_match(output_sink& out, uint32_t f, uint32_t g) {
  if (f <= 128 && g <= 256) {
    out.put(static_cast<uint8_t>(f + 127));
    out.put(static_cast<uint8_t>(g - 1));
  } else if (f >= 6 && f <= 256 && g <= 16384) {
    out.put_be(g + 0x3FFF, 2);
    out.put(static_cast<uint8_t>(f - 1));
  } else if (f >= 8 && f <= 256 && g <= 524288) {
    out.put_be(g + 0x17FFFF, 3);
    out.put(static_cast<uint8_t>(f - 1));
  } else if (f > 256 && g <= 524288) {
    out.put_be(g + 0xFFFFF, 3);
    out.put_be(f - 1, 2);
  } else if (f <= 256) {
    out.put(0x06);
    out.put_be(g - 1, 3);
    out.put(static_cast<uint8_t>(f - 1));
  } else {
    out.put(0x04);
    out.put_be(g - 1, 3);
    out.put_be(f - 1, 2);
  }
}

// Compresses the `count` bytes from offset `start`; the data is readable up
// to offset `limit` (matches may reach into it). `pending` literal bytes
// directly before `start` are not written yet; it is updated. Returns how far
// the position advanced, at least `count`.
size_t lz_compress_block(compressor& c, size_t start, size_t limit, size_t count, size_t& pending) {
  const uint8_t* const base = c.base;
  uint32_t* const table = c.table;
  size_t r = start;
  size_t s = start - pending;
  const size_t end = start + count;

  while (r < end && r + probe_span < limit) {
    const uint32_t e = r + longest_match > limit ? static_cast<uint32_t>(limit - r) : longest_match;
    const uint8_t* p = base + r;
    const detail::lz_position_slots position = detail::lz_slots_of(p, c.mask);
    const uint32_t* const slots = position.slot;

    uint32_t f = 2;
    size_t g = 0;
    if (const uint32_t entry = table[slots[0]]; entry != 0) {
      const size_t q = entry - 1;
      f = lz_match_length(base + q, p, e);
      if (f < 3) {
        f = 2;
      } else {
        g = r - q;
        if (g > c.window || (f <= 9 && !lz_match_worthwhile(f, static_cast<uint32_t>(g)))) {
          f = 2;
          g = 0;
        }
      }
    }
    for (int k = 1; k < 4; ++k) {
      const uint32_t entry = table[slots[k]];
      if (entry == 0) continue;
      const size_t q = entry - 1;
      const size_t d = r - q;
      if (d == g || d > c.window) continue;
      const uint32_t l = lz_match_length(base + q, p, e);
      if (l > f && (l > 9 || lz_match_worthwhile(l, static_cast<uint32_t>(d)))) {
        f = l;
        g = d;
      }
    }
    const auto stored = static_cast<uint32_t>(r + 1);
    table[slots[3]] = stored;
    table[slots[2]] = stored;
    table[slots[1]] = stored;
    table[slots[0]] = stored;

    if (f < 3) {
      ++r;
      continue;
    }
    lz_put_literals(*c.out, base + s, r - s);
    put_match(*c.out, f, static_cast<uint32_t>(g));
    r += f;
    s = r;
  }
  if (r < end) r = end;
  pending = r - s;
  if (r > start) c.adler = libdeflate_adler32(c.adler, base + start, r - start);
  return r - start;
}

// The whole one-shot compression of data[0..length) into `out`.
void compress_whole(output_sink& out, uint32_t* table, const uint8_t* data, size_t length) {
  compressor c{&out, data, table, lz_hash_entries - 1, lz_window, 1};
  put_header(out, static_cast<uint32_t>(length), lz_window);
  if (length != 0) {
    size_t pending = 0;
    lz_compress_block(c, 0, length, length, pending);
    lz_put_literals(out, data + length - pending, pending);
  }
  put_trailer(out, c.adler);
}

// Streamed compression: a buffer of three windows, of which the last stays
// uncompressed as lookahead until more data or the end arrives.
struct stream_state {
  bool active = false;
  bool failed = false;
  std::FILE* file = nullptr;
  std::unique_ptr<uint8_t[]> buffer;
  hash_table table;
  uint32_t window = 0;
  uint32_t mask = 0;
  size_t fill = 0;
  size_t processed = 0;
  size_t pending = 0;
  uint64_t total = 0;
  long length_field = 0;
  uint32_t adler = 1;
  output_sink out;
};

stream_state stream;

compressor stream_compressor() {
  return compressor{&stream.out, stream.buffer.get(), stream.table.get(), stream.mask, stream.window, stream.adler};
}

// Compresses the buffer up to its lookahead, writes a pending literal run
// that starts in the first window, and slides everything down one window.
void stream_slide() {
  const size_t w = stream.window;
  compressor c = stream_compressor();
  if (stream.processed + w < stream.fill) {
    stream.processed += lz_compress_block(c, stream.processed, stream.fill, stream.fill - w - stream.processed,
                                          stream.pending);
    stream.adler = c.adler;
  }
  if (stream.processed - stream.pending < w) {
    lz_put_literals(stream.out, stream.buffer.get() + stream.processed - stream.pending, stream.pending);
    stream.pending = 0;
  }
  std::memmove(stream.buffer.get(), stream.buffer.get() + w, stream.fill - w);
  stream.fill -= w;
  stream.processed -= w;
  uint32_t* table = stream.table.get();
  for (uint32_t k = 0; k <= stream.mask; ++k) {
    const uint32_t entry = table[k];
    if (entry != 0) table[k] = entry - 1 < w ? 0 : entry - static_cast<uint32_t>(w);
  }
}

void stream_release() {
  stream.buffer.reset();
  stream.table.reset();
  stream.active = false;
  stream.file = nullptr;
}

}  // namespace

uint32_t lz_set_window(int64_t size) {
  lz_window = static_cast<uint32_t>(std::clamp<int64_t>(size, lz_min_window, lz_max_window));
  return lz_window;
}

uint32_t lz_set_hash_memory(int64_t bytes) {
  uint64_t power = 1024;
  const uint64_t wanted = bytes < 0 ? 0 : std::min<uint64_t>(static_cast<uint64_t>(bytes), uint64_t{1} << 32);
  while (power < wanted) power <<= 1;
  lz_hash_entries = static_cast<uint32_t>(power / 4);
  return lz_hash_entries;
}

size_t lz_compress_bound(size_t length) {
  // Every match is shorter than the bytes it covers, a literal run that ends
  // at a match costs at most 1/16 of its length more than it holds, and the
  // other runs (one at the end, one per window slid by a stream) at most one
  // byte more than that.
  return length + length / 16 + length / 256 + lz_stream_overhead + 8;
}

bool lz_match_worthwhile(uint32_t length, uint32_t distance) {
  return (length > 2 && distance <= 256) || (length > 5 && distance <= 16384) ||
         (length > 7 && distance <= 524288);
}

uint32_t lz_match_length(const uint8_t* earlier, const uint8_t* current, uint32_t limit) {
  uint32_t n = 0;
  while (limit - n >= 8) {
    uint64_t a;
    uint64_t b;
    std::memcpy(&a, earlier + n, 8);
    std::memcpy(&b, current + n, 8);
    if (const uint64_t diff = a ^ b; diff != 0) {
      if constexpr (std::endian::native == std::endian::little)
        return n + static_cast<uint32_t>(std::countr_zero(diff)) / 8;
      else
        return n + static_cast<uint32_t>(std::countl_zero(diff)) / 8;
    }
    n += 8;
  }
  while (n < limit && earlier[n] == current[n]) ++n;
  return n;
}

size_t lz_compress_memory(uint8_t* out, const uint8_t* data, size_t length) {
  if (out == nullptr || length > lz_max_data_length || (data == nullptr && length != 0)) return 0;
  const hash_table table = new_hash_table(lz_hash_entries);
  if (!table) return 0;
  output_sink sink;
  sink.cursor = out;
  compress_whole(sink, table.get(), data, length);
  return sink.written;
}

size_t lz_compress_open_file(std::FILE* file, const uint8_t* data, size_t length) {
  if (file == nullptr || length > lz_max_data_length || (data == nullptr && length != 0)) return 0;
  const hash_table table = new_hash_table(lz_hash_entries);
  if (!table) return 0;
  output_sink sink;
  sink.file = file;
  compress_whole(sink, table.get(), data, length);
  sink.flush();
  if (sink.failed || std::fflush(file) != 0) return 0;
  return sink.written;
}

size_t lz_compress_file(const std::string& path, const uint8_t* data, size_t length) {
  if (length > lz_max_data_length || (data == nullptr && length != 0)) return 0;
  // The table comes first so that a failure leaves an existing file alone.
  const hash_table table = new_hash_table(lz_hash_entries);
  if (!table) return 0;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  output_sink sink;
  sink.file = file;
  compress_whole(sink, table.get(), data, length);
  sink.flush();
  const bool closed = std::fclose(file) == 0;
  return sink.failed || !closed ? 0 : sink.written;
}

int lz_stream_begin(std::FILE* file) {
  if (stream.active || file == nullptr) return 0;
  const long position = std::ftell(file);
  if (position < 0) return 0;
  const uint32_t window = lz_window;
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size_t{3} * window]);
  if (!buffer) return 0;
  hash_table table = new_hash_table(lz_hash_entries);
  if (!table) return 0;

  stream.active = true;
  stream.failed = false;
  stream.file = file;
  stream.buffer = std::move(buffer);
  stream.table = std::move(table);
  stream.window = window;
  stream.mask = lz_hash_entries - 1;
  stream.fill = stream.processed = stream.pending = 0;
  stream.total = 0;
  stream.length_field = position + 8;
  stream.adler = 1;
  stream.out.cursor = nullptr;
  stream.out.file = file;
  stream.out.written = 0;
  stream.out.failed = false;
  stream.out.staged = 0;
  put_header(stream.out, 0, window);
  return 1;
}

int lz_stream_write(const uint8_t* data, size_t length) {
  if (!stream.active || stream.failed) return 0;
  if (length == 0) return 1;
  if (data == nullptr || length > lz_max_data_length - stream.total) {
    stream.failed = true;
    return 0;
  }
  stream.total += length;
  const size_t capacity = size_t{3} * stream.window;
  while (length > 0) {
    const size_t n = std::min(capacity - stream.fill, length);
    std::memcpy(stream.buffer.get() + stream.fill, data, n);
    stream.fill += n;
    data += n;
    length -= n;
    if (stream.fill < capacity) break;
    stream_slide();
  }
  if (stream.out.failed) stream.failed = true;
  return stream.failed ? 0 : 1;
}

size_t lz_stream_end(int close) {
  if (!stream.active) return 0;
  std::FILE* file = stream.file;
  bool ok = !stream.failed;
  if (ok) {
    compressor c = stream_compressor();
    lz_compress_block(c, stream.processed, stream.fill, stream.fill - stream.processed, stream.pending);
    lz_put_literals(stream.out, stream.buffer.get() + stream.fill - stream.pending, stream.pending);
    put_trailer(stream.out, c.adler);
    stream.out.flush();
    ok = !stream.out.failed;
    // The length goes into the header; the file position returns to the end
    // of the stream, which need not be the end of the file.
    const long stream_end = ok ? std::ftell(file) : -1;
    uint8_t length[4];
    for (int k = 0; k < 4; ++k) length[k] = static_cast<uint8_t>(stream.total >> (8 * (3 - k)));
    ok = stream_end >= 0 && std::fseek(file, stream.length_field, SEEK_SET) == 0 &&
         std::fwrite(length, 1, 4, file) == 4 && std::fseek(file, stream_end, SEEK_SET) == 0 &&
         std::fflush(file) == 0;
  }
  const size_t written = stream.out.written;
  stream_release();
  if (close != 0 && std::fclose(file) != 0) ok = false;
  return ok ? written : 0;
}

int64_t lz_stream_data_length(const uint8_t* stream_bytes, size_t stream_length) {
  if (stream_bytes == nullptr || stream_length < 16) return -1;
  static constexpr uint8_t start[8] = {0x57, 0xBC, 0, 0, 0, 0, 0, 0};
  if (std::memcmp(stream_bytes, start, sizeof start) != 0) return -1;
  return read_be(stream_bytes + 8, 4);
}

size_t lz_decompress(uint8_t* out, size_t capacity, const uint8_t* in, size_t in_length) {
  const int64_t stated = lz_stream_data_length(in, in_length);
  if (stated < 0 || static_cast<uint64_t>(stated) > capacity) return 0;
  const auto length = static_cast<size_t>(stated);
  if (out == nullptr && length != 0) return 0;

  // Every operation is checked as in the plain decoder; only the copies
  // differ. A copy may move more bytes than the operation asks for (up to
  // `slack` more) when both buffers have that much room past its end, so
  // short literals and matches cost one or two fixed-size moves. The bytes
  // written past the operation's end lie inside [out, out + length) and are
  // overwritten by the operations that follow.
  constexpr size_t slack = 32;
  size_t pos = 16;
  size_t o = 0;

  // Fast loop, while both buffers have room for the widest header read and
  // a 32-byte copy past the operation. The common forms are told apart by
  // one or two predictable comparisons, each advancing the stream by a
  // constant, so that the next header's address hardly waits on this one.
  // The end of the body, and operations near the buffers' ends, go to the
  // careful loop below.
  {
    const uint8_t* ip = in + pos;
    uint8_t* op = out + o;
    const uint8_t* const in_end = in + in_length;
    uint8_t* const out_end = out + length;
    while (in_end - ip >= 48 && out_end - op >= 64) {
      const uint64_t H = load_be64(ip);
      const auto b0 = static_cast<uint32_t>(H >> 56);
      size_t len;
      size_t dist;
      if (b0 >= 0x40) {
        // The two short match forms mix unpredictably, so they are told
        // apart by masks rather than a branch: 0x80-0xFF is 2 bytes, length
        // b0 - 127, distance b1 + 1; 0x40-0x7F is 3 bytes, distance from 14
        // bits, length b2 + 1.
        const size_t near = b0 >> 7;
        const size_t mask = 0 - near;
        const size_t len_near = b0 - 127;
        const size_t len_far = ((H >> 40) & 0xFF) + 1;
        len = len_far ^ ((len_near ^ len_far) & mask);
        dist = ((H >> 48) & (0x3FFF ^ (0x3F00 & mask))) + 1;
        ip += 3 - near;
      } else if (b0 >= 0x20) {
        // Literal of 1 to 32 bytes: inside the stream by the loop's margin.
        len = b0 - 31;
        copy16(op, ip + 1);
        copy16(op + 16, ip + 17);
        ip += 1 + len;
        op += len;
        continue;
      } else if (b0 >= 0x18) {
        len = ((H >> 32) & 0xFF) + 1;
        dist = ((H >> 40) & 0x7FFFF) + 1;
        ip += 4;
      } else {
        const lz_op_fields f = lz_op_table[b0];
        if (f.size == 0) break;
        len = f.length(H);
        ip += f.size;
        if (f.literal != 0) {
          if (len > static_cast<size_t>(in_end - ip) || len > static_cast<size_t>(out_end - op)) return 0;
          std::memcpy(op, ip, len);
          ip += len;
          op += len;
          continue;
        }
        dist = f.distance(H);
      }
      if (dist > static_cast<size_t>(op - out) || len > static_cast<size_t>(out_end - op)) return 0;
      uint8_t* const dst = op;
      const uint8_t* const src = op - dist;
      op += len;
      if (dist >= 8 && len <= 32) {
        // 8-byte steps: each reads only bytes written before it.
        copy8(dst, src);
        copy8(dst + 8, src + 8);
        copy8(dst + 16, src + 16);
        copy8(dst + 24, src + 24);
      } else if (dist >= 16) {
        copy16(dst, src);
        copy16(dst + 16, src + 16);
        if (len > 32) {
          // 16-byte steps need room for 15 bytes past the end.
          if (static_cast<size_t>(out_end - op) >= 16) {
            for (size_t k = 32; k < len; k += 16) copy16(dst + k, src + k);
          } else {
            // The rest may still overlap its source (16 <= dist < len).
            copy_match_exact(dst + 32, src + 32, len - 32, dist);
          }
        }
      } else if (static_cast<size_t>(out_end - op) < 8) {
        copy_match_exact(dst, src, len, dist);
      } else if (dist >= 8) {
        for (size_t k = 0; k < len; k += 8) copy8(dst + k, src + k);
      } else {
        copy_match_short_distance(dst, src, len, dist);
      }
    }
    pos = static_cast<size_t>(ip - in);
    o = static_cast<size_t>(op - out);
  }

  for (;;) {
    if (pos >= in_length) return 0;
    const uint8_t* h = in + pos;
    const uint8_t b0 = h[0];
    const size_t hsize = lz_header_size[b0];
    if (hsize == 0) break;
    if (in_length - pos < hsize) return 0;
    pos += hsize;

    // The header's fields through the fast loop's table, from a copy padded
    // to eight bytes: the stream may end right after the header.
    uint8_t header[8] = {};
    std::memcpy(header, h, hsize);
    const uint64_t H = load_be64(header);
    const lz_op_fields f = lz_op_table[b0];
    const size_t len = f.length(H);
    if (f.literal != 0) {
      if (len <= slack && in_length - pos >= slack && length - o >= slack) {
        copy16(out + o, in + pos);
        copy16(out + o + 16, in + pos + 16);
      } else {
        if (len > in_length - pos || len > length - o) return 0;
        std::memcpy(out + o, in + pos, len);
      }
      pos += len;
      o += len;
      continue;
    }
    const size_t dist = f.distance(H);

    if (dist > o || len > length - o) return 0;
    uint8_t* dst = out + o;
    const uint8_t* src = dst - dist;
    o += len;
    if (length - o < slack) {
      copy_match_exact(dst, src, len, dist);
      continue;
    }
    // Room for up to `slack` bytes past the match's end.
    if (dist >= 16) {
      copy16(dst, src);
      copy16(dst + 16, src + 16);
      for (size_t k = 32; k < len; k += 16) copy16(dst + k, src + k);
    } else {
      copy_match_short_distance(dst, src, len, dist);
    }
  }

  if (in_length - pos < 6 || in[pos] != 0x05 || in[pos + 1] != 0xFA || o != length) return 0;
  return adler32(out, length) == read_be(in + pos + 2, 4) ? length : 0;
}

size_t lz_decompress_plain(uint8_t* out, size_t capacity, const uint8_t* in, size_t in_length) {
  const int64_t stated = lz_stream_data_length(in, in_length);
  if (stated < 0 || static_cast<uint64_t>(stated) > capacity) return 0;
  const auto length = static_cast<size_t>(stated);
  if (out == nullptr && length != 0) return 0;

  size_t pos = 16;
  size_t o = 0;
  for (;;) {
    if (pos >= in_length) return 0;
    const uint8_t* h = in + pos;
    const uint8_t b0 = h[0];
    const size_t hsize = lz_header_size[b0];
    if (hsize == 0) break;
    if (in_length - pos < hsize) return 0;
    pos += hsize;

    size_t literal = 0;
    size_t len = 0;
    size_t dist = 0;
    if (b0 >= 0x80) {
      len = b0 - 127u;
      dist = h[1] + 1u;
    } else if (b0 >= 0x40) {
      len = h[2] + 1u;
      dist = (b0 - 0x40u) * 256 + h[1] + 1;
    } else if (b0 >= 0x20) {
      literal = b0 - 31u;
    } else if (b0 >= 0x18) {
      len = h[3] + 1u;
      dist = (b0 - 0x18u) * 65536 + h[1] * 256u + h[2] + 1;
    } else if (b0 >= 0x10) {
      len = h[3] * 256u + h[4] + 1;
      dist = (b0 - 0x10u) * 65536 + h[1] * 256u + h[2] + 1;
    } else if (b0 >= 0x08) {
      literal = (b0 - 8u) * 256 + h[1] + 1;
    } else if (b0 == 0x07) {
      literal = h[1] * 256u + h[2] + 1;
    } else if (b0 == 0x06) {
      len = h[4] + 1u;
      dist = h[1] * 65536u + h[2] * 256u + h[3] + 1;
    } else {  // 0x04
      len = h[4] * 256u + h[5] + 1;
      dist = h[1] * 65536u + h[2] * 256u + h[3] + 1;
    }

    if (literal != 0) {
      if (literal > in_length - pos || literal > length - o) return 0;
      std::memcpy(out + o, in + pos, literal);
      pos += literal;
      o += literal;
      continue;
    }
    if (dist > o || len > length - o) return 0;
    uint8_t* dst = out + o;
    const uint8_t* src = dst - dist;
    if (dist >= len) {
      std::memcpy(dst, src, len);
    } else if (dist == 1) {
      std::memset(dst, *src, len);
    } else {
      // Overlapping: each byte may be one this match has just produced.
      for (size_t k = 0; k < len; ++k) dst[k] = src[k];
    }
    o += len;
  }

  if (in_length - pos < 6 || in[pos] != 0x05 || in[pos + 1] != 0xFA || o != length) return 0;
  const uint32_t adler = static_cast<uint32_t>(adler32(out, length));
  return adler == read_be(in + pos + 2, 4) ? length : 0;
}

std::unique_ptr<uint8_t[]> lz_decompress_file(const std::string& path, size_t* length_out) {
  if (length_out != nullptr) *length_out = 0;
  // Only a regular file of bounded size is read: a pipe or a device could
  // block or never end.
  std::vector<uint8_t> file;
  if (!platform_read_file(path.c_str(), &file)) return nullptr;
  const size_t size = file.size();
  const uint8_t* input = file.data();
  static constexpr uint8_t magic[4] = {0x57, 0xBC, 0, 0};
  if (size < 16 || std::memcmp(input, magic, sizeof magic) != 0) return nullptr;

  // No operation yields more than 65,536 bytes from 5 stream bytes, so a
  // header claiming more than that ratio allows is rejected before its
  // buffer is allocated.
  const uint64_t stated = read_be(input + 8, 4);
  const uint64_t body = size > lz_stream_overhead ? size - lz_stream_overhead : 0;
  const bool plausible = stated <= (body / 5 + 1) * longest_match;
  const size_t out_size = plausible ? static_cast<size_t>(stated) : 0;
  std::unique_ptr<uint8_t[]> output(new (std::nothrow) uint8_t[out_size + 1]);
  if (!output) return nullptr;
  const size_t length = plausible ? lz_decompress(output.get(), out_size, input, size) : 0;
  output[length] = 0;
  if (length_out != nullptr) *length_out = length;
  return output;
}

}  // namespace vormap

#include "vxl/vxl_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "util/platform/files.h"
#include "util/platform/memory.h"

namespace vormap {

template <class T>
T* map_grid_allocator<T>::allocate(size_t n) {
  if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
  const size_t bytes = n * sizeof(T);
  void* p = ::operator new(bytes, std::align_val_t{huge_page_size});
  advise_huge_pages(p, bytes);
  return static_cast<T*>(p);
}

template <class T>
void map_grid_allocator<T>::deallocate(T* p, size_t) noexcept {
  ::operator delete(p, std::align_val_t{huge_page_size});
}

template struct map_grid_allocator<uint8_t>;
template struct map_grid_allocator<uint32_t>;

namespace {

uint32_t get_u32_le(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Byte i of byte_per_bit[b] (counting from the least significant) is bit i
// of b.
constexpr std::array<uint64_t, 256> byte_per_bit = [] {
  std::array<uint64_t, 256> table{};
  for (int b = 0; b < 256; ++b)
    for (int i = 0; i < 8; ++i)
      if ((b >> i) & 1) table[static_cast<size_t>(b)] |= uint64_t{1} << (8 * i);
  return table;
}();
static_assert(vxl_colored - vxl_hidden == 1 && vxl_hidden - vxl_empty == 1);

struct column_decoder {
  std::span<const uint8_t> file;
  size_t pos;  // next unread byte
  int x, y;
  uint8_t* solid;   // the column's 64 states
  uint32_t* color;  // the column's 64 colours
  vxl_error& error;

  bool fail(size_t offset, std::string message) {
    error.offset = offset;
    error.x = x;
    error.y = y;
    error.message = std::move(message);
    return false;
  }

  size_t left() const { return file.size() - pos; }

  // The column's states are gathered as bit masks while its spans are read
  // and stored in one go at the end: a voxel is hidden unless marked empty
  // or coloured. Colours not stored stay 0.
  uint64_t empty_bits = 0;
  uint64_t colored_bits = 0;

  static uint64_t range_bits(int z_first, int z_end) {
    const int n = z_end - z_first;
    if (n <= 0) return 0;
    return (n >= 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1) << z_first;
  }

  void set_empty(int z_first, int z_end) { empty_bits |= range_bits(z_first, z_end); }

  void set_colored(int z_first, int count, const uint8_t* words) {
    colored_bits |= range_bits(z_first, z_first + count);
    uint32_t* const colors = color;  // a local, so the stores cannot change it
    for (int k = 0; k < count; ++k) colors[z_first + k] = get_u32_le(words + 4 * k);
  }

  // Stores the 64 states from the masks, eight at a time.
  void store_states() const {
    uint8_t* const states = solid;
    for (int j = 0; j < world_height / 8; ++j) {
      uint64_t eight = 0x0101010101010101ull * vxl_hidden + byte_per_bit[(colored_bits >> 8 * j) & 0xFF] -
                       byte_per_bit[(empty_bits >> 8 * j) & 0xFF];
      if constexpr (std::endian::native == std::endian::big) eight = __builtin_bswap64(eight);
      std::memcpy(states + 8 * j, &eight, 8);
    }
  }

  // Decodes one column record starting at `pos` and leaves `pos` just after
  // it. Every span's fields are checked before anything depends on them.
  bool run() {
    std::memset(color, 0, world_height * sizeof(uint32_t));
    // What the previous (not last) span left for this one to settle: its
    // solid run below the top colours ends just above this span's air_start,
    // the last `prev_bottom` voxels of it coloured from `prev_bottom_words`.
    bool first = true;
    int prev_air = 0, prev_top_end = 0, prev_bottom = 0;
    const uint8_t* prev_bottom_words = nullptr;
    for (;;) {
      const size_t at = pos;
      if (left() < 4) {
        if (left() == 0 && first)
          return fail(at, "the file ends before this column (only " + std::to_string(y * world_size + x) + " of " +
                              std::to_string(world_columns) + " columns present)");
        if (left() == 0) return fail(at, "the file ends inside the column, before its last span");
        return fail(at, "truncated span header: " + std::to_string(left()) + " of 4 bytes");
      }
      const int length = file[at], top_start = file[at + 1], top_end = file[at + 2], air = file[at + 3];

      if (first) {
        if (air != 0) return fail(at + 3, "air_start " + std::to_string(air) + " of the first span is not 0");
      } else {
        if (air > world_height)
          return fail(at + 3, "air_start " + std::to_string(air) + " out of range (0 to 64)");
        if (air <= prev_air)
          return fail(at + 3, "air_start " + std::to_string(air) + " is not below the previous span's air_start " +
                                  std::to_string(prev_air));
        if (air < prev_top_end + prev_bottom)
          return fail(at + 3, "air_start " + std::to_string(air) + " leaves no room for the previous span's " +
                                  std::to_string(prev_bottom) + " bottom colours below z " +
                                  std::to_string(prev_top_end - 1));
        set_colored(air - prev_bottom, prev_bottom, prev_bottom_words);
      }
      if (air == world_height && length != 0)
        return fail(at, "the column never ends: a span at the bottom (air_start 64) is not the last");

      if (top_start > world_height)
        return fail(at + 1, "top_start " + std::to_string(top_start) + " out of range (0 to 64)");
      if (top_start < air)
        return fail(at + 1, "top_start " + std::to_string(top_start) + " is above air_start " + std::to_string(air));
      // top_end is top_start - 1 (modulo 256) for an empty top run.
      const int n_top = (top_end + 1 - top_start) & 0xFF;
      if (top_start + n_top > world_height) {
        if (top_end >= world_height)
          return fail(at + 2, "top_end " + std::to_string(top_end) + " past the bottom of the column (63)");
        return fail(at + 2, "top_end " + std::to_string(top_end) + " is above top_start " + std::to_string(top_start));
      }

      const size_t top_bytes = size_t{4} * static_cast<size_t>(n_top);
      if (length == 0) {
        if (left() - 4 < top_bytes)
          return fail(at, "span runs past the end of the file: " + std::to_string(n_top) + " top colours need " +
                              std::to_string(top_bytes) + " bytes, " + std::to_string(left() - 4) + " left");
        set_empty(air, top_start);
        set_colored(top_start, n_top, file.data() + at + 4);
        store_states();
        pos = at + 4 + top_bytes;
        return true;
      }
      if (length - 1 < n_top)
        return fail(at, "span_length " + std::to_string(length) + " too short for its " + std::to_string(n_top) +
                            " top colours");
      const size_t record = size_t{4} * static_cast<size_t>(length);
      if (left() < record)
        return fail(at, "span runs past the end of the file: span_length " + std::to_string(length) + " needs " +
                            std::to_string(record) + " bytes, " + std::to_string(left()) + " left");
      set_empty(air, top_start);
      set_colored(top_start, n_top, file.data() + at + 4);
      first = false;
      prev_air = air;
      prev_top_end = top_start + n_top;
      prev_bottom = length - 1 - n_top;
      prev_bottom_words = file.data() + at + 4 + top_bytes;
      pos = at + record;
    }
  }
};

std::string system_reason(int err) { return std::strerror(err); }

}  // namespace

std::string describe(const vxl_error& error) {
  std::string text = "byte offset " + std::to_string(error.offset);
  if (error.x >= 0) text += ", column (" + std::to_string(error.x) + ", " + std::to_string(error.y) + ")";
  return text + ": " + error.message;
}

bool decode_vxl_column(std::span<const uint8_t> file, size_t& offset, int x, int y,
                       std::span<uint8_t, world_height> solid, std::span<uint32_t, world_height> color,
                       vxl_error& error) {
  if (offset > file.size()) offset = file.size();
  column_decoder column{file, offset, x, y, solid.data(), color.data(), error};
  if (!column.run()) return false;
  offset = column.pos;
  return true;
}

namespace {

// Copies a decoded column from the stack into the map. Consecutive columns of
// the file lie 32 KiB (states) and 128 KiB (colours) apart in the map, and
// the map is far larger than any cache: where the processor has them,
// stores that bypass the cache save reading each line before writing it.
void put_column(const uint8_t* states, const uint32_t* colors, uint8_t* map_states, uint32_t* map_colors) {
#if defined(__SSE2__)
  for (int i = 0; i < world_height / 16; ++i)
    _mm_stream_si128(reinterpret_cast<__m128i*>(map_states) + i,
                     _mm_load_si128(reinterpret_cast<const __m128i*>(states) + i));
  for (int i = 0; i < world_height / 4; ++i)
    _mm_stream_si128(reinterpret_cast<__m128i*>(map_colors) + i,
                     _mm_load_si128(reinterpret_cast<const __m128i*>(colors) + i));
#else
  std::memcpy(map_states, states, world_height);
  std::memcpy(map_colors, colors, world_height * sizeof(uint32_t));
#endif
}

void finish_puts() {
#if defined(__SSE2__)
  _mm_sfence();
#endif
}

}  // namespace

bool decode_vxl(std::span<const uint8_t> file, vxl_map& map, vxl_error& error) {
  map.solid.resize(world_voxels);
  map.color.resize(world_voxels);
  alignas(64) uint8_t states[world_height];
  alignas(64) uint32_t colors[world_height];
  size_t pos = 0;
  for (int y = 0; y < world_size; ++y) {
    for (int x = 0; x < world_size; ++x) {
      column_decoder column{file, pos, x, y, states, colors, error};
      if (!column.run()) {
        finish_puts();
        return false;
      }
      pos = column.pos;
      const size_t base = static_cast<size_t>(world_index(x, y, 0));
      put_column(states, colors, map.solid.data() + base, map.color.data() + base);
    }
  }
  finish_puts();
  if (pos != file.size()) {
    error = {pos, -1, -1, std::to_string(file.size() - pos) + " trailing bytes after the last column"};
    return false;
  }
  return true;
}

bool read_file_bytes(const std::string& path, size_t limit, std::vector<uint8_t>& bytes, std::string& error) {
  int err = 0;
  switch (platform_read_bounded(path.c_str(), static_cast<int64_t>(limit), &bytes, &err)) {
    case platform_read_status::ok: return true;
    case platform_read_status::cannot_open: error = "cannot open '" + path + "': " + system_reason(err); break;
    case platform_read_status::not_regular: error = "cannot read '" + path + "': not a regular file"; break;
    case platform_read_status::too_large:
      error = "'" + path + "' is too large to be a map (more than " + std::to_string(limit) + " bytes)";
      break;
    case platform_read_status::cannot_read: error = "cannot read '" + path + "': " + system_reason(err); break;
  }
  return false;
}

bool read_vxl(const std::string& path, vxl_map& map, std::string& error) {
  std::vector<uint8_t> bytes;
  if (!read_file_bytes(path, vxl_max_file_size, bytes, error)) return false;
  vxl_error damage;
  if (decode_vxl(bytes, map, damage)) return true;
  error = "'" + path + "' is damaged: " + describe(damage);
  return false;
}

}  // namespace vormap

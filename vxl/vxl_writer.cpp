#include "vxl/vxl_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "util/parallel_for.h"
#include "util/platform/output_file.h"
#include "world/voxel_world.h"
#include "vxl/vxl_writer_internal.h"

namespace vormap {

namespace {

bool solid_at(const voxel_world& world, int x, int y, int z) { return world.voxel_solid[world_index(x, y, z)] != 0; }

// Outside the world counts as solid, so outer faces never expose a voxel.
bool empty_neighbour(const voxel_world& world, int x, int y, int z) {
  if (x < 0 || x >= world_size || y < 0 || y >= world_size || z < 0 || z >= world_height) return false;
  return !solid_at(world, x, y, z);
}

}  // namespace

bool detail::is_surface_voxel(const voxel_world& world, int x, int y, int z) {
  if (!solid_at(world, x, y, z)) return false;
  return empty_neighbour(world, x - 1, y, z) || empty_neighbour(world, x + 1, y, z) ||
         empty_neighbour(world, x, y - 1, z) || empty_neighbour(world, x, y + 1, z) ||
         empty_neighbour(world, x, y, z - 1) || empty_neighbour(world, x, y, z + 1);
}

void detail::reverse_columns(voxel_world& world) {
  for (int c = 0; c < world_columns; ++c) {
    const int base = c * world_height;
    for (int z = 0; z < world_height / 2; ++z) {
      std::swap(world.voxel_solid[base + z], world.voxel_solid[base + world_height - 1 - z]);
      std::swap(world.voxel_color[base + z], world.voxel_color[base + world_height - 1 - z]);
    }
  }
}

void detail::put_u32_le(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value >> 16));
  out.push_back(static_cast<uint8_t>(value >> 24));
}

uint64_t detail::column_solid_bits(const voxel_world& world, int x, int y) {
  const uint8_t* flags = world.voxel_solid.data() + world_index(x, y, 0);
  uint64_t bits = 0;
  for (int z = 0; z < world_height; ++z) bits |= uint64_t{flags[z] != 0} << z;
  return bits;
}

namespace {

// Surface bits from the solid bits of the column and its four side
// neighbours; outside the world counts as solid on every side. The same in
// either orientation of the column.
uint64_t surface_from(uint64_t self, uint64_t west, uint64_t east, uint64_t south, uint64_t north) {
  const uint64_t above = (self << 1) | 1u;                   // bit z: voxel z - 1
  const uint64_t below = (self >> 1) | (uint64_t{1} << 63);  // bit z: voxel z + 1
  return self & ~(west & east & south & north & above & below);
}

}  // namespace

uint64_t detail::column_surface_bits(const voxel_world& world, int x, int y) {
  constexpr uint64_t all = ~uint64_t{0};
  auto bits = [&](int cx, int cy) { return column_solid_bits(world, cx, cy); };
  return surface_from(bits(x, y), x > 0 ? bits(x - 1, y) : all, x < world_size - 1 ? bits(x + 1, y) : all,
                      y > 0 ? bits(x, y - 1) : all, y < world_size - 1 ? bits(x, y + 1) : all);
}

// The plain encoder: the scan exactly as the format describes it, one voxel
// at a time, with the surface test for every voxel it looks at. The fast
// encoder below is tested against it.
void detail::encode_vxl_column(const voxel_world& world, int x, int y, std::vector<uint8_t>& out) {
  const int base = world_index(x, y, 0);
  auto solid = [&](int z) { return z < world_height && solid_at(world, x, y, z); };
  auto surface = [&](int z) { return solid(z) && is_surface_voxel(world, x, y, z); };
  int a = 0;
  for (;;) {
    int top_start = a;
    while (top_start < world_height && !solid(top_start)) ++top_start;
    int top_end_excl = top_start;
    while (surface(top_end_excl)) ++top_end_excl;
    int bottom_start = top_end_excl;
    while (solid(bottom_start) && !surface(bottom_start)) ++bottom_start;
    int exposed_end = bottom_start;
    while (surface(exposed_end)) ++exposed_end;
    // A surface run that reaches the bottom is left for one more, final span.
    const int bottom_end = exposed_end == world_height ? bottom_start : exposed_end;

    const bool last = bottom_end == world_height;
    const int length = last ? 0 : (top_end_excl - top_start) + (bottom_end - bottom_start) + 1;
    out.push_back(static_cast<uint8_t>(length));
    out.push_back(static_cast<uint8_t>(top_start));
    out.push_back(static_cast<uint8_t>(top_end_excl - 1));
    out.push_back(static_cast<uint8_t>(a));
    for (int k = top_start; k < top_end_excl; ++k) put_u32_le(out, world.voxel_color[base + k]);
    for (int k = bottom_start; k < bottom_end; ++k) put_u32_le(out, world.voxel_color[base + k]);
    if (last) return;
    a = bottom_end;
  }
}

std::vector<uint8_t> detail::encode_vxl_plain(const voxel_world& world) {
  std::unique_ptr<voxel_world> flipped = voxel_world::create();
  flipped->voxel_solid = world.voxel_solid;
  flipped->voxel_color = world.voxel_color;
  flipped->column_height = world.column_height;
  reverse_columns(*flipped);
  std::vector<uint8_t> file;
  for (int y = 0; y < world_size; ++y)
    for (int x = 0; x < world_size; ++x) encode_vxl_column(*flipped, x, y, file);
  return file;
}

namespace {

// The fast encoder. It reads the grids as they are (z = 0 at the bottom) and
// works on a 64-bit mask per column, bit z for grid voxel z; file voxel z is
// grid voxel 63 - z, so the scan down a column in the file runs from the
// mask's top bit down. Bands of file rows are encoded on their own, each by
// one thread, into a buffer of their own; the bands are joined in order, so
// the bytes never depend on the number of threads.

// Solid mask of the column whose 64 grid flags start at `flags` (any
// non-zero flag is solid).
uint64_t solid_mask(const uint8_t* flags) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  uint64_t empty = 0;
  for (int i = 0; i < world_height / 16; ++i) {
    const __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(flags) + i);
    empty |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(sixteen, zero)))} << (16 * i);
  }
  return ~empty;
#else
  uint64_t bits = 0;
  for (int j = 0; j < world_height / 8; ++j) {
    uint64_t w;
    std::memcpy(&w, flags + 8 * j, 8);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    // Bit 7 of each byte set where the byte is non-zero, moved to bit 0;
    // the multiply gathers bit 0 of byte i into bit 56 + i.
    constexpr uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
    const uint64_t nonzero = ((((w & low7) + low7) | w) >> 7) & 0x0101010101010101ull;
    bits |= ((nonzero * 0x0102040810204080ull) >> 56) << (8 * j);
  }
  return bits;
#endif
}

// First file z >= from whose voxel's bit is set in the grid-oriented
// `mask`, or 64.
int first_set_from(uint64_t mask, int from) {
  if (from >= world_height) return world_height;
  const uint64_t rest = mask << from;  // file z = from is now the top bit
  return rest == 0 ? world_height : from + std::countl_zero(rest);
}

int first_clear_from(uint64_t mask, int from) { return first_set_from(~mask, from); }

// Runs the span scan of one column given its masks, calling
// span(length, top_start, top_end_excl, air_start, bottom_start, bottom_end)
// for each span record in order.
template <class Span>
void scan_spans(uint64_t solid, uint64_t surface, Span&& span) {
  const uint64_t hidden = solid & ~surface;
  int a = 0;
  for (;;) {
    const int top_start = first_set_from(solid, a);
    const int top_end_excl = first_clear_from(surface, top_start);
    const int bottom_start = first_clear_from(hidden, top_end_excl);
    const int exposed_end = first_clear_from(surface, bottom_start);
    const int bottom_end = exposed_end == world_height ? bottom_start : exposed_end;
    const bool last = bottom_end == world_height;
    const int length = last ? 0 : (top_end_excl - top_start) + (bottom_end - bottom_start) + 1;
    span(length, top_start, top_end_excl, a, bottom_start, bottom_end);
    if (last) return;
    a = bottom_end;
  }
}

// Writes the colour words of file voxels first..end-1 of a column whose grid
// colours start at `grid`, least significant byte first.
uint8_t* put_colors(const uint32_t* grid, int first, int end, uint8_t* out) {
  for (int z = first; z < end; ++z, out += 4) {
    const uint32_t word = grid[world_height - 1 - z];
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(out, &word, 4);
    } else {
      out[0] = static_cast<uint8_t>(word);
      out[1] = static_cast<uint8_t>(word >> 8);
      out[2] = static_cast<uint8_t>(word >> 16);
      out[3] = static_cast<uint8_t>(word >> 24);
    }
  }
  return out;
}

// Writes the column's record at `out` and returns its end.
uint8_t* write_record(uint64_t solid, uint64_t surface, const uint32_t* grid, uint8_t* out) {
  scan_spans(solid, surface, [&](int length, int top_start, int top_end_excl, int a, int bottom_start, int bottom_end) {
    out[0] = static_cast<uint8_t>(length);
    out[1] = static_cast<uint8_t>(top_start);
    out[2] = static_cast<uint8_t>(top_end_excl - 1);
    out[3] = static_cast<uint8_t>(a);
    out = put_colors(grid, top_start, top_end_excl, out + 4);
    out = put_colors(grid, bottom_start, bottom_end, out);
  });
  return out;
}

// The most bytes one column record can take: 65 span headers and 64 colours.
constexpr size_t max_record = (65 + 64) * 4;

// The bytes of one band of file rows, in a buffer that grows as needed.
struct band_bytes {
  std::unique_ptr<uint8_t[]> data;
  size_t size = 0;
  size_t capacity = 0;

  // Room for at least `n` more bytes after `size`. The first buffer is
  // larger than a band of a generated map needs, so it hardly ever grows;
  // its pages are not touched until written.
  uint8_t* room(size_t n) {
    if (capacity - size < n) {
      const size_t grown = std::max({size + n, capacity * 2, size_t{1} << 20});
      std::unique_ptr<uint8_t[]> bigger(new uint8_t[grown]);  // left uninitialised
      if (size != 0) std::memcpy(bigger.get(), data.get(), size);
      data = std::move(bigger);
      capacity = grown;
    }
    return data.get() + size;
  }
};

// Rows of columns per band: a band's masks (about 270 KiB) stay in the
// processor's second-level cache, and eight bands share out well between
// threads.
constexpr int band_rows = 64;
constexpr int bands = world_size / band_rows;

// Encodes the file rows y_begin..y_begin + band_rows - 1 in file order,
// appending to `out`. `masks` is scratch space, reused from band to band.
void encode_band(const voxel_world& world, int y_begin, band_bytes& out, std::vector<uint64_t>& masks) {
  // Solid masks of the band's rows and the row on either side, y-major, with
  // a border of all-solid columns around the world so that a neighbour
  // outside the world is solid without a test.
  constexpr int stride = world_size + 2;
  masks.assign(static_cast<size_t>(band_rows + 2) * stride, ~uint64_t{0});
  auto row = [&](int y) { return masks.data() + static_cast<ptrdiff_t>(y - y_begin + 1) * stride + 1; };
  const int y_lo = std::max(y_begin - 1, 0), y_hi = std::min(y_begin + band_rows + 1, world_size);
  for (int x = 0; x < world_size; ++x) {
    const uint8_t* flags = world.voxel_solid.data() + world_index(x, 0, 0);
    for (int y = y_lo; y < y_hi; ++y) row(y)[x] = solid_mask(flags + y * world_height);
  }
  for (int y = y_begin; y < y_begin + band_rows; ++y) {
    const uint64_t *north = row(y - 1), *self = row(y), *south = row(y + 1);
    const uint32_t* colors = world.voxel_color.data() + world_index(0, y, 0);
    uint8_t* at = out.room(world_size * max_record);
    for (int x = 0; x < world_size; ++x) {
      // Columns of one row lie 128 KiB apart in the colour grid: ask for the
      // top voxel's colour of a column a little ahead, so the reads overlap.
      constexpr int ahead = 16;
      if (x + ahead < world_size && self[x + ahead] != 0) {
        const int top = world_height - 1 - std::countl_zero(self[x + ahead]);
        __builtin_prefetch(colors + static_cast<ptrdiff_t>(x + ahead) * world_height * world_size + top);
      }
      const uint64_t surface = surface_from(self[x], self[x - 1], self[x + 1], north[x], south[x]);
      at = write_record(self[x], surface, colors + static_cast<ptrdiff_t>(x) * world_height * world_size, at);
    }
    out.size = static_cast<size_t>(at - out.data.get());
  }
}

// Encodes every column in file order, handing the bytes to `sink` one band
// at a time. Returns the first non-zero value `sink` returns, or 0. As many
// bands as there are threads are encoded at once.
template <class Sink>
int encode_world(const voxel_world& world, int threads, Sink&& sink) {
  const int at_once = std::clamp(threads, 1, bands);
  std::vector<band_bytes> pieces(static_cast<size_t>(at_once));
  std::vector<std::vector<uint64_t>> scratch(static_cast<size_t>(at_once));
  for (int first = 0; first < bands; first += at_once) {
    const int count = std::min(at_once, bands - first);
    parallel_for(count, 0, count, [&](int64_t lo, int64_t hi) {
      for (int64_t i = lo; i < hi; ++i) {
        pieces[i].size = 0;
        encode_band(world, static_cast<int>(first + i) * band_rows, pieces[i], scratch[i]);
      }
    });
    for (int i = 0; i < count; ++i)
      if (int err = sink(pieces[static_cast<size_t>(i)].data.get(), pieces[static_cast<size_t>(i)].size)) return err;
  }
  return 0;
}

}  // namespace

std::vector<uint8_t> encode_vxl(const voxel_world& world, int threads) {
  std::vector<uint8_t> file;
  // More than a generated map needs; pages past the end are not touched.
  file.reserve(size_t{4} << 20);
  encode_world(world, threads, [&](const uint8_t* piece, size_t size) {
    file.insert(file.end(), piece, piece + size);
    return 0;
  });
  return file;
}

bool write_vxl(const voxel_world& world, int threads, const std::string& path, std::string& error) {
  return write_output_file(
      path, [&](const output_sink& sink, std::string&) { return encode_world(world, threads, sink); }, error,
      output_links::write_through);
}

}  // namespace vormap

#include "world/vxl_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <utility>

#include "util/platform/files.h"
#include "world/voxel_world.h"

namespace vormap {

namespace {

bool solid_at(int x, int y, int z) { return voxel_solid[world_index(x, y, z)] != 0; }

// Outside the world counts as solid, so outer faces never expose a voxel.
bool empty_neighbour(int x, int y, int z) {
  if (x < 0 || x >= world_size || y < 0 || y >= world_size || z < 0 || z >= world_height) return false;
  return !solid_at(x, y, z);
}

}  // namespace

bool is_surface_voxel(int x, int y, int z) {
  if (!solid_at(x, y, z)) return false;
  return empty_neighbour(x - 1, y, z) || empty_neighbour(x + 1, y, z) || empty_neighbour(x, y - 1, z) ||
         empty_neighbour(x, y + 1, z) || empty_neighbour(x, y, z - 1) || empty_neighbour(x, y, z + 1);
}

void reverse_columns() {
  for (int c = 0; c < world_columns; ++c) {
    const int base = c * world_height;
    for (int z = 0; z < world_height / 2; ++z) {
      std::swap(voxel_solid[base + z], voxel_solid[base + world_height - 1 - z]);
      std::swap(voxel_color[base + z], voxel_color[base + world_height - 1 - z]);
    }
  }
}

void put_u32_le(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value >> 16));
  out.push_back(static_cast<uint8_t>(value >> 24));
}

namespace {

// First z >= from whose bit is set in `mask`, or 64.
int first_set_from(uint64_t mask, int from) {
  if (from >= world_height) return world_height;
  const uint64_t rest = mask >> from;
  return rest == 0 ? world_height : from + std::countr_zero(rest);
}

int first_clear_from(uint64_t mask, int from) { return first_set_from(~mask, from); }

// Solid bits of every column, in grid order (x * 512 + y).
std::vector<uint64_t> all_solid_bits() {
  std::vector<uint64_t> bits(world_columns);
  for (int c = 0; c < world_columns; ++c) bits[c] = column_solid_bits(c / world_size, c % world_size);
  return bits;
}

// Surface bits from the solid bits of the column and its four side
// neighbours; outside the world counts as solid on every side.
uint64_t surface_from(uint64_t self, uint64_t west, uint64_t east, uint64_t south, uint64_t north) {
  const uint64_t above = (self << 1) | 1u;                // bit z: voxel z - 1
  const uint64_t below = (self >> 1) | (uint64_t{1} << 63);  // bit z: voxel z + 1
  return self & ~(west & east & south & north & above & below);
}

template <class SolidBits>
uint64_t surface_bits_with(int x, int y, SolidBits&& solid_bits) {
  constexpr uint64_t all = ~uint64_t{0};
  return surface_from(solid_bits(x, y), x > 0 ? solid_bits(x - 1, y) : all,
                      x < world_size - 1 ? solid_bits(x + 1, y) : all, y > 0 ? solid_bits(x, y - 1) : all,
                      y < world_size - 1 ? solid_bits(x, y + 1) : all);
}

void encode_column_bits(int x, int y, uint64_t solid, uint64_t surface, std::vector<uint8_t>& out) {
  const int base = world_index(x, y, 0);
  const uint64_t hidden = solid & ~surface;
  int a = 0;
  for (;;) {
    const int top_start = first_set_from(solid, a);
    const int top_end_excl = first_clear_from(surface, top_start);
    const int bottom_start = first_clear_from(hidden, top_end_excl);
    const int exposed_end = first_clear_from(surface, bottom_start);
    // A surface run that reaches the bottom is left for one more, final span.
    const int bottom_end = exposed_end == world_height ? bottom_start : exposed_end;

    const bool last = bottom_end == world_height;
    const int length = last ? 0 : (top_end_excl - top_start) + (bottom_end - bottom_start) + 1;
    out.push_back(static_cast<uint8_t>(length));
    out.push_back(static_cast<uint8_t>(top_start));
    out.push_back(static_cast<uint8_t>(top_end_excl - 1));
    out.push_back(static_cast<uint8_t>(a));
    for (int k = top_start; k < top_end_excl; ++k) put_u32_le(out, voxel_color[base + k]);
    for (int k = bottom_start; k < bottom_end; ++k) put_u32_le(out, voxel_color[base + k]);
    if (last) return;
    a = bottom_end;
  }
}

}  // namespace

uint64_t column_solid_bits(int x, int y) {
  const uint8_t* flags = voxel_solid.data() + world_index(x, y, 0);
  uint64_t bits = 0;
  for (int z = 0; z < world_height; ++z) bits |= uint64_t{flags[z] != 0} << z;
  return bits;
}

uint64_t column_surface_bits(int x, int y) {
  return surface_bits_with(x, y, [](int cx, int cy) { return column_solid_bits(cx, cy); });
}

void encode_vxl_column(int x, int y, std::vector<uint8_t>& out) {
  encode_column_bits(x, y, column_solid_bits(x, y), column_surface_bits(x, y), out);
}

namespace {

// Encodes every column in file order, handing the bytes to `sink` in pieces
// of about 64 KiB. Returns the first non-zero value `sink` returns, or 0.
template <class Sink>
int encode_world(Sink&& sink) {
  reverse_columns();
  const std::vector<uint64_t> solid = all_solid_bits();
  auto solid_bits = [&](int x, int y) { return solid[column_index(x, y)]; };
  constexpr size_t flush_at = size_t{1} << 16;
  std::vector<uint8_t> buffer;
  buffer.reserve(flush_at + 4096);
  for (int y = 0; y < world_size; ++y) {
    for (int x = 0; x < world_size; ++x) {
      encode_column_bits(x, y, solid_bits(x, y), surface_bits_with(x, y, solid_bits), buffer);
      if (buffer.size() >= flush_at) {
        if (int err = sink(buffer)) return err;
        buffer.clear();
      }
    }
  }
  return buffer.empty() ? 0 : sink(buffer);
}

}  // namespace

std::vector<uint8_t> encode_vxl() {
  std::vector<uint8_t> file;
  file.reserve(size_t{1} << 22);
  encode_world([&](const std::vector<uint8_t>& piece) {
    file.insert(file.end(), piece.begin(), piece.end());
    return 0;
  });
  return file;
}

namespace {

std::string reason(int err) { return std::strerror(err); }

// Writes all of `data`, retrying short writes. Returns 0 or an errno value.
int write_all(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

// Encodes the world into `fd`. Returns 0 or an errno value.
int encode_to(int fd) {
  return encode_world([fd](const std::vector<uint8_t>& piece) { return write_all(fd, piece.data(), piece.size()); });
}

// Owns a descriptor and closes it unless released.
struct fd_guard {
  int fd = -1;
  ~fd_guard() {
    if (fd >= 0) ::close(fd);
  }
  int release() { return std::exchange(fd, -1); }
};

bool fail(std::string& error, const std::string& what, const std::string& path, int err) {
  error = what + " '" + path + "': " + reason(err);
  return false;
}

// A symbolic link or a special file (pipe, device): write through it, since a
// rename would replace the link or the node itself.
bool write_in_place(const std::string& path, std::string& error) {
  fd_guard out{::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)};
  if (out.fd < 0) return fail(error, "cannot open", path, errno);
  if (int err = encode_to(out.fd)) return fail(error, "cannot write", path, err);
  if (::close(out.release()) != 0) return fail(error, "cannot write", path, errno);
  return true;
}

bool write_replacing(const std::string& path, std::string& error) {
  platform_temp_file temp;
  if (!platform_temp_open(path.c_str(), &temp))
    return fail(error, temp.target_refused ? "cannot open" : "cannot create", path, temp.error);
  const int err = encode_world([&temp](const std::vector<uint8_t>& piece) {
    return platform_temp_write(&temp, piece.data(), piece.size()) ? 0 : temp.error;
  });
  if (err != 0) {
    platform_temp_abandon(&temp);
    return fail(error, "cannot write", path, err);
  }
  if (!platform_temp_commit(&temp))
    return fail(error, temp.replace_failed ? "cannot replace" : "cannot write", path, temp.error);
  return true;
}

}  // namespace

bool write_vxl(const std::string& path, std::string& error) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) {
    if (S_ISREG(st.st_mode)) return write_replacing(path, error);
    if (S_ISDIR(st.st_mode)) return fail(error, "cannot write", path, EISDIR);
    return write_in_place(path, error);
  }
  if (errno != ENOENT) return fail(error, "cannot write", path, errno);
  return write_replacing(path, error);
}

}  // namespace vormap

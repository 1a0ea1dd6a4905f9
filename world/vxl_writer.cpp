#include "world/vxl_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

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

void encode_vxl_column(int x, int y, std::vector<uint8_t>& out) {
  const int base = world_index(x, y, 0);
  auto solid = [&](int z) { return voxel_solid[base + z] != 0; };
  auto surface = [&](int z) { return is_surface_voxel(x, y, z); };
  int a = 0;
  for (;;) {
    int z = a;
    while (z < world_height && !solid(z)) ++z;
    const int top_start = z;
    while (z < world_height && solid(z) && surface(z)) ++z;
    const int top_end_excl = z;
    while (z < world_height && solid(z) && !surface(z)) ++z;
    const int bottom_start = z;
    while (z < world_height && surface(z)) ++z;
    // A surface run that reaches the bottom is left for one more, final span.
    const int bottom_end = z == world_height ? bottom_start : z;

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

std::vector<uint8_t> encode_vxl() {
  reverse_columns();
  std::vector<uint8_t> out;
  out.reserve(size_t{1} << 22);
  for (int y = 0; y < world_size; ++y)
    for (int x = 0; x < world_size; ++x) encode_vxl_column(x, y, out);
  return out;
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

// Encodes the world into `fd` through a bounded buffer, never the whole file
// at once. Returns 0 or an errno value.
int encode_to(int fd) {
  reverse_columns();
  constexpr size_t flush_at = size_t{1} << 16;
  std::vector<uint8_t> buffer;
  buffer.reserve(flush_at + 4096);
  for (int y = 0; y < world_size; ++y) {
    for (int x = 0; x < world_size; ++x) {
      encode_vxl_column(x, y, buffer);
      if (buffer.size() >= flush_at) {
        if (int err = write_all(fd, buffer.data(), buffer.size())) return err;
        buffer.clear();
      }
    }
  }
  return write_all(fd, buffer.data(), buffer.size());
}

// Owns a descriptor and closes it unless released.
struct fd_guard {
  int fd = -1;
  ~fd_guard() {
    if (fd >= 0) ::close(fd);
  }
  int release() { return std::exchange(fd, -1); }
};

std::string directory_of(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string base_name_of(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

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

bool write_replacing(const std::string& path, const struct stat* existing, std::string& error) {
  std::string temp = directory_of(path) + "/." + base_name_of(path) + ".XXXXXX";
  fd_guard out{::mkstemp(temp.data())};
  if (out.fd < 0) return fail(error, "cannot create", path, errno);
  struct remove_guard {
    const std::string& name;
    bool armed = true;
    ~remove_guard() {
      if (armed) ::unlink(name.c_str());
    }
  } cleanup{temp};

  // mkstemp makes the file private; give it the mode a plain create (or the
  // map it replaces) would have.
  mode_t mode;
  if (existing != nullptr) {
    mode = existing->st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (::fchmod(out.fd, mode) != 0) return fail(error, "cannot create", path, errno);
  if (int err = encode_to(out.fd)) return fail(error, "cannot write", path, err);
  if (::fsync(out.fd) != 0) return fail(error, "cannot write", path, errno);
  if (::close(out.release()) != 0) return fail(error, "cannot write", path, errno);
  if (::rename(temp.c_str(), path.c_str()) != 0) return fail(error, "cannot replace", path, errno);
  cleanup.armed = false;
  return true;
}

}  // namespace

bool write_vxl(const std::string& path, std::string& error) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) {
    if (S_ISREG(st.st_mode)) return write_replacing(path, &st, error);
    if (S_ISDIR(st.st_mode)) return fail(error, "cannot write", path, EISDIR);
    return write_in_place(path, error);
  }
  if (errno != ENOENT) return fail(error, "cannot write", path, errno);
  return write_replacing(path, nullptr, error);
}

}  // namespace vormap

#include "world/voxel_world.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

namespace vormap {

namespace {

[[maybe_unused]] size_t mapped_size(size_t size) { return (size + huge_page_size - 1) & ~(huge_page_size - 1); }

}  // namespace

#if defined(__EMSCRIPTEN__)
// WebAssembly's memory has no pages to map or trim (its mmap cannot give back
// part of a mapping, so every world would leak): the grids come from the
// heap, zeroed.
void* voxel_world::operator new(std::size_t size, std::align_val_t align) {
  void* p = ::operator new(size, align);
  std::memset(p, 0, size);
  return p;
}

void voxel_world::operator delete(void* p, std::size_t, std::align_val_t align) noexcept { ::operator delete(p, align); }
#else
// Every page of the 80 MiB voxel grids is touched by a run. Asked for before
// the first touch, huge pages make that one fault per 2 MiB instead of one
// per 4 KiB, and spare the encoder's strided reads most of their address
// translation misses. Fresh anonymous memory is zero until written, so the
// grids start empty without a pass over them.
void* voxel_world::operator new(std::size_t size, std::align_val_t) {
  const size_t length = mapped_size(size);
  // Map one huge page more than needed and trim the ends, so that the grids
  // start on a huge page boundary.
  const size_t padded = length + huge_page_size;
  void* raw = ::mmap(nullptr, padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  const auto begin = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (begin + huge_page_size - 1) & ~(uintptr_t{huge_page_size} - 1);
  if (aligned > begin) ::munmap(raw, aligned - begin);
  const uintptr_t tail = begin + padded - (aligned + length);
  if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + length), tail);
  void* p = reinterpret_cast<void*>(aligned);
  advise_huge_pages(p, length);
  return p;
}

void voxel_world::operator delete(void* p, std::size_t size, std::align_val_t) noexcept {
  if (p != nullptr) ::munmap(p, mapped_size(size));
}
#endif

std::unique_ptr<voxel_world> voxel_world::create() { return std::unique_ptr<voxel_world>(new voxel_world); }

void voxel_world::fill_column_span(int x, int y, int z_low, int z_high, uint32_t color) {
  if (z_low > z_high) return;
  const int first = world_index(x, y, z_low);
  const int n = z_high - z_low + 1;
  std::fill_n(voxel_color.begin() + first, n, color);
  // The flags are exactly 0 or 1, never another non-zero value.
  std::memset(voxel_solid.data() + first, color != 0 ? 1 : 0, static_cast<size_t>(n));
}

void voxel_world::clear() {
  voxel_solid.fill(0);
  voxel_color.fill(0);
  column_height.fill(0);
}

}  // namespace vormap

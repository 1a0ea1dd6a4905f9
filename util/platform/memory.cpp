#include "util/platform/memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <new>

namespace vormap {

void advise_huge_pages(void* data, size_t size) {
#ifdef MADV_HUGEPAGE
  const auto begin = reinterpret_cast<uintptr_t>(data);
  const uintptr_t first = (begin + huge_page_size - 1) & ~(uintptr_t{huge_page_size} - 1);
  const uintptr_t end = (begin + size) & ~(uintptr_t{huge_page_size} - 1);
  if (end > first) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

namespace {

[[maybe_unused]] size_t mapped_size(size_t size) { return (size + huge_page_size - 1) & ~(huge_page_size - 1); }

}  // namespace

#if defined(__EMSCRIPTEN__)
// WebAssembly's memory has no pages to map or trim (its mmap cannot give back
// part of a mapping): the heap's, zeroed.
void* map_huge_pages(size_t size) {
  void* p = ::operator new(size, std::align_val_t{64});
  std::memset(p, 0, size);
  return p;
}

void unmap_huge_pages(void* data, size_t) noexcept { ::operator delete(data, std::align_val_t{64}); }
#else
void* map_huge_pages(size_t size) {
  const size_t length = mapped_size(size);
  // One huge page more than needed, the ends trimmed, so that the memory
  // starts on a huge page boundary.
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

void unmap_huge_pages(void* data, size_t size) noexcept {
  if (data != nullptr) ::munmap(data, mapped_size(size));
}
#endif

}  // namespace vormap

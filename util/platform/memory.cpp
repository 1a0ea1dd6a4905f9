#include "util/platform/memory.h"

#include <sys/mman.h>

#include <cstdint>

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

}  // namespace vormap

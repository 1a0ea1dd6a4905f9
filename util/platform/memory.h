// Memory hints to the operating system.
#pragma once

#include <cstddef>

namespace vormap {

// The size of a huge page on the systems we build for (x86-64 and aarch64
// Linux with 4 KiB base pages).
inline constexpr size_t huge_page_size = size_t{2} << 20;

// Asks for huge pages behind the whole huge pages inside [data, data + size),
// for memory not yet touched. A hint only: where the system has none, or
// gives none, nothing changes and nothing is reported.
void advise_huge_pages(void* data, size_t size);

// Zeroed memory of `size` bytes for one large object, on a huge page
// boundary and advised to use huge pages (rounded up to whole huge pages), so
// that its first touch costs one fault per 2 MiB instead of one per 4 KiB.
// Throws std::bad_alloc when there is none. Freed by unmap_huge_pages with
// the same size.
void* map_huge_pages(size_t size);
void unmap_huge_pages(void* data, size_t size) noexcept;

}  // namespace vormap

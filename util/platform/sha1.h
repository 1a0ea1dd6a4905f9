// SHA-1 digests, from the system's cryptography library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vormap {

// Stores the 20-byte SHA-1 digest of `length` bytes at `data` in *digest.
// Returns false only when the library cannot set up its context.
bool sha1_digest(const void* data, size_t length, std::array<uint8_t, 20>* digest);

}  // namespace vormap

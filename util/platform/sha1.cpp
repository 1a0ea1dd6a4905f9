#include "util/platform/sha1.h"

#include <openssl/evp.h>

namespace vormap {

bool sha1_digest(const void* data, size_t length, std::array<uint8_t, 20>* digest) {
  unsigned int size = 0;
  return EVP_Digest(data, length, digest->data(), &size, EVP_sha1(), nullptr) == 1 && size == digest->size();
}

}  // namespace vormap

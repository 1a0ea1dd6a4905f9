// The pinned maps of tests/data/pinned_maps.txt: the SHA-256 of the file
// written for a few command lines, and the hash of a map's bytes to compare.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vormap::testing {

inline std::string sha256_hex(const std::vector<uint8_t>& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
  static const char* hex = "0123456789abcdef";
  std::string text;
  for (unsigned int k = 0; k < length; ++k) {
    text += hex[digest[k] >> 4];
    text += hex[digest[k] & 15];
  }
  return text;
}

struct pinned_map {
  std::string sha256;
  std::vector<std::string> args;  // the command line, e.g. -s -12345 -d
};

inline std::vector<pinned_map> load_pins(const std::string& path) {
  std::ifstream in(path);
  std::vector<pinned_map> pins;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    pinned_map pin;
    words >> pin.sha256;
    for (std::string w; words >> w;) pin.args.push_back(w);
    pins.push_back(pin);
  }
  return pins;
}

}  // namespace vormap::testing

#include "generator/random/random.h"

namespace vormap {

uint32_t seed_lcg_next(uint32_t& state) {
  state = state * 2147001325u + 715136305u;
  return ((state << 16) | (state >> 16)) ^ 0x31415926u;
}

void random_generator::seed(int32_t value) {
  uint32_t lcg = static_cast<uint32_t>(value);
  for (auto& word : state) word = seed_lcg_next(lcg);
  byte_offset = twister_words * 4;
}

void twister_regenerate(std::array<uint32_t, twister_words>& s) {
  constexpr int n = twister_words;
  constexpr int m = 397;
  auto mix = [](uint32_t upper, uint32_t lower, uint32_t far) {
    const uint32_t y = (upper & 0x80000000u) | (lower & 0x7FFFFFFFu);
    return far ^ (y >> 1) ^ ((y & 1u) ? 0x9908B0DFu : 0u);
  };
  for (int i = 0; i < n - 1; ++i) s[i] = mix(s[i], s[i + 1], s[(i + m) % n]);
  s[n - 1] = mix(s[n - 1], s[0], s[m - 1]);
}

uint32_t twister_temper(uint32_t y) {
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y;
}

uint32_t random_generator::u32() {
  uint32_t p = byte_offset;
  if (p >= twister_words * 4) {
    if (p > twister_words * 4) seed(0);
    twister_regenerate(state);
    p = 0;
  }
  byte_offset = p + 4;
  return twister_temper(state[p / 4]);
}

double random_generator::unit() {
  constexpr double two_to_minus_32 = 1.0 / 4294967296.0;
  return static_cast<double>(u32()) * two_to_minus_32;
}

}  // namespace vormap

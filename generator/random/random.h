// The generator's random numbers: MT19937 drawing, with the state words
// filled by a 32-bit linear congruential generator of its own. Every map is a
// pure function of its seed, so the number and order of draws is part of each
// stage's definition. Each map has a generator of its own.
#pragma once

#include <array>
#include <cstdint>

namespace vormap {

inline constexpr int twister_words = 624;
inline constexpr uint32_t twister_unseeded = 2497;  // one more than 624 * 4

class random_generator {
 public:
  // Fills the state from the seed's bit pattern; the next draw regenerates.
  void seed(int32_t value);
  // Next 32-bit value. An unseeded generator first seeds itself with 0.
  uint32_t u32();
  // Next value times 2^-32: a double in [0, 1), never rounded to single.
  double unit();

  bool operator==(const random_generator&) const = default;

  std::array<uint32_t, twister_words> state{};
  uint32_t byte_offset = twister_unseeded;  // of the next word in `state`
};

// One step of the seeding generator: advances `state` and returns its output.
uint32_t seed_lcg_next(uint32_t& state);
// The MT19937 regeneration of all 624 words, in place.
void twister_regenerate(std::array<uint32_t, twister_words>& state);
// The MT19937 output tempering of one word.
uint32_t twister_temper(uint32_t y);

}  // namespace vormap

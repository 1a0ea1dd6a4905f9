// The process-wide random number generator: MT19937 drawing, with the state
// words filled by a 32-bit linear congruential generator of its own.
// Every map is a pure function of its seed, so the number and order of draws
// is part of each stage's definition.
#pragma once

#include <array>
#include <cstdint>

namespace vormap {

inline constexpr int twister_words = 624;
inline constexpr uint32_t twister_unseeded = 2497;  // one more than 624 * 4

extern std::array<uint32_t, twister_words> twister_state;
extern uint32_t twister_byte_offset;

// Fills the state from the seed's bit pattern; the next draw regenerates.
void random_seed(int32_t seed);
// Next 32-bit value. An unseeded generator first seeds itself with 0.
uint32_t random_u32();
// Next value times 2^-32: a double in [0, 1), never rounded to single.
double random_unit();

// One step of the seeding generator: advances `state` and returns its output.
uint32_t seed_lcg_next(uint32_t& state);
// The MT19937 regeneration of all 624 words, in place.
void twister_regenerate(std::array<uint32_t, twister_words>& state);
// The MT19937 output tempering of one word.
uint32_t twister_temper(uint32_t y);

}  // namespace vormap

// One layer of gradient noise sampled over a whole height field.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "world/voxel_world.h"

namespace vormap {

// The nearest single to 5/6: noise of +-1/layer_scale maps onto [low, high].
inline constexpr float layer_scale = 0x1.aaaaaap-1f;  // the float of bits 0x3F555555

// Overwrites every element of `field` (x*512 + y order) with noise of
// x_frequency by y_frequency cells across the map, on slice z, mapped so that
// noise -1/layer_scale gives `low` and +1/layer_scale gives `high`. The
// frequencies are also the wrap periods, so power-of-two frequencies tile
// across both edges. Frequencies must be at least 1 and z in [0, 256).
// Runs on up to `threads` threads with the processor's vector instructions;
// the result has the same bits as fill_noise_layer_reference.
void fill_noise_layer(std::array<float, world_columns>& field, int32_t x_frequency,
                      int32_t y_frequency, float z, float low, float high, int threads);

// The same layer, one gradient_noise call per element on the calling thread:
// the plain definition that the fast path is checked and measured against.
void fill_noise_layer_reference(std::array<float, world_columns>& field, int32_t x_frequency,
                                int32_t y_frequency, float z, float low, float high);

// Element (x, y) of that layer alone, with the same bits: for a field of
// which only a few elements are read.
float noise_layer_value(int x, int y, int32_t x_frequency, int32_t y_frequency, float z, float low,
                        float high);

}  // namespace vormap

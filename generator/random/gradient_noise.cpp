#include "generator/random/gradient_noise.h"

#include <cmath>

namespace vormap {

namespace {

constexpr std::array<int32_t, 256> permutation_low = {
    23,  125, 161, 52,  103, 117, 70,  37,  247, 101, 203, 169, 124, 126, 44,  123,
    152, 238, 145, 45,  171, 114, 253, 10,  192, 136, 4,   157, 249, 30,  35,  72,
    175, 63,  77,  90,  181, 16,  96,  111, 133, 104, 75,  162, 93,  56,  66,  240,
    8,   50,  84,  229, 49,  210, 173, 239, 141, 1,   87,  18,  2,   198, 143, 57,
    225, 160, 58,  217, 168, 206, 245, 204, 199, 6,   73,  60,  20,  230, 211, 233,
    94,  200, 88,  9,   74,  155, 33,  15,  219, 130, 226, 202, 83,  236, 42,  172,
    165, 218, 55,  222, 46,  107, 98,  154, 109, 67,  196, 178, 127, 158, 13,  243,
    65,  79,  166, 248, 25,  224, 115, 80,  68,  51,  184, 128, 232, 208, 151, 122,
    26,  212, 105, 43,  179, 213, 235, 148, 146, 89,  14,  195, 28,  78,  112, 76,
    250, 47,  24,  251, 140, 108, 186, 190, 228, 170, 183, 139, 39,  188, 244, 246,
    132, 48,  119, 144, 180, 138, 134, 193, 82,  182, 120, 121, 86,  220, 209, 3,
    91,  241, 149, 85,  205, 150, 113, 216, 31,  100, 41,  164, 177, 214, 153, 231,
    38,  71,  185, 174, 97,  201, 29,  95,  7,   92,  54,  254, 191, 118, 34,  221,
    131, 11,  163, 99,  234, 81,  227, 147, 156, 176, 17,  142, 69,  12,  110, 62,
    27,  255, 0,   194, 59,  116, 242, 252, 19,  21,  187, 53,  207, 129, 64,  135,
    61,  40,  167, 237, 102, 223, 106, 159, 197, 189, 215, 137, 36,  32,  22,  5,
};

constexpr std::array<int32_t, 512> doubled(const std::array<int32_t, 256>& low) {
  std::array<int32_t, 512> all{};
  for (int k = 0; k < 256; ++k) all[k] = all[k + 256] = low[k];
  return all;
}

}  // namespace

const std::array<int32_t, 512> noise_permutation = doubled(permutation_low);

double noise_gradient(int32_t hash, float dx, float dy, float dz) {
  const double x = dx, y = dy, z = dz;
  switch (hash & 15) {
    case 0: return x + y;
    case 1: return y - x;
    case 2: return x - y;
    case 3: return -(x + y);
    case 4: return x + z;
    case 5: return z - x;
    case 6: return x - z;
    case 7: return -(x + z);
    case 8: return y + z;
    case 9: return z - y;
    case 10: return y - z;
    case 11: return -(y + z);
    case 12: return x + y;
    case 13: return y - x;
    case 14: return y + z;
    default: return y - z;
  }
}

double noise_lerp(float a, float b, float t) {
  return (static_cast<double>(b) - a) * t + a;
}

float noise_fade(float t) {
  const double d = t;
  return static_cast<float>(((((d * 6 - 15) * d + 10) * d) * d) * d);
}

double gradient_noise(float x, float y, float z, int32_t x_wrap, int32_t y_wrap, int32_t z_wrap) {
  const uint32_t mx = noise_wrap_mask(x_wrap), my = noise_wrap_mask(y_wrap),
                 mz = noise_wrap_mask(z_wrap);
  const auto x0 = static_cast<int32_t>(std::floor(static_cast<double>(x)));
  const auto y0 = static_cast<int32_t>(std::floor(static_cast<double>(y)));
  const auto z0 = static_cast<int32_t>(std::floor(static_cast<double>(z)));
  // The +1 corners are formed on unsigned values so that a cell at the top
  // of the 32-bit range wraps instead of overflowing.
  const uint32_t ux = static_cast<uint32_t>(x0), uy = static_cast<uint32_t>(y0),
                 uz = static_cast<uint32_t>(z0);
  const auto& P = noise_permutation;

  const int32_t a[2] = {P[ux & mx], P[(ux + 1) & mx]};
  int32_t b[2][2];
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) b[i][j] = P[a[i] + static_cast<int32_t>((uy + j) & my)];
  int32_t h[2][2][2];
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j)
      for (int k = 0; k < 2; ++k) h[i][j][k] = P[b[i][j] + static_cast<int32_t>((uz + k) & mz)];

  const float fx = static_cast<float>(static_cast<double>(x) - x0);
  const float fy = static_cast<float>(static_cast<double>(y) - y0);
  const float fz = static_cast<float>(static_cast<double>(z) - z0);
  const float ox[2] = {fx, static_cast<float>(static_cast<double>(fx) - 1)};
  const float oy[2] = {fy, static_cast<float>(static_cast<double>(fy) - 1)};
  const float oz[2] = {fz, static_cast<float>(static_cast<double>(fz) - 1)};

  const float u = noise_fade(fx), v = noise_fade(fy), w = noise_fade(fz);

  float n[2][2][2];
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j)
      for (int k = 0; k < 2; ++k)
        n[i][j][k] = static_cast<float>(noise_gradient(h[i][j][k], ox[i], oy[j], oz[k]));

  auto lerp1 = [](float p, float q, float t) { return static_cast<float>(noise_lerp(p, q, t)); };
  const float c00 = lerp1(n[0][0][0], n[1][0][0], u);
  const float c10 = lerp1(n[0][1][0], n[1][1][0], u);
  const float c0 = lerp1(c00, c10, v);
  const float c01 = lerp1(n[0][0][1], n[1][0][1], u);
  const float c11 = lerp1(n[0][1][1], n[1][1][1], u);
  const float c1 = lerp1(c01, c11, v);
  return noise_lerp(c0, c1, w);
}

}  // namespace vormap

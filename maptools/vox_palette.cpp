#include "maptools/vox_palette.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace vormap {
namespace {

// Roots by Newton's method from a guess made of the exponent alone, so the
// result is the same on every C library (cbrt and pow differ between them
// in the last bit, and a palette index must not).
double nth_root(double v, int n) {
  if (v <= 0) return 0;
  int e = 0;
  std::frexp(v, &e);
  double r = std::ldexp(1.0, e / n);
  for (int i = 0; i < 60; ++i) {
    double p = 1;
    for (int k = 1; k < n; ++k) p *= r;
    const double next = r - (r - v / p) / n;
    if (next == r) break;
    r = next;
  }
  return r;
}

double srgb_to_linear(double c) {
  if (c <= 0.04045) return c / 12.92;
  const double t = (c + 0.055) / 1.055;
  const double t2 = t * t;
  return t2 * nth_root(t2, 5);  // t^2.4
}

double linear_to_srgb(double l) {
  if (l <= 0.0031308) return 12.92 * l;
  const double c = nth_root(l, 3);
  return 1.055 * (c * std::sqrt(std::sqrt(c))) - 0.055;  // l^(1/3 + 1/12)
}

const std::array<double, 256>& linear_table() {
  static const std::array<double, 256> table = [] {
    std::array<double, 256> t{};
    for (int i = 0; i < 256; ++i) t[size_t(i)] = srgb_to_linear(i / 255.0);
    return t;
  }();
  return table;
}

using lab = std::array<double, 3>;

lab linear_to_oklab(double r, double g, double b) {
  const double l = nth_root(0.4122214708 * r + 0.5363325363 * g + 0.0514459929 * b, 3);
  const double m = nth_root(0.2119034982 * r + 0.6806995451 * g + 0.1073969566 * b, 3);
  const double s = nth_root(0.0883024619 * r + 0.2817188376 * g + 0.6299787005 * b, 3);
  return {100 * (0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s),
          100 * (1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s),
          100 * (0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s)};
}

uint32_t oklab_to_rgb(const lab& c) {
  const double L = c[0] / 100, A = c[1] / 100, B = c[2] / 100;
  const double l = L + 0.3963377774 * A + 0.2158037573 * B;
  const double m = L - 0.1055613458 * A - 0.0638541728 * B;
  const double s = L - 0.0894841775 * A - 1.2914855480 * B;
  const double l3 = l * l * l, m3 = m * m * m, s3 = s * s * s;
  const double rgb[3] = {4.0767416621 * l3 - 3.3077115913 * m3 + 0.2309699292 * s3,
                         -1.2684380046 * l3 + 2.6097574011 * m3 - 0.3413193965 * s3,
                         -0.0041960863 * l3 - 0.7034186147 * m3 + 1.7076147010 * s3};
  uint32_t out = 0;
  for (const double v : rgb) {
    const double e = std::floor(linear_to_srgb(std::clamp(v, 0.0, 1.0)) * 255 + 0.5);
    out = out << 8 | static_cast<uint32_t>(std::clamp(e, 0.0, 255.0));
  }
  return out;
}

double distance2(const lab& a, const lab& b) {
  const double d0 = a[0] - b[0], d1 = a[1] - b[1], d2 = a[2] - b[2];
  return d0 * d0 + d1 * d1 + d2 * d2;
}

struct weighted_color {
  lab value;
  double weight;
};

// A box of median cut: a range of `colors`, sorted along its split axis.
struct box {
  size_t begin, end;
  double spread;  // weighted sum of squared distances from the mean
  int axis;       // the axis of the largest weighted variance
};

box measure(const std::vector<weighted_color>& colors, size_t begin, size_t end) {
  double w = 0, mean[3] = {0, 0, 0};
  for (size_t i = begin; i < end; ++i) {
    w += colors[i].weight;
    for (int a = 0; a < 3; ++a) mean[a] += colors[i].weight * colors[i].value[size_t(a)];
  }
  box b{begin, end, 0, 0};
  if (w <= 0 || end - begin < 2) return b;
  double var[3] = {0, 0, 0};
  for (int a = 0; a < 3; ++a) mean[a] /= w;
  for (size_t i = begin; i < end; ++i)
    for (int a = 0; a < 3; ++a) {
      const double d = colors[i].value[size_t(a)] - mean[a];
      var[a] += colors[i].weight * d * d;
    }
  b.spread = var[0] + var[1] + var[2];
  b.axis = var[1] > var[0] ? (var[2] > var[1] ? 2 : 1) : (var[2] > var[0] ? 2 : 0);
  return b;
}

// Median cut: splits the box with the largest spread at the weighted median
// of its widest axis until there are `count` boxes or none can be split.
std::vector<lab> median_cut(std::vector<weighted_color> colors, size_t count) {
  std::vector<box> boxes{measure(colors, 0, colors.size())};
  while (boxes.size() < count) {
    size_t pick = boxes.size();
    for (size_t i = 0; i < boxes.size(); ++i)
      if (boxes[i].spread > 0 && (pick == boxes.size() || boxes[i].spread > boxes[pick].spread)) pick = i;
    if (pick == boxes.size()) break;
    const box b = boxes[pick];
    const auto first = colors.begin() + static_cast<long>(b.begin), last = colors.begin() + static_cast<long>(b.end);
    // Ties broken by the whole colour, so every standard library sorts alike.
    std::sort(first, last, [axis = size_t(b.axis)](const weighted_color& p, const weighted_color& q) {
      return p.value[axis] != q.value[axis] ? p.value[axis] < q.value[axis] : p.value < q.value;
    });
    double total = 0;
    for (auto it = first; it != last; ++it) total += it->weight;
    double seen = 0;
    size_t cut = b.begin;
    while (cut < b.end - 1 && seen + colors[cut].weight <= total / 2) seen += colors[cut++].weight;
    cut = std::max(cut, b.begin + 1);
    boxes[pick] = measure(colors, b.begin, cut);
    boxes.push_back(measure(colors, cut, b.end));
  }
  std::vector<lab> centres;
  for (const box& b : boxes) {
    double w = 0;
    lab mean{0, 0, 0};
    for (size_t i = b.begin; i < b.end; ++i) {
      w += colors[i].weight;
      for (size_t a = 0; a < 3; ++a) mean[a] += colors[i].weight * colors[i].value[a];
    }
    if (w <= 0) continue;
    for (double& v : mean) v /= w;
    centres.push_back(mean);
  }
  return centres;
}

size_t nearest(const std::vector<lab>& centres, const lab& c) {
  size_t best = 0;
  double best_d = INFINITY;
  for (size_t k = 0; k < centres.size(); ++k) {
    const double d = distance2(centres[k], c);
    if (d < best_d) best_d = d, best = k;
  }
  return best;
}

// Lloyd's k-means from the median-cut centres; a centre that loses all its
// colours stays where it was.
void refine(const std::vector<weighted_color>& colors, std::vector<lab>& centres, int rounds) {
  std::vector<size_t> owner(colors.size(), 0);
  for (int round = 0; round < rounds; ++round) {
    bool moved = round == 0;
    for (size_t i = 0; i < colors.size(); ++i) {
      const size_t k = nearest(centres, colors[i].value);
      if (k != owner[i]) owner[i] = k, moved = true;
    }
    if (!moved) break;
    std::vector<lab> sum(centres.size(), lab{0, 0, 0});
    std::vector<double> weight(centres.size(), 0);
    for (size_t i = 0; i < colors.size(); ++i) {
      weight[owner[i]] += colors[i].weight;
      for (size_t a = 0; a < 3; ++a) sum[owner[i]][a] += colors[i].weight * colors[i].value[a];
    }
    for (size_t k = 0; k < centres.size(); ++k)
      if (weight[k] > 0)
        for (size_t a = 0; a < 3; ++a) centres[k][a] = sum[k][a] / weight[k];
  }
}

}  // namespace

std::array<double, 3> oklab_of(uint32_t rgb) {
  const std::array<double, 256>& lin = linear_table();
  return linear_to_oklab(lin[rgb >> 16 & 0xFF], lin[rgb >> 8 & 0xFF], lin[rgb & 0xFF]);
}

void column_voxel_colors(const vxl_map& map, int x, int y, std::array<uint32_t, world_height>& colors) {
  const size_t base = size_t(world_index(x, y, 0));
  // A stored colour may be any word, 0 included, so "seen" is kept apart.
  uint32_t above = 0;
  bool seen = false, hidden_without_color = false;
  for (int z = 0; z < world_height; ++z) {
    const uint8_t state = map.solid[base + size_t(z)];
    if (state == vxl_colored) above = map.color[base + size_t(z)], seen = true;
    colors[size_t(z)] = state == vxl_empty ? 0 : above;
    if (state == vxl_hidden && !seen) hidden_without_color = true;
  }
  if (!hidden_without_color) return;
  // Hidden voxels above the first coloured one take its colour (the
  // nearest below them), or the fallback when the column has none.
  int first = 0;
  while (first < world_height && map.solid[base + size_t(first)] != vxl_colored) ++first;
  const uint32_t below = first < world_height ? map.color[base + size_t(first)] : vox_fallback_color;
  for (int z = 0; z < first; ++z)
    if (map.solid[base + size_t(z)] == vxl_hidden) colors[size_t(z)] = below;
}

uint8_t map_palette::index_of(uint32_t color) const {
  const uint32_t rgb = color & 0xFFFFFF;
  const auto it = std::lower_bound(map_colors.begin(), map_colors.end(), rgb);
  if (it == map_colors.end() || *it != rgb) return 0;
  return map_indices[size_t(it - map_colors.begin())];
}

map_palette choose_palette(const vxl_map& map) {
  // Every voxel colour, with the number of surface voxels that carry it
  // (hidden voxels add colours of weight 0 only where they have none above).
  std::vector<uint32_t> surface, hidden;
  std::array<uint32_t, world_height> column{};
  for (int x = 0; x < world_size; ++x)
    for (int y = 0; y < world_size; ++y) {
      column_voxel_colors(map, x, y, column);
      const size_t base = size_t(world_index(x, y, 0));
      for (int z = 0; z < world_height; ++z) {
        const uint8_t state = map.solid[base + size_t(z)];
        if (state == vxl_colored)
          surface.push_back(column[size_t(z)] & 0xFFFFFF);
        else if (state == vxl_hidden && (hidden.empty() || hidden.back() != (column[size_t(z)] & 0xFFFFFF)))
          hidden.push_back(column[size_t(z)] & 0xFFFFFF);
      }
    }
  map_palette p;
  p.surface_voxels = surface.size();
  std::sort(surface.begin(), surface.end());
  std::vector<std::pair<uint32_t, double>> counted;
  for (size_t i = 0; i < surface.size();) {
    size_t j = i;
    while (j < surface.size() && surface[j] == surface[i]) ++j;
    counted.emplace_back(surface[i], double(j - i));
    i = j;
  }
  std::sort(hidden.begin(), hidden.end());
  hidden.erase(std::unique(hidden.begin(), hidden.end()), hidden.end());
  for (const uint32_t c : hidden)
    if (!std::binary_search(surface.begin(), surface.end(), c)) counted.emplace_back(c, 0.0);
  std::sort(counted.begin(), counted.end());
  if (counted.empty()) return p;

  std::vector<uint32_t> palette;
  if (counted.size() <= 255) {
    for (const auto& c : counted) palette.push_back(c.first);
  } else {
    std::vector<weighted_color> colors;
    colors.reserve(counted.size());
    for (const auto& c : counted) colors.push_back({oklab_of(c.first), c.second});
    std::vector<lab> centres = median_cut(colors, 255);
    refine(colors, centres, 12);
    for (const lab& c : centres) palette.push_back(oklab_to_rgb(c));
    std::sort(palette.begin(), palette.end());
    palette.erase(std::unique(palette.begin(), palette.end()), palette.end());
  }
  // Dark to light, so the editor's palette reads in order.
  std::vector<lab> entries;
  for (const uint32_t c : palette) entries.push_back(oklab_of(c));
  std::vector<size_t> order(palette.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return entries[a][0] != entries[b][0] ? entries[a][0] < entries[b][0] : palette[a] < palette[b];
  });
  std::vector<lab> sorted_entries;
  p.entries = order.size();
  for (size_t k = 0; k < order.size(); ++k) {
    p.colors[k + 1] = palette[order[k]];
    sorted_entries.push_back(entries[order[k]]);
  }

  double error_sum = 0;
  for (const auto& [rgb, weight] : counted) {
    const lab c = oklab_of(rgb);
    const size_t k = nearest(sorted_entries, c);
    p.map_colors.push_back(rgb);
    p.map_indices.push_back(static_cast<uint8_t>(k + 1));
    const double e = std::sqrt(distance2(c, sorted_entries[k]));
    error_sum += weight * e;
    if (weight > 0) p.worst_error = std::max(p.worst_error, e);
  }
  if (p.surface_voxels > 0) p.mean_error = error_sum / double(p.surface_voxels);
  return p;
}

}  // namespace vormap

// Writes pictures as PNG files through libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "maptools/map_preview.h"

namespace vormap {

inline constexpr int png_max_scale = 8;

// Writes `picture` enlarged `scale` times (1 to png_max_scale, each pixel a
// scale x scale block) to `path`. Returns false with a one-line reason
// otherwise, with the file that was there as it was (see write_output_file).
bool write_png(const std::string& path, const image& picture, int scale, std::string& error);

// Encodes `picture`, enlarged as write_png does, into `png`, at zlib
// compression `level` with one fixed row filter: 0 stores the pixels (about
// 40 times faster than the default and 1.5 times larger), 1 is about 5
// times faster and as small; -1 is libpng's default level and per-row filter
// choice. Returns false with a reason when the picture or scale is invalid.
bool encode_png(const image& picture, int scale, std::vector<uint8_t>& png, std::string& error, int level = -1);

}  // namespace vormap

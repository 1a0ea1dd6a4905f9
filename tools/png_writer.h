// Writes pictures as PNG files through libpng.
#pragma once

#include <string>

#include "tools/map_preview.h"

namespace vormap {

inline constexpr int png_max_scale = 8;

// Writes `picture` enlarged `scale` times (1 to png_max_scale, each pixel a
// scale x scale block) to `path`. Returns false with a one-line reason
// otherwise; a partly written regular file is then removed.
bool write_png(const std::string& path, const image& picture, int scale, std::string& error);

}  // namespace vormap

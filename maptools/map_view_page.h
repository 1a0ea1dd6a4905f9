// The 3D view of a map as one self-contained HTML page: the map file itself
// (gzip, base64) and the script that shows it (three.js bundled in) are
// inside the page, so it opens from disk with no server and no network.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "vxl/vxl_reader.h"

#include "util/platform/output_file.h"

namespace vormap {

// What the page shows: `name` in its panel (usually the map file's name),
// `file` the map file's bytes, `map` the same map decoded (for the figures of
// `vxltool info`).
struct view_page_map {
  std::string name;
  std::span<const uint8_t> file;
  const vxl_map* map = nullptr;
};

// The page's text. Returns false with a reason in `error` when the map
// cannot be compressed.
bool build_view_page(const view_page_map& in, std::string& page, std::string& error);

// Builds the page and writes it to `out_path` whole or not at all (see
// write_output_file). Returns false with a one-line reason in `error`.
bool write_view_page(const view_page_map& in, const std::string& out_path, std::string& error,
                     output_links links = output_links::replace_target);

}  // namespace vormap

#include "maptools/map_view_page.h"

#include <nlohmann/json.hpp>
#include <openssl/evp.h>
#include <zlib.h>

#include <cmath>
#include <string_view>
#include <vector>

#include "maptools/map_figures.h"
#include "maptools/map_stats.h"
#include "util/platform/output_file.h"
#include "maptools/script_json.h"
#include "view_assets.h"

namespace vormap {

namespace {

constexpr int listed_colors = 8;

// The map file as gzip, which browsers unpack natively.
bool gzip(std::span<const uint8_t> in, std::vector<uint8_t>& out) {
  z_stream z{};
  // 15 window bits, +16 for a gzip header; the fastest level: a map packs
  // about 15% larger than at the default, five times faster, which matters
  // when a gallery writes a page per seed.
  if (deflateInit2(&z, 1, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out.resize(deflateBound(&z, static_cast<uLong>(in.size())));
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return status == Z_STREAM_END;
}

std::string base64(const std::vector<uint8_t>& in) {
  std::string out(4 * ((in.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), in.data(), static_cast<int>(in.size()));
  out.resize(static_cast<size_t>(n));
  return out;
}

// Text placed inside a <script> element must not close it early: "</script"
// in any case becomes "<\/script", which means the same inside the strings
// and regular expressions where it can occur.
std::string script_safe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  constexpr std::string_view tag = "</script";
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] != '<' || i + tag.size() > text.size()) continue;
    bool match = true;
    for (size_t k = 1; k < tag.size() && match; ++k)
      match = (text[i + k] | 0x20) == tag[k];
    if (match) out += '\\';
  }
  return out;
}

std::string map_info(const view_page_map& in) {
  const map_stats stats = compute_map_stats(*in.map, listed_colors);
  const map_figures figures = figures_of_vxl(*in.map);
  nlohmann::json colors = nlohmann::json::array();
  for (const auto& [color, count] : stats.common_colors) colors.push_back({color & 0xFFFFFFu, count});
  const nlohmann::json info = {
      {"name", in.name},
      {"size", in.file.size()},
      {"solidVoxels", stats.solid_voxels},
      {"surfaceVoxels", stats.surface_voxels},
      {"minHeight", figures.min_height},
      {"maxHeight", figures.max_height},
      {"waterColumns", std::lround(figures.water_percent * world_columns / 100)},
      {"emptyColumns", stats.empty_columns},
      {"colors", colors},
  };
  return script_json(info);
}

}  // namespace

bool build_view_page(const view_page_map& in, std::string& page, std::string& error) {
  std::vector<uint8_t> packed;
  if (!gzip(in.file, packed)) {
    error = "cannot compress the map";
    return false;
  }
  const std::string_view html = view_assets_get("page.html");
  const std::string_view script = view_assets_get("view_bundle.js");
  const std::pair<std::string_view, std::string> parts[] = {
      {"@MAP_INFO@", map_info(in)},
      {"@MAP_DATA@", base64(packed)},
      {"@SCRIPT@", script_safe(script)},
  };
  page.clear();
  page.reserve(html.size() + script.size() + packed.size() * 4 / 3 + 4096);
  size_t at = 0;
  for (const auto& [marker, text] : parts) {
    const size_t found = html.find(marker, at);
    if (found == std::string_view::npos) {
      error = "the page template has no " + std::string(marker);
      return false;
    }
    page.append(html.substr(at, found - at));
    page += text;
    at = found + marker.size();
  }
  page.append(html.substr(at));
  return true;
}

bool write_view_page(const view_page_map& in, const std::string& out_path, std::string& error, output_links links) {
  std::string page;
  if (!build_view_page(in, page, error)) {
    error = "cannot write '" + out_path + "': " + error;
    return false;
  }
  return write_output_file(out_path, page, error, links);
}

}  // namespace vormap

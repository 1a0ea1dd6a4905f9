// The page's entry points: make a map, by its name, in the module's memory,
// with what the page shows of it: the map file, the figures as `vxltool info
// --json` gives them, the top-down preview with the start areas outlined, and
// the .vox file `vxltool to-vox` writes.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <string>
#include <vector>

#include "maptools/gallery_figures.h"
#include "maptools/map_figures.h"
#include "maptools/map_preview.h"
#include "maptools/vox_map.h"
#include "maptools/vox_palette.h"
#include "maptools/vox_writer.h"
#include "programs/vxltool/figure_records.h"
#include "vormap/vormap.h"

namespace {

// What the last call made; valid until the next call.
std::vector<uint8_t> vxl;
std::vector<uint8_t> preview;  // world_size x world_size RGBA, rows top to bottom
std::vector<uint8_t> thumbnail;  // the preview thumbnail_factor times smaller, as the gallery's cards have it
std::vector<uint8_t> vox;      // the map as `vxltool to-vox` writes it
std::string text;              // the figures as JSON, or what went wrong
std::string name;              // the map's name as the programs write it

// Reads the name and switch into `options`; says what is wrong, or "".
// Everything is checked here: the module has no exceptions, so an option the
// generator refused would abort it.
std::string read_options(const char* map_name, int debug, vormap::map_options& options) {
  options.debug = debug != 0;
  options.threads = 1;
  if (std::string error = vormap::parse_map_name(map_name, options); !error.empty()) return error;
  return vormap::check_map_options(options);
}

// An RGB picture as the canvas takes it.
std::vector<uint8_t> rgba(const vormap::image& picture) {
  const size_t n = static_cast<size_t>(picture.width) * picture.height;
  std::vector<uint8_t> out(n * 4);
  for (size_t i = 0; i < n; ++i) {
    for (int c = 0; c < 3; ++c) out[i * 4 + c] = picture.pixels[i * 3 + c];
    out[i * 4 + 3] = 255;
  }
  return out;
}

}  // namespace

extern "C" {

// What vormap_make_map makes, besides the map's name.
enum : int { make_vxl = 1, make_figures = 2, make_preview = 4, make_thumbnail = 8, make_vox = 16 };
constexpr int thumbnail_factor = 4;

// Makes the map `map_name` names ("1234", "1234:lake=north,water=1.5"), with
// the start regions painted when `debug`, and what `what` asks for. Returns
// 1, or 0 with vormap_text() saying what is wrong with the name. When memory
// runs out the module aborts (the caller sees a JavaScript exception and
// starts a new one).
EMSCRIPTEN_KEEPALIVE int vormap_make_map(const char* map_name, int debug, int what) {
  std::vector<uint8_t>().swap(vxl);
  std::vector<uint8_t>().swap(preview);
  std::vector<uint8_t>().swap(thumbnail);
  std::vector<uint8_t>().swap(vox);
  text.clear();
  name.clear();
  vormap::map_options options;
  if (std::string error = read_options(map_name, debug, options); !error.empty()) {
    text = error;
    return 0;
  }
  name = vormap::map_name(options);
  {
    const vormap::map m = vormap::generate(options);
    if (what & make_figures)
      text = vormap::figures_object(vormap::figures_of_grids(m.solid_voxels(), m.voxel_colors())).dump();
    if (what & (make_vxl | make_preview | make_thumbnail | make_vox)) vxl = vormap::encode_vxl(m, 1);
  }  // the map's 85 MiB go before the preview's summary is made
  if (what & (make_preview | make_thumbnail)) {
    vormap::map_summary summary;
    vormap::vxl_error error;
    if (!vormap::summarize_vxl(vxl, summary, error)) {
      text = "the map file could not be read back: " + error.message;
      return 0;
    }
    const vormap::image picture = vormap::render_preview(summary.tops);
    if (what & make_preview) preview = rgba(vormap::outline_start_areas(picture, 1));
    if (what & make_thumbnail)
      thumbnail = rgba(vormap::outline_start_areas(vormap::shrink_image(picture, thumbnail_factor), thumbnail_factor));
  }
  if (what & make_vox) {
    // As vxltool to-vox makes it: from the decoded file.
    vormap::vxl_map decoded;
    vormap::vxl_error error;
    if (!vormap::decode_vxl(vxl, decoded, error)) {
      text = "the map file could not be read back: " + error.message;
      return 0;
    }
    const vormap::map_palette palette = vormap::choose_palette(decoded);
    vox = vormap::encode_vox(vormap::map_to_vox(decoded, palette));
  }
  if (!(what & make_vxl)) std::vector<uint8_t>().swap(vxl);
  return 1;
}

EMSCRIPTEN_KEEPALIVE const char* vormap_text() { return text.c_str(); }
EMSCRIPTEN_KEEPALIVE const char* vormap_name() { return name.c_str(); }
EMSCRIPTEN_KEEPALIVE const uint8_t* vormap_vxl_data() { return vxl.data(); }
EMSCRIPTEN_KEEPALIVE size_t vormap_vxl_size() { return vxl.size(); }
EMSCRIPTEN_KEEPALIVE const uint8_t* vormap_preview_data() { return preview.data(); }
EMSCRIPTEN_KEEPALIVE size_t vormap_preview_size() { return preview.size(); }
EMSCRIPTEN_KEEPALIVE const uint8_t* vormap_thumbnail_data() { return thumbnail.data(); }
EMSCRIPTEN_KEEPALIVE size_t vormap_thumbnail_size() { return thumbnail.size(); }
EMSCRIPTEN_KEEPALIVE const uint8_t* vormap_vox_data() { return vox.data(); }
EMSCRIPTEN_KEEPALIVE size_t vormap_vox_size() { return vox.size(); }

}  // extern "C"

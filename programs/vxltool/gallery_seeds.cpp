#include "programs/vxltool/gallery_seeds.h"

#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <string_view>

#include "maptools/map_preview.h"
#include "maptools/map_view_page.h"
#include "maptools/output_file.h"
#include "maptools/png_writer.h"
#include "programs/vxltool/gallery_vormap.h"
#include "util/platform/files.h"
#include "util/platform/sha1.h"
#include "vxl/vxl_reader.h"

namespace vormap {

namespace {

constexpr int thumbnail_factor = 4;  // 512 / 4: 128 x 128 thumbnails

bool file_exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string map_stamp(const seed_job& job, const std::vector<uint8_t>& bytes) {
  std::array<uint8_t, 20> digest{};
  sha1_digest(bytes.data(), bytes.size(), &digest);
  std::string text = job.command + "\nsha1 ";
  char hex[3];
  for (uint8_t b : digest) {
    std::snprintf(hex, sizeof hex, "%02x", b);
    text += hex;
  }
  return text + "\n";
}

// Whether the map already in OUTDIR can stay: it reads back as valid and,
// when the gallery made it, was made by the same command (the stamp file
// NAME.made records the command and the map's digest, so a map made with a
// different -d, or replaced since, is made again). `bytes`, `summary` and
// `stamp` (the map's stamp) hold it then.
bool reusable_map(gallery_run& run, const seed_job& job, std::vector<uint8_t>& bytes, map_summary& summary,
                  std::string& stamp) {
  const std::string path = run.path(job, ".vxl");
  std::string error;
  if (!file_exists(path) || !read_file_bytes(path, vxl_max_file_size, bytes, error)) return false;
  vxl_error damage;
  if (!summarize_vxl(bytes, summary, damage)) {
    std::lock_guard lock(run.mutex);
    run.messages.push_back("seed " + job.name + ": " + job.name + ".vxl is damaged (" + describe(damage) +
                           "), making it again");
    return false;
  }
  stamp = map_stamp(job, bytes);
  std::vector<uint8_t> recorded;
  if (!platform_read_file(run.path(job, ".made").c_str(), &recorded)) return true;
  return std::string(recorded.begin(), recorded.end()) == stamp;
}

// The large preview is stored uncompressed (zlib level 0) and the thumbnail
// at level 1: at libpng's default the two cost as much as a third of making
// the map, stored they cost almost nothing, and the page loads only the
// thumbnails, which stay small.
constexpr int preview_compression = 0;
constexpr int thumbnail_compression = 1;

bool write_picture(const std::string& path, const image& picture, int level, std::string& error) {
  std::vector<uint8_t> png;
  if (!encode_png(picture, 1, png, error, level)) {
    error = "cannot write '" + path + "': " + error;
    return false;
  }
  return write_output_file(path, std::string_view(reinterpret_cast<const char*>(png.data()), png.size()), error);
}

// Further files made from each map; `bytes` is the map file, already
// checked: the 3D page NAME.html, made when the map is new or the page is
// missing. Returns false with a reason when a file cannot be written.
bool make_seed_extras(const gallery_run& run, const seed_job& job, const std::vector<uint8_t>& bytes, bool map_is_new,
                      std::string& error) {
  const std::string page_path = run.path(job, ".html");
  if (!map_is_new && file_exists(page_path)) return true;
  // The decoded map is large; it is held only while the page is built.
  vxl_map map;
  vxl_error damage;
  if (!decode_vxl(bytes, map, damage)) {
    error = "the map does not read back: " + describe(damage);
    return false;
  }
  const std::string name = run.path(job, ".vxl").substr(run.path(job, ".vxl").find_last_of('/') + 1);
  return write_view_page({name, bytes, &map}, page_path, error);
}

// Makes (or keeps) the map of one seed and everything made from it.
seed_result process_seed(gallery_run& run, const seed_job& job, std::vector<uint8_t>& bytes, map_summary& summary) {
  seed_result result;
  auto fail = [&](const std::string& reason) {
    result.state = seed_state::failed;
    result.reason = reason;
    return result;
  };
  std::string stamp;
  const bool reuse = reusable_map(run, job, bytes, summary, stamp);
  std::string error;
  if (!reuse) {
    if (!run_vormap(run, job, error)) return fail(error);
    if (!read_file_bytes(run.path(job, ".vxl"), vxl_max_file_size, bytes, error)) return fail(error);
    vxl_error damage;
    if (!summarize_vxl(bytes, summary, damage))
      return fail("the map vormap wrote does not read back: " + describe(damage));
    stamp = map_stamp(job, bytes);
  }
  result.figures = summary.figures;
  const std::string preview_path = run.path(job, ".png"), thumb_path = run.path(job, ".thumb.png");
  if (!reuse || !file_exists(preview_path) || !file_exists(thumb_path)) {
    const image preview = render_preview(summary.tops);
    if (!write_picture(preview_path, preview, preview_compression, error) ||
        !write_picture(thumb_path, shrink_image(preview, thumbnail_factor), thumbnail_compression, error))
      return fail(error);
  }
  if (!make_seed_extras(run, job, bytes, !reuse, error)) return fail(error);
  std::vector<uint8_t> old_stamp;
  if (!platform_read_file(run.path(job, ".made").c_str(), &old_stamp) ||
      std::string(old_stamp.begin(), old_stamp.end()) != stamp) {
    if (!write_output_file(run.path(job, ".made"), stamp, error)) return fail(error);
  }
  result.has_page = file_exists(run.path(job, ".html"));
  result.state = reuse ? seed_state::reused : seed_state::made;
  return result;
}

}  // namespace

void worker(gallery_run& run) {
  std::vector<uint8_t> bytes;
  map_summary summary;
  for (;;) {
    size_t index;
    {
      std::lock_guard lock(run.mutex);
      if (run.stop || run.next == run.jobs.size()) return;
      index = run.next++;
    }
    seed_result result = process_seed(run, run.jobs[index], bytes, summary);
    std::lock_guard lock(run.mutex);
    if (run.stop && result.state == seed_state::failed) return;  // stopped, not failed
    switch (result.state) {
      case seed_state::made: ++run.made; break;
      case seed_state::reused: ++run.reused; break;
      default:
        ++run.failed;
        run.messages.push_back("seed " + run.jobs[index].name + " failed: " + result.reason);
    }
    ++run.done;
    run.results[index] = std::move(result);
  }
}
}  // namespace vormap

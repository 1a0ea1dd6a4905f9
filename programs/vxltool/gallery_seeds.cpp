#include "programs/vxltool/gallery_seeds.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <string_view>

#include "maptools/map_preview.h"
#include "maptools/map_view_page.h"
#include "util/platform/output_file.h"
#include "maptools/png_writer.h"
#include "programs/vxltool/gallery_vormap.h"
#include "util/platform/files.h"
#include "util/platform/sha1.h"
#include "vxl/vxl_reader.h"

namespace vormap {

namespace {

constexpr int thumbnail_factor = 4;  // 512 / 4: 128 x 128 thumbnails

// The files of one seed in OUTDIR, in the order they are written; the stamp
// NAME.made comes last.
constexpr const char* seed_files[] = {".vxl", ".png", ".thumb.png", ".html", ".made"};

// OUTDIR may be shared: a seed whose file names are taken by anything but a
// regular file (a link someone planted, a pipe, a folder) is refused rather
// than written through or waited on.
bool check_seed_files(const gallery_run& run, const seed_job& job, std::string& error) {
  for (const char* suffix : seed_files) {
    struct stat st;
    if (::lstat(run.path(job, suffix).c_str(), &st) != 0 || S_ISREG(st.st_mode)) continue;
    error = job.name + suffix + (S_ISLNK(st.st_mode) ? " is a symbolic link" : " is not a regular file") +
            "; the gallery writes only regular files in OUTDIR";
    return false;
  }
  return true;
}

bool file_exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Test hook: VXLTOOL_GALLERY_FAULT=STEP:kill or STEP:full makes the gallery
// end by SIGKILL, or fail as a full disk would, just before it writes the
// file of STEP (vxl, png, thumb.png, html, made), so that a resume can be
// tested from every point where a run may stop.
bool injected_fault(const char* step, const std::string& path, std::string& error) {
  static const std::string fault = [] {
    const char* value = std::getenv("VXLTOOL_GALLERY_FAULT");
    return std::string(value != nullptr ? value : "");
  }();
  if (fault.empty() || fault.compare(0, fault.find(':'), step) != 0) return false;
  if (fault.ends_with(":kill")) ::raise(SIGKILL);
  error = "cannot write '" + path + "': " + std::strerror(ENOSPC);
  return true;
}

// A stamp is small; one that cannot be read whole (missing, a link, a
// folder, too large, unreadable) stands for no stamp.
constexpr int64_t max_stamp_size = 4096;

bool read_stamp(const std::string& path, std::string& stamp) {
  std::vector<uint8_t> bytes;
  int err = 0;
  if (platform_read_bounded(path.c_str(), max_stamp_size, &bytes, &err, false) != platform_read_status::ok)
    return false;
  stamp.assign(bytes.begin(), bytes.end());
  return true;
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

// Whether the map already in OUTDIR can stay: it reads back as valid and its
// stamp NAME.made, written after everything else of the seed, records the
// same command and the map's digest. A map made with a different -d,
// replaced since, or left by a run that stopped before its stamp is made
// again: a map without a readable stamp is never kept. `bytes`, `summary`
// and `stamp` (the map's stamp) hold it then.
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
  std::string recorded;
  return read_stamp(run.path(job, ".made"), recorded) && recorded == stamp;
}

// The large preview is stored uncompressed (zlib level 0) and the thumbnail
// at level 1: at libpng's default the two cost as much as a third of making
// the map, stored they cost almost nothing, and the page loads only the
// thumbnails, which stay small.
constexpr int preview_compression = 0;
constexpr int thumbnail_compression = 1;

bool write_picture(const std::string& path, const char* step, const image& picture, int level, std::string& error) {
  if (injected_fault(step, path, error)) return false;
  std::vector<uint8_t> png;
  if (!encode_png(picture, 1, png, error, level)) {
    error = "cannot write '" + path + "': " + error;
    return false;
  }
  return write_output_file(path, std::string_view(reinterpret_cast<const char*>(png.data()), png.size()), error,
                           output_links::refuse);
}

// Further files made from each map; `bytes` is the map file, already
// checked: the 3D page NAME.html, made when the map is new or the page is
// missing. Returns false with a reason when a file cannot be written.
bool make_seed_extras(const gallery_run& run, const seed_job& job, const std::vector<uint8_t>& bytes, bool map_is_new,
                      std::string& error) {
  const std::string page_path = run.path(job, ".html");
  if (!run.options.pages || (!map_is_new && file_exists(page_path))) return true;
  // The decoded map is large; it is held only while the page is built.
  vxl_map map;
  vxl_error damage;
  if (!decode_vxl(bytes, map, damage)) {
    error = "the map does not read back: " + describe(damage);
    return false;
  }
  if (injected_fault("html", page_path, error)) return false;
  return write_view_page({job.name + ".vxl", bytes, &map}, page_path, error, output_links::refuse);
}

// Makes (or keeps) the map of one seed and everything made from it.
seed_result process_seed(gallery_run& run, const seed_job& job, std::vector<uint8_t>& bytes, map_summary& summary) {
  seed_result result;
  auto fail = [&](const std::string& reason) {
    result.state = seed_state::failed;
    result.reason = reason;
    return result;
  };
  std::string error;
  if (!check_seed_files(run, job, error)) return fail(error);
  std::string stamp;
  const bool reuse = reusable_map(run, job, bytes, summary, stamp);
  if (!reuse) {
    // The old stamp goes first: from here until the new one is written, a
    // stop leaves a seed without a stamp, which the next run makes again.
    if (::unlink(run.path(job, ".made").c_str()) != 0 && errno != ENOENT)
      return fail("cannot remove '" + run.path(job, ".made") + "': " + std::strerror(errno));
    if (injected_fault("vxl", run.path(job, ".vxl"), error)) return fail(error);
    if (run.in_process) {
      if (!make_map_in_process(run, job, bytes, error)) return fail(error);
    } else if (!run_vormap(run, job, error) ||
               !read_file_bytes(run.path(job, ".vxl"), vxl_max_file_size, bytes, error)) {
      return fail(error);
    }
    vxl_error damage;
    if (!summarize_vxl(bytes, summary, damage))
      return fail("the map vormap wrote does not read back: " + describe(damage));
    stamp = map_stamp(job, bytes);
  }
  result.figures = summary.figures;
  const std::string preview_path = run.path(job, ".png"), thumb_path = run.path(job, ".thumb.png");
  if (!reuse || !file_exists(preview_path) || !file_exists(thumb_path)) {
    const image preview = render_preview(summary.tops);
    if (!write_picture(preview_path, "png", preview, preview_compression, error) ||
        !write_picture(thumb_path, "thumb.png",
                       outline_start_areas(shrink_image(preview, thumbnail_factor), thumbnail_factor),
                       thumbnail_compression, error))
      return fail(error);
  }
  if (!make_seed_extras(run, job, bytes, !reuse, error)) return fail(error);
  if (!reuse) {
    const std::string stamp_path = run.path(job, ".made");
    if (injected_fault("made", stamp_path, error) || !write_output_file(stamp_path, stamp, error, output_links::refuse))
      return fail(error);
  }
  result.has_page = run.options.pages && file_exists(run.path(job, ".html"));
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
    pthread_kill(run.main_thread, SIGUSR1);
  }
}
}  // namespace vormap

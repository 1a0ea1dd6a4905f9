#include "programs/vxltool/gallery.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <set>
#include <string_view>
#include <thread>

#include "gallery_assets.h"
#include "programs/vxltool/batch_support.h"
#include "programs/vxltool/count_argument.h"
#include "maptools/gallery_figures.h"
#include "programs/vxltool/figure_records.h"
#include "maptools/map_preview.h"
#include "maptools/map_view_page.h"
#include "maptools/output_file.h"
#include "maptools/png_writer.h"
#include "programs/vxltool/seed_list.h"
#include "util/platform/files.h"
#include "util/platform/sha1.h"
#include "vxl/vxl_reader.h"

extern char** environ;

namespace vormap {

namespace {

constexpr int thumbnail_factor = 4;  // 512 / 4: 128 x 128 thumbnails
constexpr int max_jobs = 256;
constexpr size_t kept_error_bytes = 4096;

// ---------------------------------------------------------------- options

struct gallery_options {
  seed_list seeds;
  std::string outdir;
  std::string vormap;  // --vormap, else empty
  bool debug = false;
  bool pages = true;  // false: --no-pages, no 3D page per map
  int jobs = 0;  // 0: one per core
};

// An argument that starts with a dash and a digit is a seed list ("-5",
// "-5--1"), not an option.
bool is_option(const std::string& arg) { return arg.size() >= 2 && arg[0] == '-' && (arg[1] < '0' || arg[1] > '9'); }

bool parse_gallery_arguments(const std::vector<std::string>& args, gallery_options& out, std::string& error) {
  std::vector<std::string> positional;
  bool options_done = false;
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (options_done || !is_option(arg)) {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    if (arg == "-d") {
      out.debug = true;
      continue;
    }
    if (arg == "--no-pages") {
      out.pages = false;
      continue;
    }
    std::string name = arg, value;
    const size_t equals = arg.find('=');
    const bool inline_value = arg.rfind("--", 0) == 0 && equals != std::string::npos;
    if (inline_value) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    }
    if (name != "--jobs" && name != "--vormap") {
      error = "unknown option '" + arg + "'";
      return false;
    }
    if (!inline_value) {
      if (k + 1 == args.size()) {
        error = name + " needs a value";
        return false;
      }
      value = args[++k];
    }
    if (name == "--vormap") {
      out.vormap = value;
    } else if (!parse_count_argument(value, max_jobs, out.jobs)) {
      error = "--jobs must be a whole number from 1 to " + std::to_string(max_jobs) + ", not '" + value + "'";
      return false;
    }
  }
  if (positional.size() != 2) {
    error = "takes SEEDS and OUTDIR, not " + std::to_string(positional.size()) +
            (positional.size() == 1 ? " argument" : " arguments");
    return false;
  }
  if (!parse_seed_list(positional[0], out.seeds, error)) {
    error = "bad SEEDS '" + positional[0] + "': " + error;
    return false;
  }
  out.outdir = positional[1];
  if (out.outdir.empty()) {
    error = "OUTDIR is empty";
    return false;
  }
  while (out.outdir.size() > 1 && out.outdir.back() == '/') out.outdir.pop_back();
  return true;
}

// ------------------------------------------------------------ environment

bool is_executable_file(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The generator: --vormap, else VORMAP_EXE, else beside this program (an
// installed bin folder, or a build tree's bin folder).
bool find_vormap(const std::string& option, std::string& path, std::string& error) {
  if (!option.empty()) {
    path = option;
    if (is_executable_file(path)) return true;
    error = "--vormap '" + path + "' is not an executable file";
    return false;
  }
  if (const char* env = std::getenv("VORMAP_EXE"); env != nullptr && *env != '\0') {
    path = env;
    if (is_executable_file(path)) return true;
    error = "VORMAP_EXE '" + path + "' is not an executable file";
    return false;
  }
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  const std::filesystem::path dir = ec ? std::filesystem::path(".") : self.parent_path();
  const std::string beside = (dir / "vormap").string();
  if (is_executable_file(beside)) {
    path = beside;
    return true;
  }
  error = "cannot find vormap (looked for " + beside + "); give --vormap PATH or set VORMAP_EXE";
  return false;
}

bool make_outdir(const std::string& dir, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  struct stat st;
  if (ec || ::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = "cannot make folder '" + dir + "': " + (ec ? ec.message() : std::string("not a folder"));
    return false;
  }
  if (::access(dir.c_str(), W_OK | X_OK) != 0) {
    error = "cannot write in folder '" + dir + "': " + std::strerror(errno);
    return false;
  }
  return true;
}

// ------------------------------------------------------------------ files

bool file_exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A map writer killed by a signal leaves its temporary file
// (".NAME.tmpXXXXXX" beside the map) behind; remove it.
void remove_temporary_files(const std::string& dir, const std::string& name) {
  std::vector<platform_dir_entry> entries;
  if (!platform_list_dir(dir.c_str(), &entries)) return;
  const std::string prefix = "." + name + ".tmp";
  for (const platform_dir_entry& entry : entries)
    if (entry.name.size() == prefix.size() + 6 && entry.name.rfind(prefix, 0) == 0)
      ::unlink((dir + "/" + entry.name).c_str());
}

// ------------------------------------------------------------------ seeds

struct seed_job {
  int32_t seed = 0;
  std::string name;     // the seed in decimal: the files' base name
  std::string command;  // the command that makes this map, as the card shows it
};

enum class seed_state { pending, made, reused, failed };

struct seed_result {
  seed_state state = seed_state::pending;
  std::string reason;  // why it failed
  map_figures figures;
  bool has_page = false;  // NAME.html, the 3D page, exists
};

struct gallery_run {
  gallery_options options;
  std::string vormap;
  std::vector<std::string> environment;  // the children's environment
  std::vector<seed_job> jobs;
  std::vector<seed_result> results;

  std::mutex mutex;  // guards everything below
  size_t next = 0;   // the next job to start
  std::set<pid_t> children;
  size_t done = 0, made = 0, reused = 0, failed = 0;
  std::vector<std::string> messages;  // failures and notes for the main thread to print

  std::atomic<bool> stop{false};

  std::string path(const seed_job& job, const char* suffix) const { return options.outdir + "/" + job.name + suffix; }
};

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

// Runs vormap for one seed. Returns false with the reason when it fails.
bool run_vormap(gallery_run& run, const seed_job& job, std::string& reason) {
  const std::string map_path = run.path(job, ".vxl");
  std::vector<std::string> args = {run.vormap, "-s", job.name, "-o", map_path};
  if (run.options.debug) args.push_back("-d");
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (std::string& e : run.environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  int err_pipe[2];
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) {
    reason = std::string("cannot start vormap: ") + std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
  // The gallery blocks the stop signals in its threads; the child gets them
  // back, so that Ctrl-C reaches it.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, stop_signals;
  sigemptyset(&none);
  sigemptyset(&stop_signals);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stop_signals, s);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &stop_signals);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = -1;
  int spawn_error = 0;
  {
    // Under the lock, so that a stop either sees this child or happened
    // before it would start.
    std::lock_guard lock(run.mutex);
    if (run.stop)
      spawn_error = EINTR;
    else if ((spawn_error = posix_spawn(&pid, run.vormap.c_str(), &actions, &attr, argv.data(), envp.data())) == 0)
      run.children.insert(pid);
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(err_pipe[1]);
  if (spawn_error != 0) {
    ::close(err_pipe[0]);
    reason = spawn_error == EINTR ? "interrupted" : "cannot start " + run.vormap + ": " + std::strerror(spawn_error);
    return false;
  }

  std::string err_text;
  char buffer[512];
  for (;;) {
    const ssize_t n = ::read(err_pipe[0], buffer, sizeof buffer);
    if (n > 0) {
      if (err_text.size() < kept_error_bytes) err_text.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(err_pipe[0]);
  // Wait without reaping first: while the child is unreaped its process id
  // cannot be reused, so a stop never signals a stranger.
  siginfo_t info{};
  while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
  }
  {
    std::lock_guard lock(run.mutex);
    run.children.erase(pid);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;

  // The last line vormap wrote says why.
  while (!err_text.empty() && (err_text.back() == '\n' || err_text.back() == '\r')) err_text.pop_back();
  const size_t line = err_text.rfind('\n');
  const std::string last = line == std::string::npos ? err_text : err_text.substr(line + 1);
  if (WIFSIGNALED(status)) {
    remove_temporary_files(run.options.outdir, job.name + ".vxl");
    reason = "vormap was stopped by signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) +
             ")";
  } else {
    reason = "vormap ended with status " + std::to_string(WEXITSTATUS(status)) + (last.empty() ? "" : ": " + last);
  }
  return false;
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
  if (!run.options.pages || (!map_is_new && file_exists(page_path))) return true;
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
        !write_picture(thumb_path, outline_start_areas(shrink_image(preview, thumbnail_factor), thumbnail_factor),
                       thumbnail_compression, error))
      return fail(error);
  }
  if (!make_seed_extras(run, job, bytes, !reuse, error)) return fail(error);
  std::vector<uint8_t> old_stamp;
  if (!platform_read_file(run.path(job, ".made").c_str(), &old_stamp) ||
      std::string(old_stamp.begin(), old_stamp.end()) != stamp) {
    if (!write_output_file(run.path(job, ".made"), stamp, error)) return fail(error);
  }
  result.has_page = run.options.pages && file_exists(run.path(job, ".html"));
  result.state = reuse ? seed_state::reused : seed_state::made;
  return result;
}

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

// --------------------------------------------------------------- progress

class progress_line {
 public:
  explicit progress_line(size_t total) : total_(total), terminal_(::isatty(STDERR_FILENO) == 1) {}

  // Prints pending messages and, on a terminal, redraws the line in place;
  // elsewhere prints a line whenever another seed is done.
  void update(gallery_run& run, bool final) {
    std::vector<std::string> messages;
    size_t done, reused;
    {
      std::lock_guard lock(run.mutex);
      messages.swap(run.messages);
      done = run.done;
      reused = run.reused;
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (terminal_ && shown_) std::fputs("\r\033[K", stderr);
    for (const std::string& m : messages) std::fprintf(stderr, "vxltool: gallery: %s\n", m.c_str());
    if (!terminal_ && done == last_done_ && !final) return;
    last_done_ = done;
    std::string text = "gallery: " + std::to_string(done) + "/" + std::to_string(total_) + " maps, " +
                       clock_text(elapsed) + " elapsed";
    // Kept maps take no time: the estimate counts the seeds that ran vormap.
    const size_t worked = done - reused;
    if (done < total_ && worked > 0)
      text += ", about " + clock_text(elapsed / static_cast<double>(worked) * static_cast<double>(total_ - done)) +
              " left";
    if (terminal_) {
      std::fprintf(stderr, "%s%s", text.c_str(), final ? "\n" : "");
      shown_ = !final;
    } else {
      std::fprintf(stderr, "%s\n", text.c_str());
    }
    std::fflush(stderr);
  }

  // Ends a line left in place.
  void finish() {
    if (terminal_ && shown_) std::fputs("\n", stderr);
    shown_ = false;
  }

 private:
  size_t total_;
  bool terminal_;
  bool shown_ = false;
  size_t last_done_ = static_cast<size_t>(-1);
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// ------------------------------------------------------------------ index

std::string json_string(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == '<' || c == '>' || c == '&') {
      // No "</script>" can end the data block early.
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string gallery_data(const gallery_run& run) {
  std::string seeds, failed;
  for (size_t i = 0; i < run.jobs.size(); ++i) {
    const seed_job& job = run.jobs[i];
    const seed_result& r = run.results[i];
    if (r.state == seed_state::failed) {
      if (!failed.empty()) failed += ",\n";
      failed += "{\"seed\":" + job.name + ",\"command\":" + json_string(job.command) +
                ",\"reason\":" + json_string(r.reason) + "}";
      continue;
    }
    if (r.state == seed_state::pending) continue;
    if (!seeds.empty()) seeds += ",\n";
    seeds += "{\"seed\":" + job.name + ",\"command\":" + json_string(job.command) +
             ",\"map\":" + json_string(job.name + ".vxl") + ",\"thumbnail\":" + json_string(job.name + ".thumb.png") +
             ",\"preview\":" + json_string(job.name + ".png") +
             ",\"page\":" + (r.has_page ? json_string(job.name + ".html") : "null") +
             ",\"figures\":" + figures_object(r.figures).dump() + "}";
  }
  nlohmann::ordered_json table = nlohmann::ordered_json::array();
  for (const figure_descriptor& f : figure_table())
    table.push_back({{"key", f.key}, {"unit", f.unit}, {"description", f.description}, {"integer", f.integer}});
  return "{\"debug\":" + std::string(run.options.debug ? "true" : "false") + ",\n\"figureTable\":" + table.dump() +
         ",\n\"seeds\":[\n" + seeds + "],\n\"failed\":[\n" + failed + "]}";
}

bool replace_marker(std::string& page, std::string_view marker, std::string_view text) {
  const size_t at = page.find(marker);
  if (at == std::string::npos) return false;
  page.replace(at, marker.size(), text);
  return true;
}

bool write_index(const gallery_run& run, std::string& error) {
  std::string page(gallery_assets_get("index.html"));
  if (!replace_marker(page, "/*@GALLERY_STYLE@*/", gallery_assets_get("gallery.css")) ||
      !replace_marker(page, "@GALLERY_DATA@", gallery_data(run)) ||
      !replace_marker(page, "/*@GALLERY_SCRIPT@*/", gallery_assets_get("gallery.js"))) {
    error = "the built-in page is incomplete";
    return false;
  }
  // The figures of every map also as files to load elsewhere.
  std::string csv = csv_header() + "\n", json = "[\n";
  bool first = true;
  for (size_t i = 0; i < run.jobs.size(); ++i) {
    const seed_result& r = run.results[i];
    if (r.state != seed_state::made && r.state != seed_state::reused) continue;
    csv += csv_record(run.jobs[i].seed, r.figures) + "\n";
    json += (first ? "" : ",\n") + jsonl_record(run.jobs[i].seed, r.figures);
    first = false;
  }
  json += "\n]\n";
  return write_output_file(run.options.outdir + "/figures.csv", csv, error) &&
         write_output_file(run.options.outdir + "/figures.json", json, error) &&
         write_output_file(run.options.outdir + "/index.html", page, error);
}

// --------------------------------------------------------------- running

// What the children's VORMAP_THREADS is: the jobs already share the cores
// out, so each generator gets its part of them (1 with one job per core)
// instead of every generator starting a thread per core. A value the user
// set is passed on as it is.
std::vector<std::string> child_environment(int jobs) {
  std::vector<std::string> env;
  bool has_threads = false;
  for (char** e = environ; *e != nullptr; ++e) {
    env.emplace_back(*e);
    if (env.back().rfind("VORMAP_THREADS=", 0) == 0) has_threads = true;
  }
  if (!has_threads) env.push_back("VORMAP_THREADS=" + std::to_string(std::max(1, processor_count() / jobs)));
  return env;
}

int fail_line(int status, const std::string& message) {
  std::fprintf(stderr, "vxltool: gallery: %s\n", message.c_str());
  return status;
}

}  // namespace

int gallery_main(const std::vector<std::string>& args) {
  gallery_run run;
  std::string error;
  if (!parse_gallery_arguments(args, run.options, error)) return fail_line(2, error);
  gallery_options& options = run.options;
  if (!find_vormap(options.vormap, run.vormap, error) || !make_outdir(options.outdir, error))
    return fail_line(1, error);

  std::vector<int32_t> seeds = options.seeds.seeds;
  if (options.seeds.random_count > 0) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    seeds = random_seeds(options.seeds.random_count,
                         static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
    std::printf("seeds: %s\n", format_seed_list(seeds).c_str());
    std::fflush(stdout);
  }
  for (int32_t seed : seeds) {
    seed_job job;
    job.seed = seed;
    job.name = std::to_string(seed);
    job.command = "vormap -s " + job.name + " -o " + job.name + ".vxl" + (options.debug ? " -d" : "");
    run.jobs.push_back(std::move(job));
  }
  run.results.resize(run.jobs.size());
  const int jobs = std::min<int>(options.jobs > 0 ? options.jobs : processor_count(), static_cast<int>(run.jobs.size()));
  run.environment = child_environment(jobs);

  // The stop signals are taken by this thread alone (sigtimedwait below);
  // the workers inherit the blocked mask.
  sigset_t stop_signals, old_mask;
  sigemptyset(&stop_signals);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stop_signals, s);
  pthread_sigmask(SIG_BLOCK, &stop_signals, &old_mask);

  std::vector<std::thread> workers;
  for (int k = 0; k < jobs; ++k) workers.emplace_back(worker, std::ref(run));

  progress_line progress(run.jobs.size());
  int stop_signal = 0;
  const timespec tick{0, 250'000'000};
  for (;;) {
    const int got = sigtimedwait(&stop_signals, nullptr, &tick);
    if (got > 0) {
      stop_signal = got;
      std::lock_guard lock(run.mutex);
      run.stop = true;
      for (pid_t child : run.children) ::kill(child, SIGTERM);
      break;
    }
    std::unique_lock lock(run.mutex);
    const bool all_done = run.done == run.jobs.size();
    lock.unlock();
    if (all_done) break;
    progress.update(run, false);
  }
  for (std::thread& t : workers) t.join();
  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);

  if (stop_signal != 0) {
    progress.finish();
    std::fprintf(stderr, "vxltool: gallery: stopped by signal %d; %zu of %zu maps done, run it again to go on\n",
                 stop_signal, run.done, run.jobs.size());
    return 128 + stop_signal;
  }
  progress.update(run, true);

  const bool index_ok = write_index(run, error);
  if (!index_ok) std::fprintf(stderr, "vxltool: gallery: %s\n", error.c_str());
  std::printf("%zu maps in %s (%zu made, %zu kept, %zu failed); open %s/index.html\n", run.made + run.reused,
              options.outdir.c_str(), run.made, run.reused, run.failed, options.outdir.c_str());
  return run.failed == 0 && index_ok ? 0 : 1;
}

}  // namespace vormap

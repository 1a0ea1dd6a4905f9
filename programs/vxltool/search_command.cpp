#include "programs/vxltool/search_command.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "util/quoted_text.h"
#include "util/platform/output_file.h"
#include "programs/vxltool/batch_support.h"
#include "programs/vxltool/command_support.h"
#include "programs/vxltool/count_argument.h"
#include "programs/vxltool/figure_filter.h"
#include "programs/vxltool/figure_records.h"
#include "programs/vxltool/seed_figures.h"
#include "programs/vxltool/variant_options.h"
#include "programs/vxltool/seed_list.h"

namespace vormap {

namespace {

constexpr int max_jobs = 256;
constexpr int64_t max_shards = 1'000'000'000;
constexpr int64_t max_top = 1'000'000;
// Results kept waiting for an earlier seed, per job, so that records go out
// in seed order while every job stays busy.
constexpr int64_t window_per_job = 8;

enum class record_format { jsonl, csv };

struct search_options {
  std::string seeds_text;
  std::vector<seed_range> ranges;
  std::string where_text;
  figure_filter filter;
  int64_t top = 0;
  const figure_descriptor* by = nullptr;
  bool lowest_first = false;  // --by -FIGURE
  int jobs = 0;               // 0: one per processor
  int64_t shard = 0, shards = 1;
  record_format format = record_format::jsonl;
  std::string output;  // empty: standard output
  bool resume = false;
  variant_options variant;            // --lake ... --hills, --variant
  std::vector<map_options> variants;  // made of each seed, at least one
  bool named = false;                 // records name their map: a variant is not the specified map
};

// A whole number of decimal digits from `low` to `high`.
bool parse_whole(const std::string& text, int64_t low, int64_t high, int64_t& out) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const int64_t value = std::stoll(text);
  if (value < low || value > high) return false;
  out = value;
  return true;
}

bool parse_search_arguments(const std::vector<std::string>& args, search_options& o, std::string& error) {
  std::vector<std::string> positional;
  bool options_done = false;
  for (size_t k = 0; k < args.size(); ++k) {
    std::string arg = args[k];
    if (options_done || arg.size() < 2 || arg[0] != '-' || (arg[1] >= '0' && arg[1] <= '9')) {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    if (arg == "--resume") {
      o.resume = true;
      continue;
    }
    std::string value;
    const size_t equals = arg.find('=');
    if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = arg.substr(equals + 1);
      arg = arg.substr(0, equals);
    }
    const bool takes_value = arg == "--where" || arg == "--top" || arg == "--by" || arg == "--jobs" ||
                             arg == "--shard" || arg == "--format" || arg == "-o" || arg == "--output" ||
                             is_variant_option(arg);
    if (!takes_value) {
      error = "unknown option " + quote_text(arg);
      return false;
    }
    if (equals == std::string::npos || arg == "-o") {
      if (k + 1 == args.size()) {
        error = arg + " needs a value";
        return false;
      }
      value = args[++k];
    }
    if (is_variant_option(arg)) {
      if (!read_variant_option(arg, value, o.variant, error)) return false;
    } else if (arg == "--where") {
      o.where_text = value;
      if (!o.filter.parse(value, error)) {
        error = "--where: " + error;
        return false;
      }
    } else if (arg == "--top") {
      if (!parse_whole(value, 1, max_top, o.top)) {
        error = "--top must be a whole number from 1 to " + std::to_string(max_top) + ", not " + quote_text(value);
        return false;
      }
    } else if (arg == "--by") {
      o.lowest_first = !value.empty() && value[0] == '-';
      o.by = find_figure(o.lowest_first ? value.substr(1) : value);
      if (o.by == nullptr) {
        error = "--by: unknown figure " + quote_text(value);
        return false;
      }
    } else if (arg == "--jobs") {
      if (!parse_count_argument(value, max_jobs, o.jobs)) {
        error = "--jobs must be a whole number from 1 to " + std::to_string(max_jobs) + ", not " + quote_text(value);
        return false;
      }
    } else if (arg == "--shard") {
      const size_t slash = value.find('/');
      if (slash == std::string::npos || !parse_whole(value.substr(slash + 1), 1, max_shards, o.shards) ||
          !parse_whole(value.substr(0, slash), 0, o.shards - 1, o.shard)) {
        error = "--shard must be K/N with N from 1 to " + std::to_string(max_shards) + " and K from 0 to N - 1, not " +
                quote_text(value);
        return false;
      }
    } else if (arg == "--format") {
      if (value == "jsonl") {
        o.format = record_format::jsonl;
      } else if (value == "csv") {
        o.format = record_format::csv;
      } else {
        error = "--format must be jsonl or csv, not " + quote_text(value);
        return false;
      }
    } else {
      if (value.empty()) {
        error = "-o needs a file name";
        return false;
      }
      o.output = value;
    }
  }
  if (positional.size() != 1) {
    error = "search takes one seed list, not " + std::to_string(positional.size()) + " arguments";
    return false;
  }
  if (!resolve_variants(o.variant, o.variants, error)) return false;
  for (const map_options& v : o.variants)
    if (!variant_name(v).empty()) o.named = true;
  o.seeds_text = positional[0];
  if (!parse_seed_ranges(o.seeds_text, o.ranges, error)) return false;
  if ((o.top > 0) != (o.by != nullptr)) {
    error = "--top N and --by FIGURE go together";
    return false;
  }
  if (o.resume && o.output.empty()) {
    error = "--resume needs -o FILE, the output of the search to go on with";
    return false;
  }
  return true;
}

// The seeds of one shard, in increasing order: item i is the seed whose
// index in the whole list is shard + i * shards.
class seed_sequence {
 public:
  seed_sequence(const std::vector<seed_range>& ranges, int64_t shard, int64_t shards)
      : ranges_(ranges), shard_(shard), shards_(shards) {
    int64_t start = 0;
    for (const seed_range& r : ranges_) {
      starts_.push_back(start);
      start += r.last - r.first + 1;
    }
    total_ = start;
  }

  int64_t size() const { return total_ > shard_ ? (total_ - shard_ + shards_ - 1) / shards_ : 0; }

  int32_t seed(int64_t item) const {
    const int64_t index = shard_ + item * shards_;
    const size_t r = static_cast<size_t>(std::upper_bound(starts_.begin(), starts_.end(), index) - starts_.begin()) - 1;
    return static_cast<int32_t>(ranges_[r].first + (index - starts_[r]));
  }

  // The first item whose seed is larger than `seed`.
  int64_t first_after(int64_t seed) const {
    int64_t at_most = 0;  // seeds of the whole list not larger than `seed`
    for (size_t r = 0; r < ranges_.size(); ++r) {
      if (ranges_[r].first > seed) break;
      at_most = starts_[r] + std::min(seed, ranges_[r].last) - ranges_[r].first + 1;
    }
    return at_most > shard_ ? (at_most - shard_ + shards_ - 1) / shards_ : 0;
  }

 private:
  std::vector<seed_range> ranges_;
  std::vector<int64_t> starts_;
  int64_t shard_, shards_, total_ = 0;
};

// Jobs claim items in order and put their figures in a window of slots;
// the main thread takes them out in order.
struct result_slot {
  int64_t item = -1;
  int32_t seed = 0;
  std::vector<map_figures> figures;  // one per variant, in their order
};

struct pipeline {
  const seed_sequence* seeds = nullptr;
  const std::vector<map_options>* variants = nullptr;
  std::mutex mutex;
  std::condition_variable claimable, finished;
  int64_t next = 0;   // the next item to claim
  int64_t end = 0;
  int64_t taken = 0;  // items the main thread has taken out
  std::vector<result_slot> window;
  bool stop = false;
  std::exception_ptr failure;
};

void search_worker(pipeline& p) {
  const int64_t size = static_cast<int64_t>(p.window.size());
  for (;;) {
    int64_t item;
    {
      std::unique_lock lock(p.mutex);
      p.claimable.wait(lock, [&] { return p.stop || p.next >= p.end || p.next < p.taken + size; });
      if (p.stop || p.next >= p.end) return;
      item = p.next++;
    }
    result_slot slot;
    slot.item = item;
    slot.seed = p.seeds->seed(item);
    try {
      for (map_options v : *p.variants) {
        v.seed = slot.seed;
        slot.figures.push_back(figures_of_map(v));
      }
    } catch (...) {
      std::lock_guard lock(p.mutex);
      if (!p.failure) p.failure = std::current_exception();
      p.stop = true;
      p.finished.notify_all();
      p.claimable.notify_all();
      return;
    }
    std::lock_guard lock(p.mutex);
    p.window[static_cast<size_t>(item % size)] = slot;
    if (item == p.taken) p.finished.notify_one();
  }
}

// The progress line on standard error: redrawn in place on a terminal,
// otherwise a line every ten seconds.
class search_progress {
 public:
  explicit search_progress(int64_t total) : total_(total), terminal_(::isatty(STDERR_FILENO) == 1) {}

  void update(int64_t done, int64_t records, bool final) {
    const auto now = std::chrono::steady_clock::now();
    const double since = std::chrono::duration<double>(now - last_).count();
    if (!final && since < (terminal_ ? 0.25 : 10.0)) return;
    last_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    std::string text = "search: " + std::to_string(done) + "/" + std::to_string(total_) + " seeds, " +
                       std::to_string(records) + " records, " + clock_text(elapsed) + " elapsed";
    if (done < total_ && done > 0)
      text += ", about " + clock_text(elapsed / static_cast<double>(done) * static_cast<double>(total_ - done)) + " left";
    if (terminal_) {
      std::fprintf(stderr, "\r\033[K%s%s", text.c_str(), final ? "\n" : "");
      shown_ = !final;
    } else {
      std::fprintf(stderr, "%s\n", text.c_str());
    }
    std::fflush(stderr);
  }

  void finish() {
    if (shown_) std::fputs("\n", stderr);
    shown_ = false;
  }

 private:
  int64_t total_;
  bool terminal_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_ = start_ - std::chrono::hours(1);
};

std::string system_reason() { return std::strerror(errno); }

// Records, best first: the larger value (smaller with --by -F), then the
// smaller seed. `line` is the record as it is written.
struct ranked {
  double value;
  int32_t seed;
  std::string line;
};

// One line of text for the progress file: backslashes and line ends escaped.
std::string one_line(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

// What a resumed search must agree on with the one it goes on with.
std::string search_signature(const search_options& o) {
  std::string text = "seeds " + o.seeds_text + " | where " + o.where_text;
  if (o.top > 0)
    text += " | top " + std::to_string(o.top) + " by " + (o.lowest_first ? "-" : "") + std::string(o.by->key);
  if (o.named) {
    text += " | maps";
    for (const map_options& v : o.variants) {
      const std::string name = variant_name(v);
      text.append(" ").append(name.empty() ? "default" : name);
    }
  }
  text += " | shard " + std::to_string(o.shard) + "/" + std::to_string(o.shards) + " | format " +
          (o.format == record_format::csv ? "csv" : "jsonl");
  return one_line(text);
}

std::string progress_path(const search_options& o) { return o.output + ".progress"; }

// FILE.progress: how far a search writing FILE got, so that it can go on.
//
//   SIGNATURE                 the arguments (search_signature)
//   running | finished
//   done SEED | done none     the last seed taken into account
//   bytes N                   the output's size at that moment (streamed records)
//   best K                    --top: the best K so far, one a line:
//   SEED VALUE RECORD         VALUE in hexadecimal floating point
//   check HASH                of every line above, so an edited or cut file is refused
//
// It is written whole (a temporary file renamed) when the search starts,
// every few seconds, when it stops and when it finishes; a finished search
// keeps it, so that a resume with other arguments is refused and a merge can
// tell a finished output from a stopped one.
struct progress_state {
  std::string signature;
  bool finished = false;
  bool has_done = false;
  int64_t done_seed = 0;
  int64_t bytes = 0;
  std::vector<ranked> best;
};

uint64_t text_hash(std::string_view text) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  return h;
}

std::string progress_text(const progress_state& p) {
  std::string text = p.signature + "\n" + (p.finished ? "finished" : "running") + "\n";
  text += p.has_done ? "done " + std::to_string(p.done_seed) + "\n" : "done none\n";
  text += "bytes " + std::to_string(p.bytes) + "\n";
  text += "best " + std::to_string(p.best.size()) + "\n";
  for (const ranked& r : p.best) {
    char value[64];
    std::snprintf(value, sizeof value, "%a", r.value);
    text += std::to_string(r.seed) + " " + value + " " + r.line + "\n";
  }
  char check[32];
  std::snprintf(check, sizeof check, "check %016llx\n", static_cast<unsigned long long>(text_hash(text)));
  return text + check;
}

bool read_integer(const std::string& text, int64_t low, int64_t high, int64_t& out) {
  if (text.empty() || text.size() > 20) return false;
  size_t used = 0;
  try {
    out = std::stoll(text, &used);
  } catch (const std::exception&) {
    return false;
  }
  return used == text.size() && out >= low && out <= high;
}

// Reads a progress file's text. Returns false with the reason otherwise.
bool parse_progress(const std::string& text, progress_state& p, std::string& reason) {
  if (text.empty()) {
    reason = "is empty";
    return false;
  }
  const size_t check_at = text.rfind("check ", text.size() >= 2 ? text.size() - 2 : 0);
  if (check_at == std::string::npos || (check_at > 0 && text[check_at - 1] != '\n') || text.back() != '\n') {
    reason = "is not a search's progress file, or was cut";
    return false;
  }
  char expected[32];
  std::snprintf(expected, sizeof expected, "check %016llx\n",
                static_cast<unsigned long long>(text_hash(std::string_view(text).substr(0, check_at))));
  if (text.compare(check_at, std::string::npos, expected) != 0) {
    reason = "was changed or damaged (its check does not match)";
    return false;
  }
  std::vector<std::string> lines;
  std::istringstream in(text.substr(0, check_at));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  int64_t count = 0;
  reason = "is not a search's progress file";
  if (lines.size() < 5 || (lines[1] != "running" && lines[1] != "finished") || lines[2].rfind("done ", 0) != 0 ||
      lines[3].rfind("bytes ", 0) != 0 || lines[4].rfind("best ", 0) != 0 ||
      !read_integer(lines[3].substr(6), 0, INT64_MAX, p.bytes) || !read_integer(lines[4].substr(5), 0, max_top, count) ||
      static_cast<int64_t>(lines.size()) != 5 + count)
    return false;
  p.signature = lines[0];
  p.finished = lines[1] == "finished";
  p.has_done = lines[2] != "done none";
  if (p.has_done && !read_integer(lines[2].substr(5), INT32_MIN, INT32_MAX, p.done_seed)) return false;
  for (size_t k = 5; k < lines.size(); ++k) {
    const size_t a = lines[k].find(' ');
    const size_t b = a == std::string::npos ? a : lines[k].find(' ', a + 1);
    int64_t seed = 0;
    if (b == std::string::npos || !read_integer(lines[k].substr(0, a), INT32_MIN, INT32_MAX, seed)) return false;
    const std::string value = lines[k].substr(a + 1, b - a - 1);
    char* end = nullptr;
    const double v = std::strtod(value.c_str(), &end);
    if (end != value.c_str() + value.size()) return false;
    p.best.push_back({v, static_cast<int32_t>(seed), lines[k].substr(b + 1)});
  }
  reason.clear();
  return true;
}

// The seed of a record line, or false when the line is no record.
bool record_seed(const search_options& o, const std::string& line, int64_t& seed) {
  try {
    if (o.format == record_format::jsonl) {
      seed = nlohmann::json::parse(line).at("seed").get<int64_t>();
      return true;
    }
    size_t used = 0;
    const std::string field = line.substr(0, line.find(','));
    seed = std::stoll(field, &used);
    return used == field.size();
  } catch (const std::exception&) {
    return false;
  }
}

// Where a resumed search goes on. Checks the output against its progress
// file (written by this search, not cut short, not changed since), cuts a
// record left half-written off the end, and returns in `after` the last seed
// done (`has_after` false when none is). `exists`: the output holds
// something to go on with; `finished`: there is nothing left to do.
bool prepare_resume(const search_options& o, int fd, progress_state& state, bool& exists, bool& finished,
                    bool& has_after, int64_t& after, std::string& error) {
  exists = finished = has_after = false;
  const std::string name = quote_text(o.output, 200);
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    error = "cannot read " + name + ": " + system_reason();
    return false;
  }
  const int64_t size = st.st_size;
  std::string progress_text_read;
  {
    std::ifstream progress(progress_path(o), std::ios::binary);
    if (!progress) {
      if (o.top == 0 && size > 0) {
        error = name + " has no progress file beside it, so it is no search that can go on; give a new -o or leave out --resume";
        return false;
      }
      return true;  // nothing yet: start from the beginning
    }
    std::ostringstream all;
    all << progress.rdbuf();
    progress_text_read = all.str();
  }
  std::string reason;
  if (!parse_progress(progress_text_read, state, reason)) {
    error = quote_text(progress_path(o), 200) + " " + reason + "; start again without --resume";
    return false;
  }
  if (state.signature != search_signature(o)) {
    error = name + " was written by another search (" + quote_text(state.signature, 200) +
            "); give its arguments or a new -o";
    return false;
  }
  if (o.top > 0) {
    finished = state.finished;
    has_after = state.has_done;
    after = state.done_seed;
    return true;
  }
  if (size < state.bytes || (state.finished && size != state.bytes)) {
    error = name + " has " + std::to_string(size) + " bytes where its progress file says " + std::to_string(state.bytes) +
            ": it was cut or changed; start again without --resume";
    return false;
  }
  finished = state.finished;
  has_after = state.has_done;
  after = state.done_seed;
  exists = size > 0;
  if (finished) return true;
  // Records written after the last progress: the complete ones count, a
  // half-written one at the end is cut off.
  std::string tail(static_cast<size_t>(size - state.bytes), '\0');
  if (!tail.empty() && ::pread(fd, tail.data(), tail.size(), state.bytes) != static_cast<ssize_t>(tail.size())) {
    error = "cannot read " + name + ": " + system_reason();
    return false;
  }
  const size_t last_newline = tail.rfind('\n');
  const int64_t keep = last_newline == std::string::npos ? state.bytes : state.bytes + static_cast<int64_t>(last_newline) + 1;
  std::istringstream lines(tail.substr(0, last_newline == std::string::npos ? 0 : last_newline + 1));
  for (std::string line; std::getline(lines, line);) {
    if (o.format == record_format::csv && line == csv_header(o.named)) continue;
    int64_t seed = 0;
    if (!record_seed(o, line, seed) || (has_after && seed <= after)) {
      error = name + " holds " + quote_text(line) + " after the records its progress file counts; start again without --resume";
      return false;
    }
    after = seed;
    has_after = true;
  }
  if (keep < size && ::ftruncate(fd, keep) != 0) {
    error = "cannot cut the unfinished record off " + name + ": " + system_reason();
    return false;
  }
  exists = keep > 0;
  return true;
}

// The output file, locked so that two searches cannot write it at once
// (flock: released however the process ends).
class output_lock {
 public:
  ~output_lock() {
    if (fd_ >= 0) ::close(fd_);
  }
  // Opens (creating) `path` for writing and locks it. `append`: writes go
  // to the end. `created` tells whether the file was new.
  bool take(const std::string& path, bool append, bool& created, std::string& error) {
    created = false;
    fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (append ? O_APPEND : 0));
    if (fd_ < 0 && errno == ENOENT) {
      fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | (append ? O_APPEND : 0), 0666);
      created = fd_ >= 0;
    }
    if (fd_ < 0) {
      error = "cannot write " + quote_text(path, 200) + ": " + system_reason();
      return false;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
    error = errno == EWOULDBLOCK ? "another search is writing " + quote_text(path, 200) + "; run this one when it has finished"
                                 : "cannot lock " + quote_text(path, 200) + ": " + system_reason();
    return false;
  }
  int fd() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

}  // namespace

int search_command(const std::vector<std::string>& args) {
  if (args.size() == 1 && args[0] == "--figures") {
    std::fputs(figure_table_markdown().c_str(), stdout);
    return 0;
  }
  search_options o;
  std::string error;
  if (!parse_search_arguments(args, o, error)) return usage_error("search", error);

  const seed_sequence seeds(o.ranges, o.shard, o.shards);
  const bool streaming = o.top == 0;

  // A stop signal is taken in turn from here on, so that one arriving while
  // the output and its progress are being set up still stops the search
  // cleanly (the workers inherit the mask).
  sigset_t stop_signals, old_mask;
  sigemptyset(&stop_signals);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stop_signals, s);
  pthread_sigmask(SIG_BLOCK, &stop_signals, &old_mask);

  // A regular output file (or a new one) is locked, checked and noted in
  // FILE.progress; a special one (a pipe, /dev/stdout) is only written.
  bool regular = false;
  if (!o.output.empty()) {
    struct stat st;
    if (::stat(o.output.c_str(), &st) == 0) {
      regular = S_ISREG(st.st_mode);
      if (S_ISDIR(st.st_mode)) return fail("search", 1, "cannot write " + quote_text(o.output, 200) + ": " + std::strerror(EISDIR));
      if (!regular && o.resume)
        return fail("search", 1, "cannot go on with " + quote_text(o.output, 200) +
                                     ": --resume needs a regular file, which it reads back and cuts");
    } else {
      regular = true;
    }
  }

  // The best N are written at the end: a folder they cannot go to is found
  // out before the work, not after it.
  if (o.top > 0 && regular) {
    const size_t slash = o.output.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : o.output.substr(0, slash);
    if (::access(folder.c_str(), W_OK) != 0)
      return fail("search", 1, "cannot write " + quote_text(o.output, 200) + ": " + system_reason());
  }

  output_lock lock;
  bool created = false;
  if (regular && !lock.take(o.output, streaming, created, error)) return fail("search", 1, error);
  // A file this run made for its lock goes again if the run ends before
  // anything is written to it (--top: before its records are).
  auto forget_created = [&] {
    if (created) ::unlink(o.output.c_str());
  };

  progress_state state;
  int64_t first = 0;
  bool exists = false;
  if (o.resume) {
    bool has_after = false, finished = false;
    int64_t after = 0;
    if (!prepare_resume(o, lock.fd(), state, exists, finished, has_after, after, error)) {
      forget_created();
      return fail("search", 1, error);
    }
    if (finished && created && !streaming) {
      forget_created();
      return fail("search", 1, quote_text(o.output, 200) + " is gone though its search finished; start again without --resume");
    }
    if (finished) {
      std::fprintf(stderr, "vxltool: search: %s is finished already; nothing to do\n", quote_text(o.output, 200).c_str());
      return 0;
    }
    if (has_after) first = seeds.first_after(after);
  }
  state.signature = search_signature(o);
  state.finished = false;

  std::vector<ranked> best = std::move(state.best);
  state.best.clear();
  auto better = [&](const ranked& a, const ranked& b) {
    if (a.value != b.value) return o.lowest_first ? a.value < b.value : a.value > b.value;
    // Variants of one seed tie by their records, which hold their names.
    return a.seed != b.seed ? a.seed < b.seed : a.line < b.line;
  };
  // Keeps the best N, best first.
  auto trim_best = [&] {
    if (static_cast<int64_t>(best.size()) > o.top) {
      std::nth_element(best.begin(), best.begin() + o.top, best.end(), better);
      best.resize(static_cast<size_t>(o.top));
    }
    std::sort(best.begin(), best.end(), better);
  };

  // Streamed records go straight to their file, so that a stopped search can
  // go on from it; --top writes its file whole at the end.
  std::FILE* out = stdout;
  if (streaming && !o.output.empty()) {
    if (regular) {
      if (!(o.resume && exists) && ::ftruncate(lock.fd(), 0) != 0)
        return fail("search", 1, "cannot write " + quote_text(o.output, 200) + ": " + system_reason());
      out = ::fdopen(lock.release(), "ab");
    } else {
      out = std::fopen(o.output.c_str(), "wb");
    }
    if (out == nullptr) return fail("search", 1, "cannot write " + quote_text(o.output, 200) + ": " + system_reason());
  }
  bool write_failed = false;
  auto put_line = [&](const std::string& line) {
    if (std::fputs(line.c_str(), out) < 0 || std::fputc('\n', out) == EOF) write_failed = true;
  };
  if (streaming && o.format == record_format::csv && !(o.resume && exists)) put_line(csv_header(o.named));

  // The progress file goes with a regular output. `done_items` items are
  // taken into account.
  const bool noted = regular;
  auto save_progress = [&](int64_t done_items, bool finished, std::string& why) {
    if (!noted) return true;
    state.finished = finished;
    if (done_items > 0) {
      state.has_done = true;
      state.done_seed = seeds.seed(done_items - 1);
    }
    if (streaming) {
      // The file's size, not the stream's position: appending, that is 0
      // until the first write.
      struct stat st;
      if (std::fflush(out) != 0 || ::fstat(::fileno(out), &st) != 0) write_failed = true;
      else state.bytes = st.st_size;
    } else if (!finished) {
      trim_best();
      state.best = best;
    }
    const bool saved = write_output_file(progress_path(o), progress_text(state), why);
    state.best.clear();
    return saved;
  };
  std::string why;
  if (!save_progress(first, false, why)) {
    if (out != stdout) std::fclose(out);
    forget_created();
    return fail("search", 1, why);
  }

  pipeline p;
  p.seeds = &seeds;
  p.variants = &o.variants;
  p.next = first;
  p.taken = first;
  p.end = seeds.size();
  const int jobs = static_cast<int>(
      std::max<int64_t>(1, std::min<int64_t>(o.jobs > 0 ? o.jobs : processor_count(), p.end - first)));
  p.window.resize(static_cast<size_t>(jobs * window_per_job));

  std::vector<std::thread> workers;
  for (int k = 0; k < jobs; ++k) workers.emplace_back(search_worker, std::ref(p));

  search_progress progress(p.end - first);
  int64_t records = 0;
  int stop_signal = 0;
  auto last_checkpoint = std::chrono::steady_clock::now();
  // A checkpoint of a long --top list costs more: at most a twentieth of the time goes to them.
  auto checkpoint_every = std::chrono::steady_clock::duration(std::chrono::seconds(2));
  const timespec no_wait{0, 0};
  const int64_t size = static_cast<int64_t>(p.window.size());
  while (true) {
    std::vector<result_slot> ready;
    {
      std::unique_lock lock_pipeline(p.mutex);
      p.finished.wait_for(lock_pipeline, std::chrono::milliseconds(100), [&] {
        return p.stop || p.taken == p.end || p.window[static_cast<size_t>(p.taken % size)].item == p.taken;
      });
      while (p.taken < p.end && p.window[static_cast<size_t>(p.taken % size)].item == p.taken) {
        ready.push_back(p.window[static_cast<size_t>(p.taken % size)]);
        ++p.taken;
      }
      if (!ready.empty()) p.claimable.notify_all();
    }
    for (const result_slot& r : ready)
      for (size_t v = 0; v < r.figures.size(); ++v) {
        const map_figures& figures = r.figures[v];
        if (!o.filter.passes(figures)) continue;
        ++records;
        map_options named = o.variants[v];
        named.seed = r.seed;
        const std::string name = o.named ? map_name(named) : "";
        const std::string line = o.format == record_format::jsonl ? jsonl_record(r.seed, figures, name)
                                                                  : csv_record(r.seed, figures, name);
        if (!streaming) {
          best.push_back({figure_value(*o.by, figures), r.seed, line});
          if (static_cast<int64_t>(best.size()) >= 2 * o.top + 1024) trim_best();
        } else {
          put_line(line);
        }
      }
    int64_t taken;
    bool failed;
    {
      std::lock_guard lock_pipeline(p.mutex);
      taken = p.taken;
      failed = p.failure != nullptr;
    }
    if (write_failed) break;
    const int got = sigtimedwait(&stop_signals, nullptr, &no_wait);
    if (got > 0) stop_signal = got;
    if (stop_signal != 0 || failed || taken == p.end) break;
    progress.update(taken - first, records, false);
    if (std::chrono::steady_clock::now() - last_checkpoint > checkpoint_every) {
      const auto before = std::chrono::steady_clock::now();
      save_progress(taken, false, why);
      last_checkpoint = std::chrono::steady_clock::now();
      checkpoint_every = std::max<std::chrono::steady_clock::duration>(std::chrono::seconds(2), 20 * (last_checkpoint - before));
    }
  }
  {
    std::lock_guard lock_pipeline(p.mutex);
    p.stop = true;
    p.claimable.notify_all();
  }
  for (std::thread& t : workers) t.join();
  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
  const int64_t done = p.taken;
  const bool can_resume = noted;

  if (p.failure) {
    save_progress(done, false, why);
    progress.finish();
    try {
      std::rethrow_exception(p.failure);
    } catch (const std::bad_alloc&) {
      error = "out of memory making a map";
    } catch (const std::exception& e) {
      error = e.what();
    }
    if (out != stdout) std::fclose(out);
    if (!streaming) forget_created();
    return fail("search", 1, error + "; " + std::to_string(done) + " seeds done" +
                                 (can_resume ? ", run it again with --resume to go on" : ""));
  }
  if (stop_signal != 0) {
    save_progress(done, false, why);
    progress.finish();
    if (out != stdout) std::fclose(out);
    if (!streaming) forget_created();
    std::fprintf(stderr, "vxltool: search: stopped by signal %d; %lld of %lld seeds done%s\n", stop_signal,
                 static_cast<long long>(done), static_cast<long long>(p.end),
                 can_resume ? ", run it again with --resume to go on" : "");
    return 128 + stop_signal;
  }
  if (write_failed || std::fflush(out) != 0) {
    const std::string where = o.output.empty() ? "standard output" : quote_text(o.output, 200);
    return fail("search", 1, "cannot write " + where + ": " + system_reason());
  }
  progress.update(done - first, records, true);

  if (!streaming) {
    trim_best();
    std::string text;
    if (o.format == record_format::csv) text += csv_header(o.named) + "\n";
    for (const ranked& r : best) text += r.line + "\n";
    if (o.output.empty()) {
      if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0)
        return fail("search", 1, "cannot write standard output: " + system_reason());
    } else if (!write_output_file(o.output, text, error)) {
      save_progress(done, false, why);
      return fail("search", 1, error);
    }
  }
  if (!save_progress(done, true, why)) {
    if (out != stdout) std::fclose(out);
    return fail("search", 1, why);
  }
  if (out != stdout && std::fclose(out) != 0)
    return fail("search", 1, "cannot write " + quote_text(o.output, 200) + ": " + system_reason());
  return 0;
}

}  // namespace vormap

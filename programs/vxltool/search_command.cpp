#include "programs/vxltool/search_command.h"

#include <sched.h>
#include <signal.h>
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

#include "util/platform/output_file.h"
#include "programs/vxltool/batch_support.h"
#include "programs/vxltool/command_support.h"
#include "programs/vxltool/count_argument.h"
#include "programs/vxltool/figure_filter.h"
#include "programs/vxltool/figure_records.h"
#include "programs/vxltool/seed_figures.h"
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
                             arg == "--shard" || arg == "--format" || arg == "-o" || arg == "--output";
    if (!takes_value) {
      error = "unknown option '" + arg + "'";
      return false;
    }
    if (equals == std::string::npos || arg == "-o") {
      if (k + 1 == args.size()) {
        error = arg + " needs a value";
        return false;
      }
      value = args[++k];
    }
    if (arg == "--where") {
      o.where_text = value;
      if (!o.filter.parse(value, error)) {
        error = "--where: " + error;
        return false;
      }
    } else if (arg == "--top") {
      if (!parse_whole(value, 1, max_top, o.top)) {
        error = "--top must be a whole number from 1 to " + std::to_string(max_top) + ", not '" + value + "'";
        return false;
      }
    } else if (arg == "--by") {
      o.lowest_first = !value.empty() && value[0] == '-';
      o.by = find_figure(o.lowest_first ? value.substr(1) : value);
      if (o.by == nullptr) {
        error = "--by: unknown figure '" + value + "'";
        return false;
      }
    } else if (arg == "--jobs") {
      if (!parse_count_argument(value, max_jobs, o.jobs)) {
        error = "--jobs must be a whole number from 1 to " + std::to_string(max_jobs) + ", not '" + value + "'";
        return false;
      }
    } else if (arg == "--shard") {
      const size_t slash = value.find('/');
      if (slash == std::string::npos || !parse_whole(value.substr(slash + 1), 1, max_shards, o.shards) ||
          !parse_whole(value.substr(0, slash), 0, o.shards - 1, o.shard)) {
        error = "--shard must be K/N with N from 1 to " + std::to_string(max_shards) + " and K from 0 to N - 1, not '" +
                value + "'";
        return false;
      }
    } else if (arg == "--format") {
      if (value == "jsonl") {
        o.format = record_format::jsonl;
      } else if (value == "csv") {
        o.format = record_format::csv;
      } else {
        error = "--format must be jsonl or csv, not '" + value + "'";
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
  if (o.resume && o.top > 0) {
    error = "--resume does not go with --top, whose records are written at the end";
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
  map_figures figures;
};

struct pipeline {
  const seed_sequence* seeds = nullptr;
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
      slot.figures = figures_of_seed(slot.seed);
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

// What a resumed search must agree on with the one it goes on with.
std::string search_signature(const search_options& o) {
  return "seeds " + o.seeds_text + " | where " + o.where_text + " | shard " + std::to_string(o.shard) + "/" +
         std::to_string(o.shards) + " | format " + (o.format == record_format::csv ? "csv" : "jsonl");
}

std::string progress_path(const search_options& o) { return o.output + ".progress"; }

// Where a search goes on: cuts a record left half-written off the end of the
// output, and returns in `after` the last seed done (from the last record or
// the progress file, whichever is later); `has_after` false when none is.
// `exists` tells whether the output holds anything to go on with.
bool prepare_resume(const search_options& o, bool& exists, bool& has_after, int64_t& after, std::string& error) {
  exists = false;
  has_after = false;
  std::FILE* file = std::fopen(o.output.c_str(), "r+b");
  if (file == nullptr) {
    if (errno == ENOENT) return true;  // nothing yet: start from the beginning
    error = "cannot open '" + o.output + "': " + system_reason();
    return false;
  }
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  // Only the tail is read: a shard's output may be many gigabytes.
  const long tail_start = std::max(0L, size - (1L << 20));
  std::string tail(static_cast<size_t>(size - tail_start), '\0');
  std::fseek(file, tail_start, SEEK_SET);
  const size_t got = std::fread(tail.data(), 1, tail.size(), file);
  std::string head(4096, '\0');
  std::fseek(file, 0, SEEK_SET);
  head.resize(std::fread(head.data(), 1, head.size(), file));
  std::fclose(file);
  if (got != tail.size()) {
    error = "cannot read '" + o.output + "'";
    return false;
  }
  const size_t last_newline = tail.rfind('\n');
  const long keep = last_newline == std::string::npos ? 0 : tail_start + static_cast<long>(last_newline) + 1;
  if (keep < size && ::truncate(o.output.c_str(), keep) != 0) {
    error = "cannot cut the unfinished record off '" + o.output + "': " + system_reason();
    return false;
  }
  if (o.format == record_format::csv && keep > 0 && head.rfind(csv_header() + "\n", 0) != 0) {
    error = "'" + o.output + "' is not the CSV output of a search (its first line is not the header)";
    return false;
  }
  if (last_newline != std::string::npos) {
    const std::string body = tail.substr(0, last_newline);
    const size_t line_start = body.rfind('\n');
    const std::string line = line_start == std::string::npos ? body : body.substr(line_start + 1);
    try {
      if (o.format == record_format::jsonl) {
        after = nlohmann::json::parse(line).at("seed").get<int64_t>();
        has_after = true;
      } else if (line != csv_header()) {
        after = std::stoll(line.substr(0, line.find(',')));
        has_after = true;
      }
    } catch (const std::exception&) {
      error = "the last record of '" + o.output + "' is not one of a search";
      return false;
    }
  }
  exists = keep > 0;
  std::ifstream progress(progress_path(o));
  if (progress) {
    std::string signature, seed;
    std::getline(progress, signature);
    std::getline(progress, seed);
    if (signature != search_signature(o)) {
      error = "'" + o.output + "' was written by another search (" + signature + "); give its arguments or a new -o";
      return false;
    }
    try {
      const int64_t done = std::stoll(seed);
      if (!has_after || done > after) after = done;
      has_after = true;
    } catch (const std::exception&) {
      // An unreadable progress file only costs repeating seeds.
    }
  }
  return true;
}

// Records, best first: the larger value (smaller with --by -F), then the
// smaller seed.
struct ranked {
  double value;
  int32_t seed;
  map_figures figures;
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
  int64_t first = 0;
  bool exists = false;
  if (o.resume) {
    bool has_after = false;
    int64_t after = 0;
    if (!prepare_resume(o, exists, has_after, after, error)) return fail("search", 1, error);
    if (has_after) first = seeds.first_after(after);
  }

  // The best N are written at the end: a folder they cannot go to is found
  // out before the work, not after it.
  if (o.top > 0 && !o.output.empty()) {
    const size_t slash = o.output.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : o.output.substr(0, slash);
    if (::access(folder.c_str(), W_OK) != 0) return fail("search", 1, "cannot write '" + o.output + "': " + system_reason());
  }

  // Streamed records go straight to their file, so that a stopped search can
  // go on from it; --top writes its file whole at the end.
  std::FILE* out = stdout;
  const bool streaming = o.top == 0;
  if (streaming && !o.output.empty()) {
    out = std::fopen(o.output.c_str(), o.resume && exists ? "ab" : "wb");
    if (out == nullptr) return fail("search", 1, "cannot write '" + o.output + "': " + system_reason());
  }
  bool write_failed = false;
  auto put_line = [&](const std::string& line) {
    if (std::fputs(line.c_str(), out) < 0 || std::fputc('\n', out) == EOF) write_failed = true;
  };
  if (streaming && o.format == record_format::csv && !(o.resume && exists)) put_line(csv_header());
  // A progress file left by an earlier search must not move a later resume.
  if (streaming && !o.output.empty() && !o.resume) std::remove(progress_path(o).c_str());
  auto checkpoint = [&](int64_t done_items) {
    if (!streaming || o.output.empty() || done_items == 0) return;
    if (std::fflush(out) != 0) write_failed = true;
    std::ostringstream text;
    text << search_signature(o) << "\n" << seeds.seed(done_items - 1) << "\n";
    std::string ignored;
    write_output_file(progress_path(o), text.str(), ignored);
  };

  pipeline p;
  p.seeds = &seeds;
  p.next = first;
  p.taken = first;
  p.end = seeds.size();
  const int jobs = static_cast<int>(
      std::max<int64_t>(1, std::min<int64_t>(o.jobs > 0 ? o.jobs : processor_count(), p.end - first)));
  p.window.resize(static_cast<size_t>(jobs * window_per_job));

  sigset_t stop_signals, old_mask;
  sigemptyset(&stop_signals);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stop_signals, s);
  pthread_sigmask(SIG_BLOCK, &stop_signals, &old_mask);
  std::vector<std::thread> workers;
  for (int k = 0; k < jobs; ++k) workers.emplace_back(search_worker, std::ref(p));

  search_progress progress(p.end - first);
  std::vector<ranked> best;
  int64_t records = 0;
  int stop_signal = 0;
  auto last_checkpoint = std::chrono::steady_clock::now();
  const timespec no_wait{0, 0};
  const int64_t size = static_cast<int64_t>(p.window.size());
  while (true) {
    std::vector<result_slot> ready;
    {
      std::unique_lock lock(p.mutex);
      p.finished.wait_for(lock, std::chrono::milliseconds(100), [&] {
        return p.stop || p.taken == p.end || p.window[static_cast<size_t>(p.taken % size)].item == p.taken;
      });
      while (p.taken < p.end && p.window[static_cast<size_t>(p.taken % size)].item == p.taken) {
        ready.push_back(p.window[static_cast<size_t>(p.taken % size)]);
        ++p.taken;
      }
      if (!ready.empty()) p.claimable.notify_all();
    }
    for (const result_slot& r : ready) {
      if (!o.filter.passes(r.figures)) continue;
      ++records;
      if (!streaming) {
        best.push_back({figure_value(*o.by, r.figures), r.seed, r.figures});
        if (static_cast<int64_t>(best.size()) >= 2 * o.top + 1024) {
          auto better = [&](const ranked& a, const ranked& b) {
            if (a.value != b.value) return o.lowest_first ? a.value < b.value : a.value > b.value;
            return a.seed < b.seed;
          };
          std::nth_element(best.begin(), best.begin() + o.top, best.end(), better);
          best.resize(static_cast<size_t>(o.top));
        }
      } else {
        put_line(o.format == record_format::jsonl ? jsonl_record(r.seed, r.figures) : csv_record(r.seed, r.figures));
      }
    }
    int64_t taken;
    bool failed;
    {
      std::lock_guard lock(p.mutex);
      taken = p.taken;
      failed = p.failure != nullptr;
    }
    if (write_failed) break;
    const int got = sigtimedwait(&stop_signals, nullptr, &no_wait);
    if (got > 0) stop_signal = got;
    if (stop_signal != 0 || failed || taken == p.end) break;
    progress.update(taken - first, records, false);
    if (std::chrono::steady_clock::now() - last_checkpoint > std::chrono::seconds(2)) {
      checkpoint(taken);
      last_checkpoint = std::chrono::steady_clock::now();
    }
  }
  {
    std::lock_guard lock(p.mutex);
    p.stop = true;
    p.claimable.notify_all();
  }
  for (std::thread& t : workers) t.join();
  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
  const int64_t done = p.taken;

  if (p.failure) {
    checkpoint(done);
    progress.finish();
    try {
      std::rethrow_exception(p.failure);
    } catch (const std::bad_alloc&) {
      error = "out of memory making a map";
    } catch (const std::exception& e) {
      error = e.what();
    }
    if (out != stdout) std::fclose(out);
    return fail("search", 1, error + "; " + std::to_string(done) + " seeds done" +
                            (o.output.empty() || !streaming ? "" : ", run it again with --resume to go on"));
  }
  if (stop_signal != 0) {
    checkpoint(done);
    progress.finish();
    if (out != stdout) std::fclose(out);
    std::fprintf(stderr, "vxltool: search: stopped by signal %d; %lld of %lld seeds done%s\n", stop_signal,
                 static_cast<long long>(done), static_cast<long long>(p.end),
                 o.output.empty() || !streaming ? "" : ", run it again with --resume to go on");
    return 128 + stop_signal;
  }
  if (write_failed || std::fflush(out) != 0 || (out != stdout && std::fclose(out) != 0)) {
    const std::string where = o.output.empty() ? "standard output" : "'" + o.output + "'";
    return fail("search", 1, "cannot write " + where + ": " + system_reason());
  }
  progress.update(done - first, records, true);

  if (!streaming) {
    std::sort(best.begin(), best.end(), [&](const ranked& a, const ranked& b) {
      if (a.value != b.value) return o.lowest_first ? a.value < b.value : a.value > b.value;
      return a.seed < b.seed;
    });
    if (static_cast<int64_t>(best.size()) > o.top) best.resize(static_cast<size_t>(o.top));
    std::string text;
    if (o.format == record_format::csv) text += csv_header() + "\n";
    for (const ranked& r : best)
      text += (o.format == record_format::jsonl ? jsonl_record(r.seed, r.figures) : csv_record(r.seed, r.figures)) + "\n";
    if (o.output.empty()) {
      if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0)
        return fail("search", 1, "cannot write standard output: " + system_reason());
    } else if (!write_output_file(o.output, text, error)) {
      return fail("search", 1, error);
    }
  } else if (!o.output.empty()) {
    std::remove(progress_path(o).c_str());
  }
  return 0;
}

}  // namespace vormap

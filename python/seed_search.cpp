#include "python/seed_search.h"

#include <algorithm>
#include <utility>

#include <vormap/vormap.h>

namespace vormap {

namespace {

// Results kept waiting for an earlier seed, per worker, so that records go
// out in seed order while every worker stays busy.
constexpr int64_t window_per_job = 8;

// One thread per map: whole maps side by side keep the processors busier
// than each map shared out.
map_figures figures_of_seed(int32_t seed) {
  map_options options;
  options.seed = seed;
  options.threads = 1;
  const map m = generate(options);
  return figures_of_grids(m.solid_voxels(), m.voxel_colors());
}

}  // namespace

seed_search::seed_search(std::vector<seed_range> ranges, figure_filter filter, int jobs)
    : ranges_(std::move(ranges)), filter_(std::move(filter)) {
  for (const seed_range& r : ranges_) {
    starts_.push_back(total_);
    total_ += r.last - r.first + 1;
  }
  const int threads = static_cast<int>(std::max<int64_t>(1, std::min<int64_t>(jobs, total_)));
  window_.resize(static_cast<size_t>(threads * window_per_job));
  workers_.reserve(static_cast<size_t>(threads));
  for (int k = 0; k < threads; ++k) workers_.emplace_back(&seed_search::work, this);
}

seed_search::~seed_search() { stop(); }

void seed_search::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  claimable_.notify_all();
  for (std::thread& t : workers_)
    if (t.joinable()) t.join();
}

int32_t seed_search::seed_of(int64_t item) const {
  const auto r = static_cast<size_t>(std::upper_bound(starts_.begin(), starts_.end(), item) - starts_.begin()) - 1;
  return static_cast<int32_t>(ranges_[r].first + (item - starts_[r]));
}

void seed_search::work() {
  const auto size = static_cast<int64_t>(window_.size());
  for (;;) {
    int64_t item;
    {
      std::unique_lock lock(mutex_);
      claimable_.wait(lock, [&] { return stopping_ || next_ >= total_ || next_ < taken_ + size; });
      if (stopping_ || next_ >= total_) return;
      item = next_++;
    }
    slot s;
    s.item = item;
    s.result.seed = seed_of(item);
    try {
      s.result.figures = figures_of_seed(s.result.seed);
      s.passed = filter_.passes(s.result.figures);
    } catch (...) {
      std::lock_guard lock(mutex_);
      if (!failure_) failure_ = std::current_exception();
      stopping_ = true;
      finished_.notify_all();
      claimable_.notify_all();
      return;
    }
    std::lock_guard lock(mutex_);
    window_[static_cast<size_t>(item % size)] = std::move(s);
    if (item == taken_) finished_.notify_one();
  }
}

seed_search::step seed_search::next(search_result& out, std::chrono::milliseconds wait) {
  const auto size = static_cast<int64_t>(window_.size());
  const auto deadline = std::chrono::steady_clock::now() + wait;
  std::unique_lock lock(mutex_);
  for (;;) {
    if (failure_) std::rethrow_exception(failure_);
    if (taken_ == total_) return step::done;
    slot& s = window_[static_cast<size_t>(taken_ % size)];
    if (s.item == taken_) {
      ++taken_;
      claimable_.notify_all();
      if (s.passed) {
        out = std::move(s.result);
        return step::record;
      }
      continue;
    }
    if (stopping_ && !failure_) return step::done;
    if (finished_.wait_until(lock, deadline) == std::cv_status::timeout) {
      if (failure_) std::rethrow_exception(failure_);
      if (window_[static_cast<size_t>(taken_ % size)].item != taken_) return step::waiting;
    }
  }
}

}  // namespace vormap

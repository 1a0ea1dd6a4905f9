// The search behind vormap.search: the maps of many seeds made on worker
// threads, their figures filtered, the passing ones handed out in seed
// order. The caller polls with a timeout, so it can answer signals between
// polls; destroying the search stops the work.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "maptools/map_figures.h"
#include "programs/vxltool/figure_filter.h"
#include "programs/vxltool/seed_list.h"

namespace vormap {

struct search_result {
  int32_t seed = 0;
  map_figures figures;
};

class seed_search {
 public:
  // The seeds of `ranges` (increasing, each seed once) on `jobs` threads
  // (at least 1), keeping those `filter` passes.
  seed_search(std::vector<seed_range> ranges, figure_filter filter, int jobs);
  ~seed_search();
  seed_search(const seed_search&) = delete;
  seed_search& operator=(const seed_search&) = delete;

  enum class step { record, done, waiting };
  // The next passing record into `out`, `done` after the last seed, or
  // `waiting` when `wait` went by first. Rethrows what a worker threw
  // (std::bad_alloc when a map's memory could not be had).
  step next(search_result& out, std::chrono::milliseconds wait);
  // Stops the workers and waits for them (each finishes its map).
  void stop();

  int64_t seed_count() const { return total_; }

 private:
  struct slot {
    int64_t item = -1;
    bool passed = false;
    search_result result;
  };
  void work();
  int32_t seed_of(int64_t item) const;

  std::vector<seed_range> ranges_;
  std::vector<int64_t> starts_;  // index of each range's first seed
  int64_t total_ = 0;
  figure_filter filter_;
  std::mutex mutex_;
  std::condition_variable claimable_, finished_;
  int64_t next_ = 0;   // the next item to claim
  int64_t taken_ = 0;  // items handed out (or skipped) in order
  std::vector<slot> window_;
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::vector<std::thread> workers_;
};

}  // namespace vormap

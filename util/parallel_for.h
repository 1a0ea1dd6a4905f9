// Runs independent pieces of work on several threads, deterministically: the
// split of a range depends only on the range and the thread count, and each
// piece writes only its own cells, so results never depend on scheduling.
#pragma once

#include <cstdint>
#include <functional>

namespace vormap {

// The number of threads parallel_for uses: the environment variable
// VORMAP_THREADS when it holds a whole number from 1 to 256, otherwise the
// number of processors (at least 1). Read once, at the first call, unless
// set_thread_count has been called.
int thread_count();

// Overrides thread_count() for the rest of the process (n < 1 means 1).
void set_thread_count(int n);

// Calls fn(lo, hi) on consecutive blocks that together cover [begin, end)
// exactly once, at most `threads` blocks (fewer than 1 means 1), none smaller than min_block
// items (except when the whole range is), the first on the calling thread.
// Returns when every block is done. When blocks throw, the first exception
// is rethrown on the calling thread after every block has returned. Where a
// thread cannot be started, its block runs on the calling thread instead.
void parallel_for(int threads, int64_t begin, int64_t end,
                  const std::function<void(int64_t, int64_t)>& fn, int64_t min_block = 1);

// The same on thread_count() threads.
void parallel_for(int64_t begin, int64_t end, const std::function<void(int64_t, int64_t)>& fn,
                  int64_t min_block = 1);

}  // namespace vormap

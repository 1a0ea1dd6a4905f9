#include "util/parallel_for.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace vormap {
namespace {

std::atomic<int> chosen_threads{0};

int threads_from_environment() {
  const char* text = std::getenv("VORMAP_THREADS");
  if (text != nullptr && *text != '\0' && std::strlen(text) <= 3) {
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (*end == '\0' && n >= 1 && n <= 256) return static_cast<int>(n);
  }
  const unsigned processors = std::thread::hardware_concurrency();
  return processors == 0 ? 1 : static_cast<int>(std::min(processors, 256u));
}

}  // namespace

int thread_count() {
  int n = chosen_threads.load(std::memory_order_relaxed);
  if (n == 0) {
    n = threads_from_environment();
    chosen_threads.store(n, std::memory_order_relaxed);
  }
  return n;
}

void set_thread_count(int n) { chosen_threads.store(std::max(n, 1), std::memory_order_relaxed); }

void parallel_for(int64_t begin, int64_t end, const std::function<void(int64_t, int64_t)>& fn,
                  int64_t min_block) {
  parallel_for(thread_count(), begin, end, fn, min_block);
}

void parallel_for(int threads, int64_t begin, int64_t end,
                  const std::function<void(int64_t, int64_t)>& fn, int64_t min_block) {
  if (end <= begin) return;
  const int64_t items = end - begin;
  const int64_t by_size = std::max<int64_t>(1, items / std::max<int64_t>(min_block, 1));
  const int64_t blocks = std::min<int64_t>(std::max(threads, 1), by_size);
  if (blocks <= 1) {
    fn(begin, end);
    return;
  }
  auto block_start = [&](int64_t b) { return begin + items * b / blocks; };
  // A block that throws (bad_alloc, most likely) must not end the process
  // from a worker thread: the first exception is kept and thrown here once
  // every block has returned.
  std::mutex failure_mutex;
  std::exception_ptr failure;
  auto run_block = [&](int64_t b) {
    try {
      fn(block_start(b), block_start(b + 1));
    } catch (...) {
      std::lock_guard lock(failure_mutex);
      if (!failure) failure = std::current_exception();
    }
  };
  {
    std::vector<std::jthread> workers;
    std::vector<int64_t> unstarted;
    try {
      workers.reserve(static_cast<size_t>(blocks - 1));
      unstarted.reserve(static_cast<size_t>(blocks - 1));
    } catch (const std::bad_alloc&) {
      // No room for the thread list: every block on this thread.
      for (int64_t b = 0; b < blocks; ++b) run_block(b);
      if (failure) std::rethrow_exception(failure);
      return;
    }
    for (int64_t b = 1; b < blocks; ++b) {
      try {
        workers.emplace_back([&run_block, b] { run_block(b); });
      } catch (...) {
        // No thread (or no memory for one): the block runs here instead.
        unstarted.push_back(b);
      }
    }
    run_block(0);
    for (int64_t b : unstarted) run_block(b);
    // The jthreads join as `workers` goes out of scope.
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace vormap

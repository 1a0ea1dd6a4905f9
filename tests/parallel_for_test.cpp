#include "util/parallel_for.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <atomic>
#include <mutex>
#include <new>
#include <stdexcept>
#include <set>
#include <utility>
#include <vector>

namespace vormap {
namespace {

// Every item is visited exactly once, in blocks that tile the range in order,
// for thread counts below, at and above the item count.
TEST(ParallelFor, CoversEachItemOnceInContiguousBlocks) {
  struct Case {
    int threads;
    int64_t begin, end, min_block;
  };
  const Case cases[] = {{1, 0, 10, 1}, {2, 0, 10, 1}, {3, -5, 6, 1},  {8, 0, 3, 1},
                        {4, 0, 512, 64}, {4, 0, 100, 60}, {2, 7, 7, 1}, {5, 0, 1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "threads " << c.threads << " range [" << c.begin << ", "
                                    << c.end << ") min_block " << c.min_block);
    std::mutex m;
    std::vector<std::pair<int64_t, int64_t>> blocks;
    std::vector<int> seen(static_cast<size_t>(c.end - c.begin), 0);
    parallel_for(c.threads, c.begin, c.end, [&](int64_t lo, int64_t hi) {
      for (int64_t i = lo; i < hi; ++i) ++seen[static_cast<size_t>(i - c.begin)];
      std::lock_guard<std::mutex> lock(m);
      blocks.emplace_back(lo, hi);
    }, c.min_block);
    for (int n : seen) EXPECT_EQ(n, 1);
    std::set<std::pair<int64_t, int64_t>> sorted(blocks.begin(), blocks.end());
    int64_t next = c.begin;
    for (auto [lo, hi] : sorted) {
      EXPECT_EQ(lo, next);
      EXPECT_LT(lo, hi);
      if (c.end - c.begin >= c.min_block) {
        EXPECT_GE(hi - lo, c.min_block);
      }
      next = hi;
    }
    if (c.end > c.begin) {
      EXPECT_EQ(next, c.end);
    }
    EXPECT_LE(static_cast<int>(blocks.size()), c.threads);
  }
}

// Without a count, the process-wide thread_count() applies.
// A block that throws, on the calling thread or on a worker, reaches the
// caller once every block has returned; the other blocks still run.
TEST(ParallelFor, ABlockThatThrowsReachesTheCaller) {
  for (int64_t throwing_block : {0, 1, 3}) {
    SCOPED_TRACE(testing::Message() << "block " << throwing_block << " throws");
    std::atomic<int> ran{0};
    EXPECT_THROW(parallel_for(4, 0, 4,
                              [&](int64_t lo, int64_t) {
                                ++ran;
                                if (lo == throwing_block) throw std::bad_alloc();
                              }),
                 std::bad_alloc);
    EXPECT_EQ(ran.load(), 4);
  }
}

TEST(ParallelFor, DefaultsToTheProcessThreadCount) {
  set_thread_count(3);
  std::mutex m;
  int blocks = 0;
  parallel_for(0, 30, [&](int64_t, int64_t) {
    std::lock_guard<std::mutex> lock(m);
    ++blocks;
  });
  EXPECT_EQ(blocks, 3);
}

}  // namespace
}  // namespace vormap

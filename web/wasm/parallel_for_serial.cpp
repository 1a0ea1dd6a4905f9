// parallel_for for a build without threads: the blocks run in order on the
// calling thread, split as the threaded version would split them for one
// thread, so results are the same.
#include "util/parallel_for.h"

#include <algorithm>

namespace vormap {

int thread_count() { return 1; }

void set_thread_count(int) {}

void parallel_for(int /*threads*/, int64_t begin, int64_t end, const std::function<void(int64_t, int64_t)>& fn,
                  int64_t /*min_block*/) {
  if (begin < end) fn(begin, end);
}

void parallel_for(int64_t begin, int64_t end, const std::function<void(int64_t, int64_t)>& fn, int64_t min_block) {
  parallel_for(1, begin, end, fn, min_block);
}

}  // namespace vormap

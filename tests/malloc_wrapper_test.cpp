#include "util/malloc_wrapper.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "util/fatal_error.h"

namespace vormap {
namespace {

using ::testing::ExitedWithCode;
using ::testing::StrEq;

// Every death test re-runs its test in a fresh process, so the wrapper's
// process-wide table starts empty there.
struct ThreadsafeDeathTests : ::testing::Environment {
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};
const auto* const death_style = ::testing::AddGlobalTestEnvironment(new ThreadsafeDeathTests);

// Distinct fake block addresses; the wrapper never dereferences them. Each
// test draws from its own range, the same in a death test's fresh process as
// in the parent, so expected messages can name them and tests run in one
// process do not share blocks.
uintptr_t next_fake = 0;
const void* fake_block() {
  if (next_fake == 0) {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    next_fake = (uintptr_t{1} + std::hash<std::string>{}(name) % 4000) << 28;
  }
  next_fake += 64;
  return reinterpret_cast<const void*>(next_fake);
}
class MallocWrapper : public ::testing::Test {
 protected:
  void SetUp() override { next_fake = 0; }
};

std::string pointer_text(const void* p) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", p);
  return text;
}

std::string fatal(const std::string& message) { return "Fatal error: " + message + "\n"; }

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(MallocWrapper, FirstBlockCreates64SlotsAndThe49thGrowsTo128) {
  auto report = [] {
    for (int k = 0; k < 48; ++k) wrapper_on_malloc(fake_block(), 8, "a.c", k);
    std::fprintf(stderr, "%zu %zu\n", wrapper_stats().capacity, wrapper_stats().live);
    wrapper_on_malloc(fake_block(), 8, "a.c", 48);
    std::fprintf(stderr, "%zu %zu\n", wrapper_stats().capacity, wrapper_stats().live);
    std::exit(0);
  };
  EXPECT_EXIT(report(), ExitedWithCode(0), StrEq("64 48\n128 49\n"));
}

TEST_F(MallocWrapper, FreedAndReallocatedBlocksReportTheirLastLocation) {
  const void* a = fake_block();
  wrapper_on_malloc(a, 24, "alloc.c", 5);
  EXPECT_EQ(wrapper_block_size(a), 24u);
  wrapper_on_free(a, "first.c", 11);
  EXPECT_EQ(wrapper_block_size(a), 0u);
  const std::string at = pointer_text(a);
  EXPECT_EXIT(wrapper_on_free(a, "second.c", 22), ExitedWithCode(1),
              StrEq(fatal("Attempted to free 24-byte block " + at +
                          " at second.c:22 previously freed/realloced at first.c:11")));
  EXPECT_EXIT(wrapper_on_realloc(a, fake_block(), 40, "grow.c", 33), ExitedWithCode(1),
              StrEq(fatal("Attempted to realloc 24-byte block " + at +
                          " at grow.c:33 previously freed/realloced at first.c:11")));
  EXPECT_EXIT(wrapper_check(a), ExitedWithCode(1),
              StrEq(fatal("Checked 24-byte block " + at + " previously freed/realloced at first.c:11")));
}

TEST_F(MallocWrapper, UnknownBlocksAreFatal) {
  const void* u = fake_block();
  const std::string at = pointer_text(u);
  EXPECT_EXIT(wrapper_on_free(u, "f.c", 1), ExitedWithCode(1),
              StrEq(fatal("Attempted to free unknown block " + at + " at f.c:1")));
  EXPECT_EXIT(wrapper_on_realloc(u, fake_block(), 3, "r.c", 2), ExitedWithCode(1),
              StrEq(fatal("Attempted to realloc unknown block " + at + " at r.c:2")));
  EXPECT_EXIT(wrapper_check(u), ExitedWithCode(1), StrEq(fatal("Checked unknown block " + at)));
  EXPECT_EXIT((set_error_location("where.c", 77), wrapper_check(u)), ExitedWithCode(1),
              StrEq("[where.c:77] " + fatal("Checked unknown block " + at)));
  // The address 1 marks deleted slots inside the table; checking it is still
  // a check of an unknown block, not a failed hash search.
  wrapper_on_malloc(u, 8, "m.c", 1);
  wrapper_on_free(u, "f.c", 2);
  const void* one = reinterpret_cast<const void*>(uintptr_t{1});
  EXPECT_EXIT(wrapper_check(one), ExitedWithCode(1), StrEq(fatal("Checked unknown block " + pointer_text(one))));
}

TEST_F(MallocWrapper, NullAndLiveAddressesPassQuietly) {
  const void* a = fake_block();
  wrapper_on_malloc(nullptr, 5, "n.c", 1);
  wrapper_on_free(nullptr, "n.c", 2);
  wrapper_check(nullptr);
  wrapper_on_malloc(a, 5, "n.c", 3);
  wrapper_check(a);
  // A failed reallocation (null new address) leaves the old block recorded.
  wrapper_on_realloc(a, nullptr, 500, "n.c", 4);
  EXPECT_EQ(wrapper_block_size(a), 5u);
  // A null old address records the new block like an allocation.
  const void* b = fake_block();
  wrapper_on_realloc(nullptr, b, 6, "n.c", 5);
  EXPECT_EQ(wrapper_block_size(b), 6u);
  wrapper_on_free(a, "n.c", 6);
  wrapper_on_free(b, "n.c", 7);
}

TEST_F(MallocWrapper, RingForgetsABlockAfterFiftyFurtherFrees) {
  const void* a = fake_block();
  wrapper_on_malloc(a, 24, "alloc.c", 5);
  wrapper_on_free(a, "first.c", 11);
  auto free_others = [](int n) {
    for (int k = 0; k < n; ++k) {
      const void* b = fake_block();
      wrapper_on_malloc(b, 1, "o.c", k);
      wrapper_on_free(b, "o.c", k);
    }
  };
  const std::string at = pointer_text(a);
  free_others(49);
  EXPECT_EXIT(wrapper_on_free(a, "second.c", 22), ExitedWithCode(1),
              StrEq(fatal("Attempted to free 24-byte block " + at +
                          " at second.c:22 previously freed/realloced at first.c:11")));
  free_others(1);
  EXPECT_EXIT(wrapper_on_free(a, "second.c", 22), ExitedWithCode(1),
              StrEq(fatal("Attempted to free unknown block " + at + " at second.c:22")));
}

TEST_F(MallocWrapper, ReallocInPlaceKeepsOneRecordAndLeavesTheRingAlone) {
  const void* a = fake_block();
  wrapper_on_malloc(a, 10, "alloc.c", 1);
  wrapper_on_realloc(a, a, 99, "grow.c", 7);
  EXPECT_EQ(wrapper_block_size(a), 99u);
  EXPECT_EQ(wrapper_stats().live, wrapper_stats().live);
  wrapper_on_free(a, "free.c", 8);
  EXPECT_EQ(wrapper_block_size(a), 0u);  // no second record was left behind
  EXPECT_EXIT(wrapper_on_free(a, "again.c", 9), ExitedWithCode(1),
              StrEq(fatal("Attempted to free 99-byte block " + pointer_text(a) +
                          " at again.c:9 previously freed/realloced at free.c:8")));
}

TEST_F(MallocWrapper, ReallocThatMovesRecordsTheOldBlockAsReallocated) {
  const void* a = fake_block();
  const void* b = fake_block();
  wrapper_on_malloc(a, 10, "alloc.c", 1);
  wrapper_on_realloc(a, b, 50, "move.c", 3);
  EXPECT_EQ(wrapper_block_size(a), 0u);
  EXPECT_EQ(wrapper_block_size(b), 50u);
  EXPECT_EXIT(wrapper_on_free(a, "late.c", 4), ExitedWithCode(1),
              StrEq(fatal("Attempted to free 10-byte block " + pointer_text(a) +
                          " at late.c:4 previously freed/realloced at move.c:3")));
  wrapper_on_free(b, "free.c", 5);
}

TEST_F(MallocWrapper, SameAddressAddedTwiceHasTwoRecords) {
  const void* a = fake_block();
  wrapper_on_malloc(a, 1, "x.c", 1);
  wrapper_on_malloc(a, 2, "x.c", 2);
  wrapper_on_free(a, "x.c", 3);
  wrapper_check(a);
  wrapper_on_free(a, "x.c", 4);
  EXPECT_EQ(wrapper_block_size(a), 0u);
}

// Without reclaiming deleted slots, churn at a constant live count would fill
// the table with them and a lookup of an absent address would never end.
TEST_F(MallocWrapper, LongAllocFreeChurnAlwaysLeavesAnEmptySlot) {
  std::vector<const void*> live;
  for (int k = 0; k < 40; ++k) {
    live.push_back(fake_block());
    wrapper_on_malloc(live.back(), 1, "c.c", k);
  }
  const size_t capacity = wrapper_stats().capacity;
  for (int k = 0; k < 20000; ++k) {
    wrapper_on_free(live[k % 40], "c.c", k);
    live[k % 40] = fake_block();
    wrapper_on_malloc(live[k % 40], 1, "c.c", k);
    wrapper_table_stats s = wrapper_stats();
    ASSERT_LT(s.live + s.deleted, s.capacity) << "after " << k;
  }
  EXPECT_EQ(wrapper_stats().capacity, capacity);
  EXPECT_EQ(wrapper_block_size(fake_block()), 0u);
  for (const void* p : live) EXPECT_EQ(wrapper_block_size(p), 1u);
  for (const void* p : live) wrapper_on_free(p, "c.c", 0);
}

// Addresses whose start slots in a 64-slot table are all different, so each
// lands in its start slot.
std::vector<const void*> blocks_with_distinct_start_slots(int n) {
  std::vector<const void*> found;
  std::vector<bool> taken(64);
  for (uintptr_t a = 0x700000; static_cast<int>(found.size()) < n; a += 16) {
    uint32_t slot = hash_address(a) & 63;
    if (taken[slot]) continue;
    taken[slot] = true;
    found.push_back(reinterpret_cast<const void*>(a));
  }
  return found;
}

TEST_F(MallocWrapper, DumpListsLiveBlocksInSlotOrder) {
  const std::string path = ::testing::TempDir() + "wrapper_dump.txt";
  std::remove(path.c_str());
  const std::vector<const void*> blocks = blocks_with_distinct_start_slots(6);
  auto dump = [&] {
    wrapper_dump(path.c_str());  // empty table: an empty file
    if (!read_file(path).empty()) std::exit(2);
    for (size_t k = 0; k < blocks.size(); ++k) wrapper_on_malloc(blocks[k], 1000 * k + 7, "src/file.c", int(k + 1));
    wrapper_on_free(blocks[2], "src/file.c", 99);
    wrapper_dump(path.c_str());
    wrapper_dump("/nonexistent-dir/x/dump.txt");  // cannot open: nothing happens
    std::exit(0);
  };
  EXPECT_EXIT(dump(), ExitedWithCode(0), StrEq(""));

  std::vector<size_t> order = {0, 1, 3, 4, 5};
  std::sort(order.begin(), order.end(),
            [&](size_t x, size_t y) {
              return (hash_address(reinterpret_cast<uintptr_t>(blocks[x])) & 63) <
                     (hash_address(reinterpret_cast<uintptr_t>(blocks[y])) & 63);
            });
  ASSERT_NE(order, (std::vector<size_t>{0, 1, 3, 4, 5})) << "pick addresses whose hash order differs";
  std::string expected;
  for (size_t k : order) {
    char line[128];
    std::snprintf(line, sizeof line, "%p %7zu - %4d %s\n", blocks[k], 1000 * k + 7, int(k + 1), "src/file.c");
    expected += line;
  }
  EXPECT_EQ(read_file(path), expected);
  std::remove(path.c_str());
}

std::vector<std::string> visited;
void record_visit(const void* address, size_t size, const char* file, int line) {
  visited.push_back(pointer_text(address) + " " + std::to_string(size) + " " + file + ":" + std::to_string(line));
}

TEST_F(MallocWrapper, ForEachVisitsEveryLiveBlockOnce) {
  const void* a = fake_block();
  const void* b = fake_block();
  auto walk = [&] {
    wrapper_on_malloc(a, 3, "w.c", 1);
    wrapper_on_malloc(b, 4, "w.c", 2);
    wrapper_on_realloc(a, a, 5, "w.c", 3);
    wrapper_for_each(record_visit);
    std::sort(visited.begin(), visited.end());
    for (const std::string& v : visited) std::fprintf(stderr, "%s\n", v.c_str());
    std::exit(0);
  };
  std::vector<std::string> expected = {pointer_text(a) + " 5 w.c:3", pointer_text(b) + " 4 w.c:2"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EXIT(walk(), ExitedWithCode(0), StrEq(expected[0] + "\n" + expected[1] + "\n"));
}

TEST_F(MallocWrapper, MacrosRecordTheCallSite) {
  char* p = static_cast<char*>(VORMAP_MALLOC(16));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(wrapper_block_size(p), 16u);
  p = static_cast<char*>(VORMAP_REALLOC(p, 4000));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(wrapper_block_size(p), 4000u);
  int* zeros = static_cast<int*>(VORMAP_CALLOC(4, sizeof(int)));
  ASSERT_NE(zeros, nullptr);
  EXPECT_EQ(zeros[3], 0);
  EXPECT_EQ(wrapper_block_size(zeros), 4 * sizeof(int));
  VORMAP_FREE(zeros);
  const int free_line = __LINE__ + 1;
  VORMAP_FREE(p);
  const std::string where = std::string(__FILE__) + ":";
  const int double_free_line = __LINE__ + 2;
  // Heap addresses differ in the death test's fresh process: match around it.
  EXPECT_EXIT(VORMAP_FREE(p), ExitedWithCode(1), ::testing::AllOf(
      ::testing::StartsWith("Fatal error: Attempted to free 4000-byte block 0x"),
      ::testing::EndsWith(" at " + where + std::to_string(double_free_line) + " previously freed/realloced at " +
                          where + std::to_string(free_line) + "\n")));
  // The old block is checked before the C library sees it.
  EXPECT_EXIT(VORMAP_REALLOC(p, 8), ExitedWithCode(1), ::testing::HasSubstr("Attempted to realloc 4000-byte block"));
  void* q = VORMAP_MALLOC(8);
  EXPECT_EQ(VORMAP_REALLOC(q, 0), nullptr);  // size 0 frees
  EXPECT_EQ(wrapper_block_size(q), 0u);
}

}  // namespace
}  // namespace vormap

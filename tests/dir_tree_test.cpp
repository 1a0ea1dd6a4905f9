#include "util/dir_tree.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"
#include "util/config_store.h"
#include "util/growable_array.h"
#include "util/platform/files.h"

namespace vormap {
namespace {

using bytes = std::vector<uint8_t>;

// The tree as a set of lines, for comparisons that ignore order.
std::set<std::string> describe(const dir_tree* t) {
  std::set<std::string> out;
  for (int32_t i = 0; i < array_count(t->dirs); ++i)
    out.insert("D " + std::string(t->dirs[i].path) + " @" + std::to_string(t->dirs[i].last_write_time));
  for (int32_t i = 0; i < array_count(t->files); ++i) {
    const dir_tree_file& f = t->files[i];
    out.insert("F " + std::string(t->dirs[f.dir_index].path) + " | " + f.name + " " + std::to_string(f.size) + " @" +
               std::to_string(f.last_write_time));
  }
  return out;
}

bool has_file(const dir_tree* t, const std::string& name) {
  for (int32_t i = 0; i < array_count(t->files); ++i)
    if (name == t->files[i].name) return true;
  return false;
}

int32_t dir_index(const dir_tree* t, const std::string& path) {
  for (int32_t i = 0; i < array_count(t->dirs); ++i)
    if (path == t->dirs[i].path) return i;
  return -1;
}

// Every file's directory really holds it, and each directory's file_count
// matches the files pointing at it.
void expect_consistent(const dir_tree* t) {
  std::vector<int32_t> counts(static_cast<size_t>(array_count(t->dirs)));
  for (int32_t i = 0; i < array_count(t->files); ++i) {
    const dir_tree_file& f = t->files[i];
    ASSERT_GE(f.dir_index, 0);
    ASSERT_LT(f.dir_index, array_count(t->dirs));
    counts[static_cast<size_t>(f.dir_index)]++;
    const std::string path = std::string(t->dirs[f.dir_index].path) + "/" + f.name;
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(path))) << path;
  }
  for (int32_t i = 0; i < array_count(t->dirs); ++i) EXPECT_EQ(t->dirs[i].file_count, counts[static_cast<size_t>(i)]);
}

TEST(PrefixVarint, WorkedValuesAndEveryLengthBoundary) {
  const struct {
    uint64_t value;
    bytes encoded;
  } cases[] = {
      {0, {0x00}},
      {127, {0x7F}},
      {128, {0x80, 0x80}},
      {300, {0x81, 0x2C}},
      {16383, {0xBF, 0xFF}},
      {16384, {0xC0, 0x40, 0x00}},
      {(1u << 21) - 1, {0xDF, 0xFF, 0xFF}},
      {1u << 21, {0xE0, 0x20, 0x00, 0x00}},
      {(1u << 28) - 1, {0xEF, 0xFF, 0xFF, 0xFF}},
      {268435456, {0xF0, 0x10, 0x00, 0x00, 0x00}},
      {10000000000ull, {0xF2, 0x54, 0x0B, 0xE4, 0x00}},
      {(1ull << 35) - 1, {0xF7, 0xFF, 0xFF, 0xFF, 0xFF}},
      {1ull << 35, {0xF8, 0x08, 0, 0, 0, 0}},
      {1ull << 42, {0xFC, 0x04, 0, 0, 0, 0, 0}},
      {1ull << 49, {0xFE, 0x02, 0, 0, 0, 0, 0, 0}},
      {(1ull << 56) - 1, {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {1ull << 56, {0xFF, 0x01, 0, 0, 0, 0, 0, 0, 0}},
      {~0ull, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
  };
  for (const auto& c : cases) {
    uint8_t out[9];
    const size_t n = prefix_varint_encode(c.value, out);
    EXPECT_EQ(bytes(out, out + n), c.encoded) << c.value;
    uint64_t back = 12345;
    EXPECT_EQ(prefix_varint_decode(c.encoded.data(), c.encoded.size(), &back), c.encoded.size()) << c.value;
    EXPECT_EQ(back, c.value);
    // Cut short by one byte, the data does not decode.
    EXPECT_EQ(prefix_varint_decode(c.encoded.data(), c.encoded.size() - 1, &back), 0u) << c.value;
  }
}

TEST(StripTrailingSeparator, RootRules) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"", ""},           {"c:\\", "c:/"},   {"c:/", "c:/"},       {"D:/Data", "D:/Data"},
      {"d:/data/", "d:/data"}, {"a\\", "a"}, {"a//", "a/"},        {"/", ""},
      {"ab/", "ab"},      {"c:x/", "c:x"},   {"c:", "c:"},
  };
  for (const auto& c : cases) {
    std::string s = c.in;
    strip_trailing_separator(s.data());
    EXPECT_STREQ(s.c_str(), c.out) << '"' << c.in << '"';
  }
}

TEST(CacheFileName, HashesTheLowerCasedRootBeforeStripping) {
  auto name = [](const char* root, const char* dir) {
    char out[256];
    EXPECT_GT(dir_tree_cache_file_name(root, dir, out, sizeof out), 0);
    return std::string(out);
  };
  EXPECT_EQ(name("abc", "cache"), "cache/dirtree_a9993e364706816a.bin");
  EXPECT_EQ(name("ABC", "cache"), "cache/dirtree_a9993e364706816a.bin");
  EXPECT_EQ(name("abc", "cache/"), "cache/dirtree_a9993e364706816a.bin");
  EXPECT_EQ(name("abc", "c:\\vor\\"), "c:\\vor\\dirtree_a9993e364706816a.bin");
  EXPECT_EQ(name("D:/Data", "x"), name("d:/data", "x"));
  EXPECT_NE(name("d:/data/", "x"), name("d:/data", "x"));
  // A short buffer gets a cut, terminated name; the full length is returned.
  char small[8];
  EXPECT_EQ(dir_tree_cache_file_name("abc", "cache", small, sizeof small), 34);
  EXPECT_STREQ(small, "cache/d");
}

// The format, pinned byte by byte on a tree built by hand.
TEST(DirTreeCacheFormat, SavedBytesAndRoundTrip) {
  scratch_dir tmp;
  dir_tree t;
  dir_tree_add_dir(&t, "r/a", 0x01020304);
  dir_tree_add_dir(&t, "r/b", -2);
  dir_tree_add_file(&t, "f", 1, 300, 7);
  dir_tree_add_file(&t, "big", 0, 5000000000ll, 8);
  EXPECT_EQ(t.dirs[0].file_count, 1);
  EXPECT_EQ(t.dirs[1].file_count, 1);
  const std::string file = tmp / "c.bin";
  ASSERT_EQ(dir_tree_save_cache(&t, file.c_str()), 1);
  const bytes expected = {
      'v', 'O', 'r', 'D', 'i', 'R', 't', 'R', 'e', 'E', '0', '2',  // magic
      0,                                                           // empty root
      2, 0, 0, 0,                                                  // N
      4, 3, 2, 1, 3, 'r', '/', 'a',                                // time, counted path
      0xFE, 0xFF, 0xFF, 0xFF, 3, 'r', '/', 'b',                    //
      2, 0, 0, 0,                                                  // M
      1, 0x82, 0x58, 7, 0, 0, 0, 1, 'f',                           // dir 1, 2*300, time, name
      0, 0xF2, 0x54, 0x0B, 0xE4, 0x00, 8, 0, 0, 0, 3, 'b', 'i', 'g',
  };
  EXPECT_EQ(read_bytes(file), expected);

  dir_tree back;
  ASSERT_EQ(dir_tree_load_cache(&back, file.c_str(), ""), 1);
  EXPECT_EQ(describe(&back), describe(&t));
  EXPECT_EQ(back.files[1].size, 5000000000ll);
  EXPECT_EQ(dir_tree_load_cache(&back, file.c_str(), "r"), 0);  // another root
  EXPECT_EQ(array_count(back.dirs), 0);
  dir_tree_free_contents(&t);
  dir_tree_free_contents(&back);
}

TEST(DirTreeCacheFormat, DirectoryIndexWidthFollowsTheDirectoryCount) {
  scratch_dir tmp;
  for (const int32_t n_dirs : {256, 257, 65536, 65537}) {
    dir_tree t;
    for (int32_t i = 0; i < n_dirs; ++i) dir_tree_add_dir(&t, "d", i);
    dir_tree_add_file(&t, "f", n_dirs - 1, 1, 0);
    const std::string file = tmp / "w.bin";
    ASSERT_EQ(dir_tree_save_cache(&t, file.c_str()), 1);
    const bytes image = read_bytes(file);
    const size_t at = 12 + 1 + 4 + static_cast<size_t>(n_dirs) * 6 + 4;  // first file record
    const size_t width = n_dirs <= 256 ? 1 : n_dirs <= 65536 ? 2 : 3;
    ASSERT_EQ(image.size(), at + width + 1 + 4 + 2) << n_dirs;
    uint32_t index = 0;
    for (size_t k = 0; k < width; ++k) index = index << 8 | image[at + k];  // big-endian
    EXPECT_EQ(index, static_cast<uint32_t>(n_dirs - 1));
    dir_tree back;
    ASSERT_EQ(dir_tree_load_cache(&back, file.c_str(), ""), 1);
    EXPECT_EQ(back.files[0].dir_index, n_dirs - 1);
    dir_tree_free_contents(&t);
    dir_tree_free_contents(&back);
  }
}

TEST(DirTreeCacheFormat, StringsUpTo4096BytesOnly) {
  scratch_dir tmp;
  const std::string file = tmp / "s.bin";
  dir_tree t;
  dir_tree_add_dir(&t, "d", 0);
  dir_tree_add_file(&t, std::string(4096, 'n').c_str(), 0, 1, 0);
  ASSERT_EQ(dir_tree_save_cache(&t, file.c_str()), 1);
  dir_tree back;
  EXPECT_EQ(dir_tree_load_cache(&back, file.c_str(), ""), 1);
  EXPECT_EQ(std::strlen(back.files[0].name), 4096u);

  // A longer name would make the cache unreadable: it is not written, and
  // the previous cache stays.
  dir_tree_add_file(&t, std::string(4097, 'n').c_str(), 0, 1, 0);
  EXPECT_EQ(dir_tree_save_cache(&t, file.c_str()), 0);
  EXPECT_EQ(dir_tree_load_cache(&back, file.c_str(), ""), 1);
  EXPECT_EQ(array_count(back.files), 1);

  // A hand-made cache holding one is dropped whole.
  bytes image = read_bytes(file);
  const uint8_t long_name[] = {0x90, 0x01};  // 4097
  const size_t at = image.size() - 4096 - 2;  // the name's length field, 0x90 0x00
  ASSERT_EQ(image[at], 0x90);
  std::copy(long_name, long_name + 2, image.begin() + static_cast<long>(at));
  image.push_back('n');
  write_bytes(file, image);
  EXPECT_EQ(dir_tree_load_cache(&back, file.c_str(), ""), 0);
  EXPECT_EQ(array_count(back.dirs), 0);
  EXPECT_EQ(array_count(back.files), 0);
  dir_tree_free_contents(&t);
  dir_tree_free_contents(&back);
}

constexpr int64_t base_time = 1600000000;

// root/top.txt, root/a/a1.txt, root/a/deep/d.txt, root/b/.dotfile and a
// skipped folder root/b/.git; folder times base_time + 1, 2, 3.
class DirTreeOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    root = tmp / "root";
    cache = tmp / "cache.bin";
    make_dirs(root + "/a/deep");
    make_dirs(root + "/b/.git");
    write_text(root + "/top.txt", "top");
    write_text(root + "/a/a1.txt", "0123456789");
    write_text(root + "/a/deep/d.txt", "ddddd");
    write_text(root + "/b/.dotfile", "x");
    write_text(root + "/b/.git/HEAD", "ref");
    set_mtime(root + "/top.txt", base_time + 10);
    set_mtime(root + "/a/a1.txt", base_time + 11);
    set_mtime(root + "/a/deep/d.txt", base_time + 12);
    set_mtime(root + "/b/.dotfile", base_time + 13);
    set_mtime(root + "/a/deep", base_time + 2);
    set_mtime(root + "/a", base_time + 1);
    set_mtime(root + "/b", base_time + 3);
  }
  dir_tree* get() { return dir_tree_get_with_cache_file(root.c_str(), cache.c_str()); }

  scratch_dir tmp;
  std::string root, cache;
};

TEST_F(DirTreeOnDisk, FirstCallListsEverythingInPreOrderAndCachesAllButTheRoot) {
  dir_tree* t = get();
  expect_consistent(t);
  EXPECT_EQ(describe(t), (std::set<std::string>{
                             "D " + root + " @0",
                             "D " + root + "/a @1600000001",
                             "D " + root + "/a/deep @1600000002",
                             "D " + root + "/b @1600000003",
                             "F " + root + " | top.txt 3 @1600000010",
                             "F " + root + "/a | a1.txt 10 @1600000011",
                             "F " + root + "/a/deep | d.txt 5 @1600000012",
                             "F " + root + "/b | .dotfile 1 @1600000013",
                         }));
  // Depth-first pre-order: the root first, every folder right before its children.
  EXPECT_EQ(dir_index(t, root), 0);
  EXPECT_EQ(dir_index(t, root + "/a/deep"), dir_index(t, root + "/a") + 1);

  dir_tree cached;
  ASSERT_EQ(dir_tree_load_cache(&cached, cache.c_str(), root.c_str()), 1);
  std::set<std::string> want = describe(t);
  for (auto it = want.begin(); it != want.end();)
    it = (it->rfind("D " + root + " ", 0) == 0 || it->rfind("F " + root + " |", 0) == 0) ? want.erase(it) : ++it;
  EXPECT_EQ(describe(&cached), want);
  dir_tree_free_contents(&cached);
  dir_tree_free(t);
}

TEST_F(DirTreeOnDisk, FlatRootIsNotCached) {
  std::filesystem::remove_all(root + "/a");
  std::filesystem::remove_all(root + "/b");
  dir_tree* t = get();
  EXPECT_EQ(array_count(t->dirs), 1);
  EXPECT_EQ(t->dirs[0].last_write_time, 0);
  EXPECT_EQ(array_count(t->files), 1);
  EXPECT_FALSE(std::filesystem::exists(cache));
  dir_tree_free(t);
  // A damaged cache is replaced even though the scan found nothing to cache.
  bytes damaged = {'v', 'O', 'r', 'D', 'i', 'R', 't', 'R', 'e', 'E', '0', '2'};
  damaged.insert(damaged.end(), root.begin(), root.end());
  damaged.insert(damaged.end(), {0, 9, 0, 0, 0});
  write_bytes(cache, damaged);
  dir_tree_free(get());
  dir_tree loaded;
  EXPECT_EQ(dir_tree_load_cache(&loaded, cache.c_str(), root.c_str()), 1);
  EXPECT_EQ(array_count(loaded.dirs), 0);
  dir_tree_free_contents(&loaded);
}

TEST_F(DirTreeOnDisk, SecondCallUsesTheCacheWithoutEnumeratingOrSaving) {
  dir_tree* first = get();
  const ino_t saved = inode_of(cache);
  // Changes that only an enumeration would see: the folder's time is put back.
  write_text(root + "/a/sneaky", "s");
  write_text(root + "/a/a1.txt", "grown to a longer size");
  set_mtime(root + "/a", base_time + 1);
  dir_tree* second = get();
  EXPECT_FALSE(has_file(second, "sneaky"));
  EXPECT_EQ(describe(second), describe(first));  // the cached size of a1.txt stays
  EXPECT_EQ(inode_of(cache), saved);
  // Cached folders come first, then the root.
  EXPECT_EQ(dir_index(second, root), 3);
  expect_consistent(second);
  dir_tree_free(first);
  dir_tree_free(second);
}

TEST_F(DirTreeOnDisk, FolderTimeToleranceIsOneSecondOrExactlyOneHour) {
  const struct {
    int64_t shift;
    bool rescanned;
  } cases[] = {{1, false}, {-1, false}, {2, true}, {-2, true}, {3600, false}, {-3600, false}, {3599, true}, {3601, true}};
  for (const auto& c : cases) {
    std::filesystem::remove(cache);
    std::filesystem::remove(root + "/a/new");
    set_mtime(root + "/a", base_time + 1);
    dir_tree_free(get());
    const ino_t saved = inode_of(cache);
    write_text(root + "/a/new", "n");
    set_mtime(root + "/a", base_time + 1 + c.shift);
    dir_tree* t = get();
    EXPECT_EQ(has_file(t, "new"), c.rescanned) << c.shift;
    EXPECT_EQ(inode_of(cache) != saved, c.rescanned) << c.shift;
    // A rescanned folder is stored with its new time; an unchanged one keeps the cached time.
    EXPECT_EQ(t->dirs[dir_index(t, root + "/a")].last_write_time, base_time + 1 + (c.rescanned ? c.shift : 0));
    expect_consistent(t);
    dir_tree_free(t);
  }
}

TEST_F(DirTreeOnDisk, AddedFileIsFoundAndAddedFolderCached) {
  dir_tree_free(get());
  write_text(root + "/a/deep/new.txt", "new");
  make_dirs(root + "/b/sub");
  write_text(root + "/b/sub/s.txt", "s");
  dir_tree* t = get();
  EXPECT_TRUE(has_file(t, "new.txt"));
  EXPECT_TRUE(has_file(t, "s.txt"));
  expect_consistent(t);
  dir_tree cached;
  ASSERT_EQ(dir_tree_load_cache(&cached, cache.c_str(), root.c_str()), 1);
  EXPECT_TRUE(has_file(&cached, "new.txt"));
  EXPECT_TRUE(has_file(&cached, "s.txt"));
  // Nothing listed twice.
  EXPECT_EQ(array_count(t->dirs), 5);
  dir_tree_free_contents(&cached);
  dir_tree_free(t);
}

TEST_F(DirTreeOnDisk, RemovedOrReplacedFolderIsDroppedWithItsFiles) {
  dir_tree_free(get());
  std::filesystem::remove_all(root + "/a/deep");
  std::filesystem::remove_all(root + "/b");
  write_text(root + "/b", "now a file");
  dir_tree* t = get();
  EXPECT_EQ(dir_index(t, root + "/a/deep"), -1);
  EXPECT_EQ(dir_index(t, root + "/b"), -1);
  EXPECT_FALSE(has_file(t, "d.txt"));
  EXPECT_TRUE(has_file(t, "b"));
  expect_consistent(t);
  dir_tree cached;
  ASSERT_EQ(dir_tree_load_cache(&cached, cache.c_str(), root.c_str()), 1);
  EXPECT_EQ(array_count(cached.dirs), 1);
  dir_tree_free_contents(&cached);
  dir_tree_free(t);
}

TEST_F(DirTreeOnDisk, DamagedCacheMeansAFullScanAndAFreshCache) {
  dir_tree* good = get();
  const bytes image = read_bytes(cache);
  dir_tree probe;
  // Every truncation is refused without reading past the data.
  for (size_t n = 0; n < image.size(); ++n) {
    write_bytes(cache, bytes(image.begin(), image.begin() + static_cast<long>(n)));
    EXPECT_EQ(dir_tree_load_cache(&probe, cache.c_str(), root.c_str()), 0) << n;
    EXPECT_EQ(array_count(probe.dirs) + array_count(probe.files), 0) << n;
  }
  // Offsets in this small cache: the folder count, then three records of a
  // time and a one-byte length, then the file count and the first file's
  // one-byte folder index.
  const size_t n_at = 12 + root.size() + 1;
  size_t at = n_at + 4;
  for (int k = 0; k < 3; ++k) at += 4 + 1 + image[at + 4];
  const size_t index_at = at + 4;
  auto with = [&](size_t where, std::vector<uint8_t> patch) {
    bytes b = image;
    std::copy(patch.begin(), patch.end(), b.begin() + static_cast<long>(where));
    return b;
  };
  const std::vector<bytes> damaged = {
      with(n_at, {0xFF, 0xFF, 0xFF, 0x7F}),  // far too many folders
      with(n_at, {0x00, 0x00, 0x00, 0x80}),  // a count above 2^31
      with(n_at, {2, 0, 0, 0}),              // one folder fewer: the rest no longer fits
      with(at, {0xFF, 0xFF, 0xFF, 0x0F}),    // far too many files
      with(index_at, {3}),                   // a folder index equal to the count
  };
  ASSERT_EQ(image[at], 3);  // three files outside the root
  for (const bytes& b : damaged) {
    write_bytes(cache, b);
    EXPECT_EQ(dir_tree_load_cache(&probe, cache.c_str(), root.c_str()), 0);
    dir_tree* t = get();
    EXPECT_EQ(describe(t), describe(good));
    ASSERT_EQ(dir_tree_load_cache(&probe, cache.c_str(), root.c_str()), 1);  // rewritten
    dir_tree_free(t);
  }
  dir_tree_free_contents(&probe);
  dir_tree_free(good);
}

// A cache file its user may not write (mode 0, or read-only) is left as it
// is, although the user may write its folder and so could rename a file over
// it; the listing is still complete.
TEST_F(DirTreeOnDisk, ACacheTheUserMayNotWriteIsLeftAsItIs) {
  const testing::plain_user user = testing::find_plain_user();
  if (!user.missing.empty()) GTEST_SKIP() << user.missing;
  ASSERT_TRUE(testing::open_up(tmp.path()));
  const std::string home = tmp / "home";
  make_dirs(home);
  ASSERT_TRUE(testing::give_to(home, user, 0755));
  for (const mode_t mode : {0000, 0444}) {
    SCOPED_TRACE(::testing::Message() << "mode 0" << std::oct << mode);
    const std::string file = home + "/cache" + std::to_string(mode) + ".bin";
    write_text(file, "not a cache, but the user's");
    ASSERT_TRUE(testing::give_to(file, user, mode));
    const ino_t inode = inode_of(file);
    const testing::child_result r = testing::run_in_child(
        [&] {
          dir_tree* t = dir_tree_get_with_cache_file(root.c_str(), file.c_str());
          if (t == nullptr) return 2;
          const bool complete = array_count(t->dirs) == 4 && array_count(t->files) == 4;
          dir_tree_free(t);
          return complete ? 0 : 3;
        },
        {&user});
    EXPECT_EQ(r.exit_status, 0) << r;
    const bytes kept = read_bytes(file);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "not a cache, but the user's");
    EXPECT_EQ(inode_of(file), inode);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home), {}), 2) << "no temporary file left";
}

// A cache file that is a symbolic link is written through: the file it leads
// to becomes the cache (created when missing) and the link stays.
TEST_F(DirTreeOnDisk, ALinkedCacheIsWrittenThroughTheLink) {
  const std::string target = tmp / "kept-elsewhere.bin";
  ASSERT_EQ(symlink(target.c_str(), cache.c_str()), 0);
  dir_tree* first = get();
  EXPECT_TRUE(std::filesystem::is_symlink(cache));
  dir_tree loaded;
  EXPECT_EQ(dir_tree_load_cache(&loaded, target.c_str(), root.c_str()), 1);
  EXPECT_EQ(array_count(loaded.dirs), 3);
  dir_tree_free_contents(&loaded);
  // A new folder rewrites the cache, again through the link.
  make_dirs(root + "/c");
  dir_tree* second = get();
  EXPECT_TRUE(std::filesystem::is_symlink(cache));
  EXPECT_EQ(dir_tree_load_cache(&loaded, target.c_str(), root.c_str()), 1);
  EXPECT_EQ(array_count(loaded.dirs), 4);
  dir_tree_free_contents(&loaded);
  dir_tree_free(first);
  dir_tree_free(second);
}

// A cache file that never ends, never comes, or is far larger than any cache
// counts as no cache: the full listing comes within seconds and without
// running out of memory under a 512 MiB address-space limit. The link to the
// device and the pipe are left as they are; the oversized file becomes a
// fresh cache, like a damaged one.
TEST_F(DirTreeOnDisk, EndlessBlockingAndHugeCacheFilesMeanNoCache) {
  if (!testing::address_space_limit_works) GTEST_SKIP() << "AddressSanitizer needs more address space than the limit";
  dir_tree* fresh = dir_tree_get_with_cache_file(root.c_str(), nullptr);
  const std::set<std::string> want = describe(fresh);
  dir_tree_free(fresh);
  const std::string zero = tmp / "zero.bin", fifo = tmp / "fifo.bin", huge = tmp / "huge.bin";
  ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  {
    const int fd = open(huge.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, platform_read_limit + 1), 0);  // sparse: no disk space
    close(fd);
  }
  for (const std::string& file : {zero, fifo, huge}) {
    SCOPED_TRACE(file);
    const testing::child_result r = testing::run_in_child(
        [&] {
          dir_tree* t = dir_tree_get_with_cache_file(root.c_str(), file.c_str());
          if (t == nullptr) return 2;
          const bool same = describe(t) == want;
          dir_tree_free(t);
          return same ? 0 : 3;
        },
        {nullptr, testing::test_address_space, 20});
    EXPECT_EQ(r.exit_status, 0) << r;
  }
  EXPECT_EQ(std::filesystem::read_symlink(zero), "/dev/zero");
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  dir_tree loaded;
  EXPECT_EQ(dir_tree_load_cache(&loaded, huge.c_str(), root.c_str()), 1);
  dir_tree_free_contents(&loaded);
}

TEST_F(DirTreeOnDisk, SymbolicLinksAreListedAsFilesAndNeverFollowed) {
  ASSERT_EQ(symlink("..", (root + "/a/deep/loop").c_str()), 0);
  ASSERT_EQ(symlink("../a1.txt", (root + "/a/deep/to_file").c_str()), 0);
  dir_tree* t = get();
  EXPECT_EQ(array_count(t->dirs), 4);
  EXPECT_TRUE(has_file(t, "loop"));
  for (int32_t i = 0; i < array_count(t->files); ++i)
    if (std::string(t->files[i].name) == "to_file") {
      EXPECT_EQ(t->files[i].size, 10);  // the target's size
    }
  dir_tree_free(t);
}

// A cached folder whose parent has become a link to a folder is not reached
// through the link: the cached listing equals a fresh one. Both when the
// cache lists the parent first (as a first scan does) and when it lists it
// after its subfolder (as after the parent was rescanned).
TEST_F(DirTreeOnDisk, CachedFolderUnderAFolderReplacedByALinkIsDropped) {
  for (const bool parent_rescanned : {false, true}) {
    std::filesystem::remove(cache);
    if (std::filesystem::is_symlink(root + "/a")) {
      std::filesystem::remove(root + "/a");
      std::filesystem::rename(root + "/moved", root + "/a");
    }
    dir_tree_free(get());
    if (parent_rescanned) {
      set_mtime(root + "/a", base_time + 100);
      dir_tree* t = get();
      ASSERT_GT(dir_index(t, root + "/a"), dir_index(t, root + "/a/deep"));
      dir_tree_free(t);
      set_mtime(root + "/a", base_time + 1);
    }
    std::filesystem::rename(root + "/a", root + "/moved");
    ASSERT_EQ(symlink("moved", (root + "/a").c_str()), 0);
    dir_tree* cached = get();
    dir_tree* fresh = dir_tree_get_with_cache_file(root.c_str(), nullptr);
    EXPECT_EQ(dir_index(cached, root + "/a/deep"), -1) << parent_rescanned;
    EXPECT_EQ(describe(cached), describe(fresh)) << parent_rescanned;
    expect_consistent(cached);
    dir_tree_free(fresh);
    dir_tree_free(cached);
  }
}

// Whatever order the cache lists the folders in, a cached listing with
// nothing changed equals a fresh one, and so does one after a folder with
// subfolders was replaced by a link to its moved copy.
TEST_F(DirTreeOnDisk, AnyFolderOrderInTheCacheGivesTheFreshListing) {
  make_dirs(root + "/a/deep/x/y");
  make_dirs(root + "/a/deep/z");
  write_text(root + "/a/deep/x/y/f.txt", "f");
  set_mtime(root + "/a/deep", base_time + 2);
  dir_tree* fresh = dir_tree_get_with_cache_file(root.c_str(), nullptr);
  dir_tree_free(get());
  dir_tree saved;
  ASSERT_EQ(dir_tree_load_cache(&saved, cache.c_str(), root.c_str()), 1);
  const auto n = static_cast<size_t>(array_count(saved.dirs));
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    // A shuffled copy of the cache, written with this root.
    std::vector<int32_t> order(n);
    for (size_t i = 0; i < n; ++i) order[i] = static_cast<int32_t>(i);
    std::mt19937 random(seed);
    std::shuffle(order.begin(), order.end(), random);
    std::vector<int32_t> new_index(n);
    dir_tree shuffled;
    for (size_t i = 0; i < n; ++i) {
      new_index[static_cast<size_t>(order[i])] = static_cast<int32_t>(i);
      dir_tree_add_dir(&shuffled, saved.dirs[order[i]].path, saved.dirs[order[i]].last_write_time);
    }
    for (int32_t i = 0; i < array_count(saved.files); ++i) {
      const dir_tree_file& f = saved.files[i];
      dir_tree_add_file(&shuffled, f.name, new_index[static_cast<size_t>(f.dir_index)], f.size, f.last_write_time);
    }
    ASSERT_EQ(dir_tree_save_cache(&shuffled, cache.c_str()), 1);
    dir_tree_free_contents(&shuffled);
    bytes image = read_bytes(cache);
    image.insert(image.begin() + 12, root.begin(), root.end());
    write_bytes(cache, image);

    const bool linked = seed % 2 == 0;
    if (linked) {
      std::filesystem::rename(root + "/a/deep", root + "/moved");
      ASSERT_EQ(symlink("../moved", (root + "/a/deep").c_str()), 0);
    }
    dir_tree* t = get();
    dir_tree* now = linked ? dir_tree_get_with_cache_file(root.c_str(), nullptr) : nullptr;
    EXPECT_EQ(describe(t), describe(linked ? now : fresh)) << "seed " << seed;
    expect_consistent(t);
    dir_tree_free(now);
    dir_tree_free(t);
    if (linked) {
      std::filesystem::remove(root + "/a/deep");
      std::filesystem::rename(root + "/moved", root + "/a/deep");
      set_mtime(root + "/a", base_time + 1);
    }
  }
  dir_tree_free_contents(&saved);
  dir_tree_free(fresh);
}

TEST_F(DirTreeOnDisk, VerboseAndProgressOutput) {
  dir_tree_verbose = 1;
  ::testing::internal::CaptureStdout();
  dir_tree_free(dir_tree_get_with_cache_file(root.c_str(), nullptr));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "No cache file\n");
  dir_tree_free(get());
  // With a cache, the root's two children are reached a second time.
  ::testing::internal::CaptureStdout();
  dir_tree_free(get());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "DD");
  dir_tree_verbose = 0;

  // Without a mask nothing is shown; with one, the progress line is cleared
  // at the end (all bits set: no mark until the counter wraps).
  std::filesystem::remove(cache);
  ::testing::internal::CaptureStdout();
  dir_tree_free(get());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  std::filesystem::remove(cache);
  dir_tree_progress_mask = -1;
  ::testing::internal::CaptureStdout();
  dir_tree_free(get());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), std::string(78, ' ') + "\r");
  dir_tree_progress_mask = 0;
}

// Drive-letter roots work on this system too, as relative folders named "c:".
TEST(DirTreeRoots, DriveRootsAndCaseOfTheRoot) {
  scratch_dir tmp;
  working_dir cwd(tmp.path());
  make_dirs("c:/x");
  write_text("c:/x/f", "f");
  dir_tree* t = dir_tree_get_with_cache_file("c:\\", "c.bin");
  EXPECT_NE(dir_index(t, "c:/"), -1);
  EXPECT_NE(dir_index(t, "c:/x"), -1);
  dir_tree_free(t);
  // Stored as c:/, so the cache written for c:\ is the cache of c:/.
  dir_tree loaded;
  EXPECT_EQ(dir_tree_load_cache(&loaded, "c.bin", "c:/"), 1);
  EXPECT_EQ(array_count(loaded.dirs), 1);
  EXPECT_STREQ(loaded.dirs[0].path, "c:/x");

  // D:/Data and d:/data share a cache file and accept each other's cache; on
  // this case-sensitive file system they are two folders, and neither
  // listing takes the other's folders.
  make_dirs("D:/Data/upper");
  make_dirs("d:/data/lower");
  char name_upper[64], name_lower[64], name_slash[64];
  dir_tree_cache_file_name("D:/Data", ".", name_upper, sizeof name_upper);
  dir_tree_cache_file_name("d:/data", ".", name_lower, sizeof name_lower);
  dir_tree_cache_file_name("d:/data/", ".", name_slash, sizeof name_slash);
  EXPECT_STREQ(name_upper, name_lower);
  EXPECT_STRNE(name_upper, name_slash);
  t = dir_tree_get_in("D:/Data", ".");
  dir_tree_free(t);
  EXPECT_EQ(dir_tree_load_cache(&loaded, name_upper, "d:/data"), 1);
  EXPECT_EQ(dir_tree_load_cache(&loaded, name_upper, "d:/data/"), 1);
  EXPECT_STREQ(loaded.dirs[0].path, "D:/Data/upper");
  t = dir_tree_get_in("d:/data", ".");
  EXPECT_EQ(describe(t), (std::set<std::string>{"D d:/data @0", "D d:/data/lower @" + std::to_string(t->dirs[1].last_write_time)}));
  dir_tree_free(t);
  // The trailing separator gives another file, but the same stored root.
  t = dir_tree_get_in("d:/data/", ".");
  EXPECT_EQ(dir_index(t, "d:/data"), 0);
  dir_tree_free(t);
  EXPECT_EQ(dir_tree_load_cache(&loaded, name_slash, "d:/data"), 1);
  dir_tree_free_contents(&loaded);
}

TEST(DirTreeRoots, CacheFolderFromTheRegistryElseCDriveVor) {
  scratch_dir tmp;
  working_dir cwd(tmp.path());
  make_dirs("tree/sub/subsub");
  make_dirs("c:/vor");
  char name[256];
  dir_tree_cache_file_name("tree", "c:/vor", name, sizeof name);
  dir_tree_free(dir_tree_get("tree"));
  EXPECT_TRUE(std::filesystem::exists(name));

  make_dirs("elsewhere");
  reg_key* key = reg_open("wHKLM", "Software\\AmberFoundry\\vor");
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(reg_write_string(key, "dirtree", (tmp.path() + "/elsewhere").c_str()), 1);
  reg_close(key);
  dir_tree_cache_file_name("tree", (tmp.path() + "/elsewhere").c_str(), name, sizeof name);
  dir_tree_free(dir_tree_get("tree"));
  EXPECT_TRUE(std::filesystem::exists(name));
}

}  // namespace
}  // namespace vormap

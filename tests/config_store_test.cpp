#include "util/config_store.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"
#include "util/growable_array.h"
#include "util/platform/files.h"

namespace vormap {
namespace {

using bytes = std::vector<uint8_t>;

const bytes magic = {'v', 'O', 'r', 'C', 'o', 'N', 'f', 'I', 'g', '!', 0, 0};

bytes cat(bytes a, const bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Files left in a folder, temporary ones included.
std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

std::string get_string(const cfg* c, const char* key) {
  char buf[64];
  return cfg_get_string(c, key, buf, sizeof buf) ? std::string(buf) : std::string("<absent>");
}

class ConfigStore : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = tmp / "cfg";
    make_dirs(dir);
    cfg_set_dir(dir.c_str());
  }
  void TearDown() override { cfg_set_dir(""); }
  std::string file(const char* name) const { return dir + "/" + name + ".cfg"; }

  scratch_dir tmp;
  std::string dir;
};

TEST_F(ConfigStore, ExampleFileBytes) {
  cfg* c = cfg_open("game", "w");
  ASSERT_NE(c, nullptr);
  cfg_set_string(c, "k", "abc");
  EXPECT_EQ(cfg_close(c), 1);
  EXPECT_EQ(read_bytes(file("game")), cat(magic, {0x02, 0x00, 0x6B, 0x00, 0x04, 0x00, 0x00, 0x00, 0x61, 0x62, 0x63, 0x00}));
  EXPECT_EQ(files_in(dir), std::vector<std::string>{"game.cfg"});  // no temporary file left

  c = cfg_open("game", "r");
  EXPECT_EQ(get_string(c, "k"), "abc");
  cfg_close(c);
}

TEST_F(ConfigStore, ModeMustBeReadOrWrite) {
  EXPECT_EQ(cfg_open("game", "a"), nullptr);
  EXPECT_EQ(cfg_open("game", ""), nullptr);
  cfg* c = cfg_open("game", "rb");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(array_count(c->entries), 0);
  cfg_close(c);
}

TEST_F(ConfigStore, KeysIgnoreCaseAndKeepTheirFirstSpelling) {
  cfg* c = cfg_open("keys", "w");
  cfg_set_string(c, "Volume", "1");
  cfg_set_string(c, "VOLUME", "2");
  EXPECT_EQ(array_count(c->entries), 1);
  EXPECT_EQ(get_string(c, "volume"), "2");
  cfg_close(c);
  c = cfg_open("keys", "w");
  cfg_set_string(c, "vOlUmE", "3");
  EXPECT_STREQ(c->entries[0].key, "Volume");
  cfg_close(c);
  EXPECT_EQ(read_bytes(file("keys")), cat(magic, {7, 0, 'V', 'o', 'l', 'u', 'm', 'e', 0, 2, 0, 0, 0, '3', 0}));
}

TEST_F(ConfigStore, ShortAndLongBuffers) {
  cfg* c = cfg_open("buf", "r");
  const char ten[10] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
  cfg_set(c, "ten", ten, 10);

  char buf[9];
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(cfg_get(c, "ten", buf, 8), 1);
  EXPECT_EQ(std::string(buf, 9), "01234567#");  // eight bytes, no terminator
  EXPECT_EQ(cfg_get_string(c, "ten", buf, 8), 1);
  EXPECT_EQ(std::string(buf, 9), std::string("0123456\0#", 9));

  char big[16];
  std::memset(big, '#', sizeof big);
  EXPECT_EQ(cfg_get(c, "ten", big, 16), 1);
  EXPECT_EQ(std::string(big, 12), std::string("0123456789\0#", 12));  // a zero after the value

  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(cfg_get(c, "absent", buf, 8), 0);
  EXPECT_EQ(cfg_get_string(c, "absent", buf, 8), 0);
  EXPECT_EQ(cfg_get_string(c, "ten", buf, 0), 1);  // no room: nothing written
  EXPECT_EQ(std::string(buf, 9), "#########");
  cfg_close(c);
}

TEST_F(ConfigStore, DeleteMovesTheLastEntryIntoTheGap) {
  cfg* c = cfg_open("order", "w");
  cfg_set_string(c, "a", "1");
  cfg_set_string(c, "b", "2");
  cfg_set_string(c, "c", "3");
  EXPECT_EQ(cfg_delete(c, "A"), 1);
  EXPECT_EQ(cfg_delete(c, "a"), 0);
  EXPECT_STREQ(c->entries[0].key, "c");
  EXPECT_STREQ(c->entries[1].key, "b");
  cfg_close(c);
  EXPECT_EQ(read_bytes(file("order")),
            cat(magic, {2, 0, 'c', 0, 2, 0, 0, 0, '3', 0, 2, 0, 'b', 0, 2, 0, 0, 0, '2', 0}));
}

TEST_F(ConfigStore, ReadModeChangesStayInMemory) {
  cfg* c = cfg_open("ro", "w");
  cfg_set_string(c, "keep", "yes");
  cfg_close(c);
  const bytes before = read_bytes(file("ro"));
  c = cfg_open("ro", "r");
  cfg_set_string(c, "new", "x");
  cfg_delete(c, "keep");
  cfg_close(c);
  EXPECT_EQ(read_bytes(file("ro")), before);
}

TEST_F(ConfigStore, WriteModeKeepsTheOldFileUntilClose) {
  cfg* c = cfg_open("w", "w");
  cfg_set_string(c, "v", "old");
  cfg_close(c);
  cfg* writer = cfg_open("w", "w");
  EXPECT_EQ(get_string(writer, "v"), "old");  // loaded values stay available
  cfg_set_string(writer, "v", "new");
  cfg* reader = cfg_open("w", "r");
  EXPECT_EQ(get_string(reader, "v"), "old");
  cfg_close(reader);
  EXPECT_EQ(cfg_close(writer), 1);
  reader = cfg_open("w", "r");
  EXPECT_EQ(get_string(reader, "v"), "new");
  cfg_close(reader);
  EXPECT_EQ(files_in(dir), std::vector<std::string>{"w.cfg"});
}

TEST_F(ConfigStore, UncreatableFileLeavesAnInMemoryStore) {
  cfg_set_dir((tmp / "missing").c_str());
  cfg* c = cfg_open("game", "w");
  ASSERT_NE(c, nullptr);
  cfg_set_string(c, "k", "v");
  EXPECT_EQ(get_string(c, "k"), "v");
  EXPECT_EQ(cfg_close(c), 0);
  EXPECT_FALSE(std::filesystem::exists(tmp / "missing"));
}

TEST_F(ConfigStore, BadMagicInAnyByteOpensEmpty) {
  const bytes good = cat(magic, {2, 0, 'k', 0, 1, 0, 0, 0, 'v'});
  for (size_t k = 0; k < magic.size(); ++k) {
    bytes b = good;
    b[k] ^= 0x20;
    write_bytes(file("m"), b);
    cfg* c = cfg_open("m", "r");
    EXPECT_EQ(array_count(c->entries), 0) << k;
    cfg_close(c);
  }
  write_bytes(file("m"), good);
  cfg* c = cfg_open("m", "r");
  EXPECT_EQ(array_count(c->entries), 1);
  cfg_close(c);
}

TEST_F(ConfigStore, DamagedFilesOpenEmptyWithoutReadingPastTheEnd) {
  const bytes two = cat(magic, {2, 0, 'a', 0, 1, 0, 0, 0, 'x', 3, 0, 'b', 'b', 0, 0, 0, 0, 0});
  const size_t boundary = magic.size() + 9;  // the end of the first record
  for (size_t n = 0; n <= two.size(); ++n) {
    write_bytes(file("d"), bytes(two.begin(), two.begin() + static_cast<long>(n)));
    cfg* c = cfg_open("d", "r");
    // Whole files of zero, one or two records load; anything cut inside a
    // record (or inside the magic) is empty.
    const int32_t want = n == magic.size() ? 0 : n == boundary ? 1 : n == two.size() ? 2 : 0;
    EXPECT_EQ(array_count(c->entries), want) << n;
    cfg_close(c);
  }
  const std::vector<bytes> damaged = {
      cat(magic, {2, 0, 'k', 'k', 1, 0, 0, 0, 'v'}),           // key without its zero
      cat(magic, {0, 0, 1, 0, 0, 0, 'v'}),                     // empty key field
      cat(magic, {0xFF, 0xFF, 'k', 0}),                        // negative key length
      cat(magic, {2, 0, 'k', 0, 0xFF, 0xFF, 0xFF, 0xFF}),      // negative value length
      cat(magic, {2, 0, 'k', 0, 0xFF, 0xFF, 0xFF, 0x7F, 'v'}),  // value past the end
  };
  for (size_t k = 0; k < damaged.size(); ++k) {
    write_bytes(file("d"), damaged[k]);
    cfg* c = cfg_open("d", "r");
    EXPECT_EQ(array_count(c->entries), 0) << k;
    cfg_close(c);
  }
}

TEST_F(ConfigStore, KeyLengthLimit) {
  cfg* c = cfg_open("long", "w");
  EXPECT_EQ(cfg_set_string(c, std::string(32766, 'k').c_str(), "v"), 1);
  EXPECT_EQ(cfg_set_string(c, std::string(32767, 'k').c_str(), "v"), 0);
  EXPECT_EQ(cfg_set(c, "neg", "v", -1), 0);
  EXPECT_EQ(array_count(c->entries), 1);
  cfg_close(c);
  c = cfg_open("long", "r");
  EXPECT_EQ(get_string(c, std::string(32766, 'K').c_str()), "v");
  cfg_close(c);
}

// A store file its user may not write (mode 0, or read-only) survives a
// write session, although the user may write the folder and so could rename
// a file over it: the session works in memory and the close reports failure.
TEST_F(ConfigStore, AFileTheUserMayNotWriteSurvivesAWriteSession) {
  const testing::plain_user user = testing::find_plain_user();
  if (!user.missing.empty()) GTEST_SKIP() << user.missing;
  ASSERT_TRUE(testing::open_up(tmp.path()));
  const bytes before = cat(magic, {2, 0, 'k', 0, 4, 0, 0, 0, 'o', 'l', 'd', 0});
  for (const mode_t mode : {0000, 0444}) {
    SCOPED_TRACE(::testing::Message() << "mode 0" << std::oct << mode);
    const std::string home = tmp / ("home" + std::to_string(mode));
    make_dirs(home);
    ASSERT_TRUE(testing::give_to(home, user, 0755));
    const std::string store = home + "/s.cfg";
    write_bytes(store, before);
    ASSERT_TRUE(testing::give_to(store, user, mode));
    const ino_t inode = inode_of(store);
    const testing::child_result r = testing::run_in_child(
        [&] {
          cfg_set_dir(home.c_str());
          cfg* c = cfg_open("s", "w");
          if (c == nullptr) return 2;
          cfg_set_string(c, "k", "new");
          const bool in_memory = get_string(c, "k") == "new";
          return cfg_close(c) == 0 && in_memory ? 0 : 3;
        },
        {&user});
    EXPECT_EQ(r.exit_status, 0) << r;
    EXPECT_EQ(read_bytes(store), before);
    EXPECT_EQ(inode_of(store), inode);
    EXPECT_EQ(files_in(home), std::vector<std::string>{"s.cfg"});
  }
}

// A store file that is a symbolic link is written through: the file it
// leads to gets the store, created when it is not there yet, and the link
// stays.
TEST_F(ConfigStore, ALinkedStoreIsWrittenThroughTheLink) {
  const std::string elsewhere = tmp / "elsewhere";
  make_dirs(elsewhere);
  const bytes expected = cat(magic, {0x02, 0x00, 0x6B, 0x00, 0x04, 0x00, 0x00, 0x00, 0x61, 0x62, 0x63, 0x00});
  for (const bool target_exists : {true, false}) {
    const std::string name = target_exists ? "existing" : "dangling";
    SCOPED_TRACE(name);
    const std::string target = elsewhere + "/" + name + ".cfg";
    if (target_exists) write_bytes(target, cat(magic, {2, 0, 'k', 0, 4, 0, 0, 0, 'o', 'l', 'd', 0}));
    ASSERT_EQ(symlink(target.c_str(), file(name.c_str()).c_str()), 0);
    cfg* c = cfg_open(name.c_str(), "w");
    EXPECT_EQ(get_string(c, "k"), target_exists ? "old" : "<absent>");
    cfg_set_string(c, "k", "abc");
    EXPECT_EQ(cfg_close(c), 1);
    EXPECT_TRUE(std::filesystem::is_symlink(file(name.c_str())));
    EXPECT_EQ(std::filesystem::read_symlink(file(name.c_str())), target);
    EXPECT_EQ(read_bytes(target), expected);
  }
  EXPECT_EQ(files_in(dir), (std::vector<std::string>{"dangling.cfg", "existing.cfg"}));
}

// Files that never end, never come, or are far larger than any store: each
// opens as an empty store within seconds and without running out of memory
// under a 512 MiB address-space limit. A write session refuses the link to
// the device and the pipe, and replaces the oversized file like a damaged one.
TEST_F(ConfigStore, EndlessBlockingAndHugeFilesOpenEmpty) {
  if (!testing::address_space_limit_works) GTEST_SKIP() << "AddressSanitizer needs more address space than the limit";
  ASSERT_EQ(symlink("/dev/zero", file("zero").c_str()), 0);
  ASSERT_EQ(mkfifo(file("fifo").c_str(), 0644), 0);
  {
    const int fd = open(file("huge").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, platform_read_limit + 1), 0);  // sparse: no disk space
    close(fd);
  }
  const struct {
    const char* name;
    int closed_after_writing;
  } cases[] = {{"zero", 0}, {"fifo", 0}, {"huge", 1}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    const testing::child_result r = testing::run_in_child(
        [&] {
          for (const char* mode : {"r", "w"}) {
            cfg* c = cfg_open(k.name, mode);
            if (c == nullptr) return 2;
            if (array_count(c->entries) != 0) return 3;
            if (cfg_close(c) != (mode[0] == 'w' ? k.closed_after_writing : 1)) return 4;
          }
          return 0;
        },
        {nullptr, testing::test_address_space, 20});
    EXPECT_EQ(r.exit_status, 0) << r;
  }
  EXPECT_EQ(std::filesystem::read_symlink(file("zero")), "/dev/zero");
  EXPECT_TRUE(std::filesystem::is_fifo(file("fifo")));
  EXPECT_EQ(read_bytes(file("huge")), magic);
}

TEST(ConfigDir, RegistryValueElseCDriveVorAndSetDirSkipsTheRegistry) {
  scratch_dir tmp;
  working_dir cwd(tmp.path());
  make_dirs("c:/vor");
  cfg_set_dir("");
  cfg* c = cfg_open("game", "w");
  cfg_close(c);
  EXPECT_TRUE(std::filesystem::exists(tmp / "c:/vor/game.cfg"));

  make_dirs("from_registry");
  make_dirs("from_caller");
  reg_key* key = reg_open("wlm", "Software\\AmberFoundry\\vor");
  ASSERT_EQ(reg_write_string(key, "config_dir", (tmp / "from_registry").c_str()), 1);
  reg_close(key);
  // Decided once per process: the registry is not read again...
  cfg_close(cfg_open("again", "w"));
  EXPECT_TRUE(std::filesystem::exists(tmp / "c:/vor/again.cfg"));
  // ...until the folder is forgotten.
  cfg_set_dir("");
  cfg_close(cfg_open("game", "w"));
  EXPECT_TRUE(std::filesystem::exists(tmp / "from_registry/game.cfg"));
  cfg_set_dir((tmp / "from_caller").c_str());
  cfg_close(cfg_open("game", "w"));
  EXPECT_TRUE(std::filesystem::exists(tmp / "from_caller/game.cfg"));
  cfg_set_dir("");
}

TEST(Registry, HiveAndModeParsing) {
  scratch_dir tmp;
  const struct {
    const char* mode;
    bool opens;
  } cases[] = {{"wHKLM", true}, {"wlm", true}, {"wLm", true}, {"whkcu", true}, {"wCU", true},
               {"rhklm", true}, {"rcu", true}, {"xlm", false},  {"rxx", false},  {"r", false},
               {"", false},     {"whklmx", false}};
  for (const auto& c : cases) {
    reg_key* key = reg_open(c.mode, "Software\\AmberFoundry\\vor");
    EXPECT_EQ(key != nullptr, c.opens) << c.mode;
    reg_close(key);
  }
  // Reading never creates: a key missing from one hive stays missing.
  reg_close(reg_open("wcu", "Only\\In\\User"));
  EXPECT_EQ(reg_open("rlm", "Only\\In\\User"), nullptr);
  EXPECT_TRUE(std::filesystem::is_directory(tmp / "registry/HKEY_CURRENT_USER/Only/In/User"));
  EXPECT_FALSE(std::filesystem::exists(tmp / "registry/HKEY_LOCAL_MACHINE/Only"));
}

TEST(Registry, ValuesRoundTripWithTypesCaseAndOddNames) {
  scratch_dir tmp;
  reg_key* w = reg_open("wlm", "Software\\AmberFoundry\\vor");
  ASSERT_EQ(reg_write_string(w, "DirTree", "/some/where"), 1);
  const uint8_t blob[] = {0, 1, 2, 0xFF};
  ASSERT_EQ(reg_write(w, "blob", blob, 4), 1);
  for (const char* odd : {"", "a/b", "..", ".", "%41", "x\\y"}) ASSERT_EQ(reg_write_string(w, odd, odd), 1) << odd;
  reg_close(w);
  EXPECT_EQ(reg_write_string(nullptr, "x", "y"), 0);

  reg_key* r = reg_open("rLM", "software\\AMBERFOUNDRY\\Vor");
  ASSERT_NE(r, nullptr);
  char buf[32];
  std::memset(buf, '#', sizeof buf);
  ASSERT_EQ(reg_read(r, "dirtree", buf, sizeof buf), 1);
  EXPECT_STREQ(buf, "/some/where");
  for (const char* odd : {"", "a/b", "..", ".", "%41", "x\\y"}) {
    ASSERT_EQ(reg_read_string(r, odd, buf, sizeof buf), 1) << odd;
    EXPECT_STREQ(buf, odd);
  }
  // Binary data with a zero after it when there is room; none when it fits exactly.
  std::memset(buf, '#', sizeof buf);
  ASSERT_EQ(reg_read(r, "blob", buf, 5), 1);
  EXPECT_EQ(bytes(buf, buf + 6), (bytes{0, 1, 2, 0xFF, 0, '#'}));
  std::memset(buf, '#', sizeof buf);
  ASSERT_EQ(reg_read(r, "blob", buf, 4), 1);
  EXPECT_EQ(bytes(buf, buf + 5), (bytes{0, 1, 2, 0xFF, '#'}));
  // Too small a buffer fails and leaves it alone; so do missing values.
  EXPECT_EQ(reg_read(r, "blob", buf, 3), 0);
  EXPECT_EQ(reg_read_string(r, "dirtree", buf, 11), 0);
  EXPECT_EQ(reg_read(r, "nothing", buf, sizeof buf), 0);
  EXPECT_EQ(bytes(buf, buf + 5), (bytes{0, 1, 2, 0xFF, '#'}));
  reg_close(r);

  // Nothing escaped the key's folder, and no temporary file is left.
  const std::string folder = tmp / "registry/HKEY_LOCAL_MACHINE/Software/AmberFoundry/vor";
  EXPECT_EQ(files_in(folder), (std::vector<std::string>{"%2541", "%2E", "%2E.", "@", "DirTree", "a%2Fb", "blob", "x%5Cy"}));
  EXPECT_EQ(files_in(tmp.path()), std::vector<std::string>{"registry"});
}

TEST(Registry, ValueTypesFromHandWrittenFiles) {
  scratch_dir tmp;
  reg_close(reg_open("wlm", "K"));
  const std::string folder = tmp / "registry/HKEY_LOCAL_MACHINE/K";
  write_text(folder + "/dword", std::string("REG_DWORD\n\x2A\0\0\0", 14));
  write_text(folder + "/multi", "REG_MULTI_SZ\na\0b\0");
  write_text(folder + "/bare", "no type line");
  reg_key* r = reg_open("rlm", "K");
  uint32_t number = 0;
  EXPECT_EQ(reg_read(r, "dword", &number, 4), 1);
  EXPECT_EQ(number, 42u);
  char buf[16];
  EXPECT_EQ(reg_read(r, "multi", buf, sizeof buf), 0);
  EXPECT_EQ(reg_read(r, "bare", buf, sizeof buf), 0);
  reg_close(r);
}

TEST(Registry, RootFolderDefaultsUnderTheUsersConfigFolder) {
  scratch_dir tmp;
  unsetenv(registry_root_variable);
  const char* old_xdg = std::getenv("XDG_CONFIG_HOME");
  const std::string saved_xdg = old_xdg ? old_xdg : "";
  setenv("XDG_CONFIG_HOME", tmp.path().c_str(), 1);
  EXPECT_EQ(platform_registry_root(), tmp.path() + "/vormap/registry");
  unsetenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') {
    EXPECT_EQ(platform_registry_root(), std::string(home) + "/.config/vormap/registry");
  }
  if (old_xdg) setenv("XDG_CONFIG_HOME", saved_xdg.c_str(), 1);
  setenv(registry_root_variable, (tmp / "registry").c_str(), 1);
  EXPECT_EQ(platform_registry_root(), tmp / "registry");
}

}  // namespace
}  // namespace vormap

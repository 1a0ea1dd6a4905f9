// `vxltool gallery` run as a user runs it, with the built vormap beside it:
// the maps are vormap's own bytes, a second run keeps what is good and
// remakes what is not, a failing seed does not stop the others, bad command
// lines make nothing, and an interrupted gallery leaves no partial file.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/run_process.h"
#include "tests/support/scratch_dir.h"

namespace vormap {
namespace {

using testing::process_result;
using testing::run_process;

process_result gallery(const std::vector<std::string>& args, const std::string& directory) {
  std::vector<std::string> all = {"gallery"};
  all.insert(all.end(), args.begin(), args.end());
  return run_process(VXLTOOL_EXE, all, "vxltool", directory);
}

// The map `vormap -s SEED [-d]` writes.
std::vector<uint8_t> vormap_map(const scratch_dir& dir, const std::string& seed, bool debug) {
  std::vector<std::string> args = {"-s", seed, "-o", dir / "reference.vxl"};
  if (debug) args.push_back("-d");
  const process_result r = run_process(VORMAP_EXE, args);
  EXPECT_EQ(r.exit_status, 0) << r.err;
  return read_bytes(dir / "reference.vxl");
}

std::pair<int, int> png_size(const std::string& path) {
  png_image header{};
  header.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&header, path.c_str()) == 0) return {-1, -1};
  png_image_free(&header);
  return {static_cast<int>(header.width), static_cast<int>(header.height)};
}

std::vector<std::string> names_in(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

int count_lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

TEST(Gallery, MakesEachMapAsVormapDoesWithPicturesAndAPage) {
  scratch_dir dir;
  const process_result r = gallery({"--jobs", "2", "-3--2,5", "out"}, dir.path());
  ASSERT_EQ(r.exit_status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "3 maps in out (3 made, 0 kept, 0 failed)")) << r.out;
  EXPECT_TRUE(has(r.err, "gallery: 3/3 maps")) << r.err;
  const std::vector<uint8_t> index = read_bytes(dir / "out/index.html");
  const std::string html(index.begin(), index.end());
  for (const std::string seed : {"-3", "-2", "5"}) {
    EXPECT_EQ(read_bytes(dir / ("out/" + seed + ".vxl")), vormap_map(dir, seed, false)) << "seed " << seed;
    EXPECT_EQ(png_size(dir / ("out/" + seed + ".png")), std::make_pair(512, 512)) << seed;
    EXPECT_EQ(png_size(dir / ("out/" + seed + ".thumb.png")), std::make_pair(128, 128)) << seed;
    EXPECT_TRUE(has(html, "{\"seed\":" + seed + ",\"command\":\"vormap -s " + seed + " -o " + seed + ".vxl\"")) << seed;
  }
  for (const std::string& name : names_in(dir / "out")) EXPECT_FALSE(has(name, ".tmp")) << name;
}

// The figures files beside the page hold what vxltool search computes for
// the same seeds; --no-pages leaves out the 3D pages.
TEST(Gallery, FiguresFilesMatchTheSearchAndNoPagesMakesNone) {
  scratch_dir dir;
  const process_result r = gallery({"--no-pages", "8,-1", "out"}, dir.path());
  ASSERT_EQ(r.exit_status, 0) << r.err;
  for (const std::string& name : names_in(dir / "out"))
    EXPECT_TRUE(!has(name, ".html") || name == "index.html") << name;
  const process_result csv = run_process(VXLTOOL_EXE, {"search", "-1,8", "--format", "csv"});
  ASSERT_EQ(csv.exit_status, 0) << csv.err;
  const std::vector<uint8_t> gallery_csv = read_bytes(dir / "out/figures.csv");
  EXPECT_EQ(count_lines(csv.out), 3);
  // The gallery lists the seeds in the order given, the search in seed order.
  const size_t second = csv.out.find('\n', csv.out.find('\n') + 1) + 1;
  const std::string header = csv.out.substr(0, csv.out.find('\n') + 1);
  const std::string minus_one = csv.out.substr(header.size(), second - header.size()), eight = csv.out.substr(second);
  EXPECT_EQ(std::string(gallery_csv.begin(), gallery_csv.end()), header + eight + minus_one);
  const process_result jsonl = run_process(VXLTOOL_EXE, {"search", "-1,8"});
  const std::vector<uint8_t> json_bytes = read_bytes(dir / "out/figures.json");
  const std::string json(json_bytes.begin(), json_bytes.end());
  for (size_t at = 0, end; (end = jsonl.out.find('\n', at)) != std::string::npos; at = end + 1)
    EXPECT_TRUE(has(json, jsonl.out.substr(at, end - at))) << jsonl.out.substr(at, 40);
}

// A fake vormap, so that one seed can fail or hang: seed 13 fails as a full
// disk would, or with FAKE_VORMAP_HANG set starts its temporary map and
// hangs; every other seed is made by the real vormap.
std::string write_fake_vormap(const scratch_dir& dir) {
  const std::string path = dir / "fake-vormap";
  write_text(path,
             "#!/bin/sh\n"
             "seed=$2 out=$4\n"
             "if [ \"$seed\" = 13 ]; then\n"
             "  if [ -n \"$FAKE_VORMAP_HANG\" ]; then\n"
             "    : > \"$(dirname \"$out\")/.$(basename \"$out\").tmpABCDEF\"; exec sleep 60\n"
             "  fi\n"
             "  echo \"vormap: cannot write '$out': No space left on device\" >&2; exit 1\n"
             "fi\n"
             "exec '" VORMAP_EXE "' \"$@\"\n");
  ::chmod(path.c_str(), 0755);
  return path;
}

TEST(Gallery, SecondRunKeepsGoodMapsAndRemakesDamagedOrDifferentOnes) {
  scratch_dir dir;
  process_result r = gallery({"-d", "4,6", "out"}, dir.path());
  ASSERT_EQ(r.exit_status, 0) << r.err;
  const std::vector<uint8_t> debug_map = vormap_map(dir, "4", true);
  EXPECT_EQ(read_bytes(dir / "out/4.vxl"), debug_map) << "with -d";
  const std::vector<uint8_t> six = read_bytes(dir / "out/6.vxl");

  // 6.vxl cut short, 4's thumbnail gone: only 6 is made again.
  const ino_t four = inode_of(dir / "out/4.vxl");
  write_bytes(dir / "out/6.vxl", std::vector<uint8_t>(six.begin(), six.begin() + 5000));
  std::filesystem::remove(dir / "out/4.thumb.png");
  r = gallery({"-d", "4,6", "out"}, dir.path());
  ASSERT_EQ(r.exit_status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "(1 made, 1 kept, 0 failed)")) << r.out;
  EXPECT_TRUE(has(r.err, "seed 6: 6.vxl is damaged")) << r.err;
  EXPECT_EQ(inode_of(dir / "out/4.vxl"), four);
  EXPECT_EQ(read_bytes(dir / "out/6.vxl"), six);
  EXPECT_EQ(png_size(dir / "out/4.thumb.png"), std::make_pair(128, 128));

  // Without -d the maps with start regions are not what was asked for.
  r = gallery({"4", "out"}, dir.path());
  ASSERT_EQ(r.exit_status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "(1 made, 0 kept, 0 failed)")) << r.out;
  EXPECT_EQ(read_bytes(dir / "out/4.vxl"), vormap_map(dir, "4", false));
}

TEST(Gallery, FailedSeedIsReportedAndTheOthersGoOn) {
  scratch_dir dir;
  const std::string fake = write_fake_vormap(dir);
  const process_result r = gallery({"--vormap", fake, "12,13", "out"}, dir.path());
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_TRUE(has(r.err, "seed 13 failed: vormap ended with status 1: vormap: cannot write '")) << r.err;
  EXPECT_TRUE(has(r.err, "No space left on device\n")) << r.err;
  EXPECT_TRUE(has(r.out, "1 maps in out (1 made, 0 kept, 1 failed)")) << r.out;
  EXPECT_EQ(read_bytes(dir / "out/12.vxl"), vormap_map(dir, "12", false));
  EXPECT_FALSE(std::filesystem::exists(dir / "out/13.vxl"));
  const std::vector<uint8_t> index = read_bytes(dir / "out/index.html");
  EXPECT_TRUE(has(std::string(index.begin(), index.end()), "No space left on device")) << "the page lists the failure";
}

TEST(Gallery, BadCommandLinesMakeNothing) {
  scratch_dir dir;
  write_text(dir / "file", "x");
  const struct {
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {{"1-", "out"}, 2, "bad SEEDS '1-': range '1-' has no end"},
      {{"x", "out"}, 2, "bad SEEDS 'x'"},
      {{"5-1", "out"}, 2, "runs backwards"},
      {{"2147483648", "out"}, 2, "does not fit in 32 bits"},
      {{"-2147483649", "out"}, 2, "does not fit in 32 bits"},
      {{"random:0", "out"}, 2, "random:N needs N from 1"},
      {{"1"}, 2, "takes SEEDS and OUTDIR, not 1 argument"},
      {{"--jobs", "0", "1", "out"}, 2, "--jobs must be a whole number from 1"},
      {{"--jobs"}, 2, "--jobs needs a value"},
      {{"--colour", "1", "out"}, 2, "unknown option '--colour'"},
      {{"1", "file/out"}, 1, "cannot make folder 'file/out': "},
      {{"1", "file"}, 1, "cannot make folder 'file': "},
      {{"--vormap", "nowhere", "1", "out"}, 1, "--vormap 'nowhere' is not an executable file"},
  };
  for (const auto& c : cases) {
    const process_result r = gallery(c.args, dir.path());
    const std::string what = c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : "");
    EXPECT_EQ(r.exit_status, c.status) << what;
    EXPECT_TRUE(has(r.err, "vxltool: gallery: ") && has(r.err, c.message)) << what << ": " << r.err;
    EXPECT_EQ(count_lines(r.err), 1) << what << ": " << r.err;
    EXPECT_EQ(r.out, "") << what;
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"file"}) << what << " made something";
  }
}

TEST(Gallery, RandomSeedsArePrintedAndMade) {
  scratch_dir dir;
  const process_result r = gallery({"random:2", "out"}, dir.path());
  ASSERT_EQ(r.exit_status, 0) << r.err;
  ASSERT_TRUE(r.out.rfind("seeds: ", 0) == 0) << r.out;
  const std::string list = r.out.substr(7, r.out.find('\n') - 7);
  const size_t comma = list.find(',', 1);
  ASSERT_NE(comma, std::string::npos) << list;
  for (const std::string& seed : {list.substr(0, comma), list.substr(comma + 1)})
    EXPECT_TRUE(std::filesystem::exists(dir / ("out/" + seed + ".vxl"))) << seed;
}

// Ctrl-C while one seed's map is half written: the gallery stops its
// children, removes what they left and exits with 128 + SIGINT.
TEST(Gallery, InterruptLeavesNoPartialFile) {
  scratch_dir dir;
  const std::string fake = write_fake_vormap(dir);
  setenv("FAKE_VORMAP_HANG", "1", 1);
  std::vector<std::string> words = {"vxltool", "gallery", "--jobs", "2", "--vormap", fake, "12,13", dir / "out"};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string log = dir / "log";
  posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, VXLTOOL_EXE, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  unsetenv("FAKE_VORMAP_HANG");

  const auto start = std::chrono::steady_clock::now();
  const auto waited = [&] { return std::chrono::steady_clock::now() - start; };
  while (!std::filesystem::exists(dir / "out/.13.vxl.tmpABCDEF") && waited() < std::chrono::seconds(30))
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(std::filesystem::exists(dir / "out/.13.vxl.tmpABCDEF"));
  ::kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_LT(waited(), std::chrono::seconds(30)) << "the hanging child was not stopped";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGINT);
  const std::vector<uint8_t> err = read_bytes(log);
  EXPECT_TRUE(has(std::string(err.begin(), err.end()), "stopped by signal 2")) << std::string(err.begin(), err.end());
  for (const std::string& name : names_in(dir / "out")) {
    EXPECT_FALSE(has(name, ".tmp")) << name;
    EXPECT_NE(name, "13.vxl");
  }
  // Seed 12 is either whole or not there: a run without the hang finishes it.
  const process_result again = gallery({"12", "out"}, dir.path());
  ASSERT_EQ(again.exit_status, 0) << again.err;
  EXPECT_EQ(read_bytes(dir / "out/12.vxl"), vormap_map(dir, "12", false));
}

}  // namespace
}  // namespace vormap

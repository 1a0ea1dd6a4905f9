// `vxltool gallery` run as a user runs it, with the built vormap beside it:
// the maps are vormap's own bytes, a second run keeps what is good and
// remakes what is not, a failing seed does not stop the others, bad command
// lines make nothing, and an interrupted gallery leaves no partial file.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
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
    EXPECT_TRUE(has(html, "[" + seed + ",1,")) << "seed " << seed << "'s row, with its 3D page";
  }
  EXPECT_TRUE(has(html, "\"command\":\"vormap -s SEED -o SEED.vxl\"")) << "the cards' command";
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

// Several variants of each seed, in process and through a vormap program:
// each map is the one vormap makes of its name, with files, cards and
// records named by the variant.
TEST(Gallery, VariantsOfEachSeedAreNamedByTheirVariant) {
  scratch_dir dir;
  for (const bool child : {false, true}) {
    const std::string out = child ? "child" : "own";
    std::vector<std::string> args = {"--no-pages", "--water", "0.5", "--variant", "default", "--variant",
                                     "lake=north,symmetry=mirror", "3,-4", out};
    if (child) args.insert(args.begin(), {"--vormap", VORMAP_EXE});
    const process_result r = gallery(args, dir.path());
    ASSERT_EQ(r.exit_status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "4 maps in " + out)) << r.out;
    for (const std::string seed : {"3", "-4"})
      for (const std::string variant : {"water=0.5", "lake=north,symmetry=mirror,water=0.5"}) {
        const std::string file = out + "/" + seed + "+" + variant + ".vxl";
        const process_result made = run_process(VORMAP_EXE, {"--map", seed + ":" + variant, "-o", dir / "ref.vxl"});
        ASSERT_EQ(made.exit_status, 0) << made.err;
        EXPECT_EQ(read_bytes(dir / file), read_bytes(dir / "ref.vxl")) << file;
        EXPECT_EQ(png_size(dir / (out + "/" + seed + "+" + variant + ".thumb.png")), std::make_pair(128, 128));
      }
    const std::vector<uint8_t> json = read_bytes(dir / (out + "/figures.json"));
    EXPECT_TRUE(has(std::string(json.begin(), json.end()), "{\"seed\":-4,\"map\":\"-4:lake=north,symmetry=mirror,water=0.5\","));
    const std::vector<uint8_t> csv = read_bytes(dir / (out + "/figures.csv"));
    EXPECT_TRUE(has(std::string(csv.begin(), csv.end()), "seed,map,water_percent,"));
    const std::vector<uint8_t> index = read_bytes(dir / (out + "/index.html"));
    EXPECT_TRUE(has(std::string(index.begin(), index.end()), "\"lake=north,symmetry=mirror,water=0.5\"]"));
  }
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
      {{"--vormap=", "1", "out"}, 2, "--vormap needs a path, not an empty value"},
      {{"--lake", "up", "1", "out"}, 2, "lake 'up' is not east, north, west or south"},
      {{"--variant", "lake=north,hills=9", "1", "out"}, 2, "bad --variant: hills '9' is outside 0.25 to 1.75"},
      {{"--variant", "x", "1", "out"}, 2, "bad --variant: option 'x' has no '='"},
      {{"--variant", "default", "--variant", "lake=east", "1", "out"}, 2,
       "--variant 'lake=east' makes the same maps as an earlier one"},
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
  // vormap writes into a new file of the gallery's (".13.vxl.tmpXXXXXX"),
  // and the fake one starts its own temporary file beside that.
  const auto child_started = [&] {
    if (!std::filesystem::exists(dir / "out")) return false;
    for (const std::string& name : names_in(dir / "out"))
      if (name.starts_with("..13.vxl.tmp") && name.ends_with(".tmpABCDEF")) return true;
    return false;
  };
  while (!child_started() && waited() < std::chrono::seconds(30))
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(child_started());
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

bool is_link(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// OUTDIR may be shared: links planted under the names of the gallery's files
// are never written through (the seed, or the page, is refused instead).
TEST(Gallery, NeverWritesThroughLinksInOutdir) {
  const struct {
    const char* name;
    const char* refusal;  // on standard error
  } cases[] = {
      {"7.vxl", "seed 7 failed: 7.vxl is a symbolic link"},
      {"7.png", "seed 7 failed: 7.png is a symbolic link"},
      {"7.thumb.png", "seed 7 failed: 7.thumb.png is a symbolic link"},
      {"7.html", "seed 7 failed: 7.html is a symbolic link"},
      {"7.made", "seed 7 failed: 7.made is a symbolic link"},
      {"index.html", "cannot write 'out/index.html': it is a symbolic link"},
  };
  for (const auto& c : cases) {
    for (const bool dangling : {false, true}) {
      scratch_dir dir;
      make_dirs(dir / "out");
      if (!dangling) write_text(dir / "victim", "victim");
      ASSERT_EQ(::symlink("../victim", (dir / "out/" + c.name).c_str()), 0);
      const process_result r = gallery({"7", "out"}, dir.path());
      const std::string what = std::string(c.name) + (dangling ? " (dangling)" : "");
      EXPECT_EQ(r.exit_status, 1) << what << ": " << r.err;
      EXPECT_TRUE(has(r.err, c.refusal)) << what << ": " << r.err;
      EXPECT_TRUE(is_link(dir / "out/" + c.name)) << what;
      if (dangling)
        EXPECT_FALSE(std::filesystem::exists(dir / "victim")) << what << ": the link's target was made";
      else
        EXPECT_EQ(read_bytes(dir / "victim"), std::vector<uint8_t>({'v', 'i', 'c', 't', 'i', 'm'})) << what;
    }
  }
}

// A pipe under a map's name neither hangs the gallery nor is written to.
TEST(Gallery, RefusesAPipeInOutdirWithoutWaiting) {
  scratch_dir dir;
  make_dirs(dir / "out");
  ASSERT_EQ(::mkfifo((dir / "out/7.vxl").c_str(), 0644), 0);
  const process_result r = gallery({"7,8", "out"}, dir.path());
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_TRUE(has(r.err, "seed 7 failed: 7.vxl is not a regular file")) << r.err;
  EXPECT_EQ(read_bytes(dir / "out/8.vxl"), vormap_map(dir, "8", false)) << "the other seed is made";
}

// A fake vormap that makes the map and then kills the gallery that started
// it: a stop just after the map is written, from outside.
std::string write_killing_vormap(const scratch_dir& dir) {
  const std::string path = dir / "killing-vormap";
  write_text(path, "#!/bin/sh\n'" VORMAP_EXE "' \"$@\" && kill -KILL $PPID\nsleep 5\n");
  ::chmod(path.c_str(), 0755);
  return path;
}

// A run stopped at any point, by a signal or a full disk, with one -d, and
// then run again with the other: the second run leaves exactly what a run
// of its own makes, whether the folder was empty or held that run's files.
TEST(Gallery, ResumeAfterAStopAtAnyStepMakesTheRightFiles) {
  scratch_dir dir;
  const std::string killer = write_killing_vormap(dir);
  // What a plain run makes.
  ASSERT_EQ(gallery({"7", "plain"}, dir.path()).exit_status, 0);
  const char* files[] = {"7.vxl", "7.png", "7.thumb.png", "7.html", "7.made"};
  const struct {
    const char* fault;  // VXLTOOL_GALLERY_FAULT, or "" for the killing vormap
    bool killed;
  } stops[] = {
      {"", true},          {"vxl:kill", true},   {"png:kill", true},   {"thumb.png:kill", true},
      {"html:kill", true}, {"made:kill", true},  {"vxl:full", false},  {"png:full", false},
      {"thumb.png:full", false}, {"html:full", false}, {"made:full", false},
  };
  for (const auto& stop : stops) {
    for (const bool from_plain : {false, true}) {
      const std::string what = std::string(*stop.fault ? stop.fault : "killed after the map") +
                               (from_plain ? ", over a plain gallery" : ", in an empty folder");
      std::filesystem::remove_all(dir / "out");
      if (from_plain) std::filesystem::copy(dir / "plain", dir / "out");
      std::vector<std::string> args = {"-d", "7", "out"};
      if (!*stop.fault) args = {"--vormap", killer, "-d", "7", "out"};
      if (*stop.fault) setenv("VXLTOOL_GALLERY_FAULT", stop.fault, 1);
      const process_result stopped = gallery(args, dir.path());
      unsetenv("VXLTOOL_GALLERY_FAULT");
      EXPECT_EQ(stopped.exit_status, stop.killed ? -1 : 1) << what << ": " << stopped.err;

      const process_result resumed = gallery({"7", "out"}, dir.path());
      EXPECT_EQ(resumed.exit_status, 0) << what << ": " << resumed.err;
      for (const char* file : files)
        EXPECT_EQ(read_bytes(dir / "out/" + file), read_bytes(dir / "plain/" + file)) << what << ": " << file;
      for (const std::string& name : names_in(dir / "out")) EXPECT_FALSE(has(name, ".tmp")) << what << ": " << name;
    }
  }
}

// A stamp that cannot be read is no proof of how the map was made.
TEST(Gallery, UnreadableStampIsNotTrusted) {
  scratch_dir dir;
  ASSERT_EQ(gallery({"-d", "7", "out"}, dir.path()).exit_status, 0);
  // Too large to be a stamp (sparse, 2 GiB): the map is made again.
  ASSERT_EQ(::truncate((dir / "out/7.made").c_str(), off_t{2} << 30), 0);
  process_result r = gallery({"7", "out"}, dir.path());
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_EQ(read_bytes(dir / "out/7.vxl"), vormap_map(dir, "7", false));
  // A folder in its place: the seed is refused, its map not shown as kept.
  std::filesystem::remove(dir / "out/7.made");
  make_dirs(dir / "out/7.made");
  r = gallery({"-d", "7", "out"}, dir.path());
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_TRUE(has(r.err, "seed 7 failed: 7.made is not a regular file")) << r.err;
  EXPECT_TRUE(has(r.out, "0 maps in out (0 made, 0 kept, 1 failed)")) << r.out;
}

// Two galleries on one folder would mix their maps and stamps: the second
// is refused while the first holds the folder.
TEST(Gallery, SecondGalleryOnTheSameFolderIsRefused) {
  scratch_dir dir;
  make_dirs(dir / "out");
  const int fd = ::open((dir / "out").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  const process_result r = gallery({"7", "out"}, dir.path());
  ::close(fd);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.err, "vxltool: gallery: another gallery is writing in 'out'; run this one when it has finished\n");
  EXPECT_TRUE(names_in(dir / "out").empty());
}

// Temporary files a killed run left are removed; files of other names stay.
TEST(Gallery, ClearsItsOwnStaleTemporaryFiles) {
  scratch_dir dir;
  make_dirs(dir / "out");
  const std::vector<std::string> stale = {".7.vxl.tmpABCDEF", "..7.vxl.tmpABCDEF.tmpGHIJKL", ".-3.made.tmpa1b2c3",
                                          ".index.html.tmpQWERTY", ".figures.csv.tmpZZ9900"};
  const std::vector<std::string> others = {".notes.txt.tmpABCDEF", ".7.vxl.tmpABC", "7.vxl.tmpABCDEF",
                                           ".7x.vxl.tmpABCDEF", ".7.vxl.tmpAB-DEF", "...7.vxl.tmpABCDEF"};
  for (const std::string& name : stale) write_text(dir / "out/" + name, "x");
  for (const std::string& name : others) write_text(dir / "out/" + name, "x");
  const process_result r = gallery({"7", "out"}, dir.path());
  ASSERT_EQ(r.exit_status, 0) << r.err;
  for (const std::string& name : stale) EXPECT_FALSE(std::filesystem::exists(dir / "out/" + name)) << name;
  for (const std::string& name : others) EXPECT_TRUE(std::filesystem::exists(dir / "out/" + name)) << name;
}

// The printed list is the only record of random seeds: not printed, not run.
TEST(Gallery, FullStandardOutputIsAFailure) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
  scratch_dir dir;
  const std::string line =
      "cd '" + dir.path() + "' && '" VXLTOOL_EXE "' gallery random:2 out > /dev/full 2> err.txt";
  const int status = std::system(line.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const std::vector<uint8_t> err = read_bytes(dir / "err.txt");
  EXPECT_EQ(std::string(err.begin(), err.end()),
            "vxltool: gallery: cannot write standard output: No space left on device\n");
}

}  // namespace
}  // namespace vormap

// End-to-end runs of the built vxltool on small scenes written by the writer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/run_process.h"
#include "tests/support/scratch_dir.h"
#include "world/voxel_world.h"
#include "vxl/vxl_writer.h"

namespace vormap {
namespace {

using testing::process_result;
using testing::run_process;

constexpr uint32_t ground = 0x80408040u, plateau = 0x80a0a0a0u, water = 0x802040c0u, tree = 0x80104010u;

// Ground at height 10, a plateau at 20 (x, y 100..149), a lake at 0
// (x, y 300..349) and one tree column up to 14 at (200, 200).
void build_scene(voxel_world& world, bool with_tree) {
  for (int x = 0; x < world_size; ++x) {
    for (int y = 0; y < world_size; ++y) {
      const bool on_plateau = x >= 100 && x < 150 && y >= 100 && y < 150;
      const bool in_lake = x >= 300 && x < 350 && y >= 300 && y < 350;
      world.fill_column_span(x, y, 0, in_lake ? 0 : on_plateau ? 20 : 10, in_lake ? water : on_plateau ? plateau : ground);
    }
  }
  if (with_tree) world.fill_column_span(200, 200, 11, 14, tree);
}

struct png_pixels {
  int width = 0, height = 0, channels = 0;
  std::vector<uint8_t> data;
  std::vector<int> at(int x, int y) const {
    const auto* p = &data[(static_cast<size_t>(y) * width + x) * channels];
    return std::vector<int>(p, p + channels);
  }
};

png_pixels read_png(const std::string& path) {
  png_image header{};
  header.version = PNG_IMAGE_VERSION;
  png_pixels out;
  if (png_image_begin_read_from_file(&header, path.c_str()) == 0) {
    ADD_FAILURE() << "cannot read " << path << ": " << header.message;
    return out;
  }
  const bool grey = (header.format & PNG_FORMAT_FLAG_COLOR) == 0;
  header.format = grey ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;
  out.width = static_cast<int>(header.width);
  out.height = static_cast<int>(header.height);
  out.channels = grey ? 1 : 3;
  out.data.resize(PNG_IMAGE_SIZE(header));
  EXPECT_NE(png_image_finish_read(&header, nullptr, out.data.data(), 0, nullptr), 0) << header.message;
  return out;
}

std::vector<int> rgb(uint32_t color) {
  return {static_cast<int>(color >> 16 & 0xFF), static_cast<int>(color >> 8 & 0xFF), static_cast<int>(color & 0xFF)};
}

class Vxltool : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char name[] = "/tmp/vormap-vxltool-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    dir_ = name;
    std::string error;
    const auto scene = voxel_world::create();
    build_scene(*scene, true);
    solid_voxels_ = std::count(scene->voxel_solid.begin(), scene->voxel_solid.end(), 1);
    ASSERT_TRUE(write_vxl(*scene, 2, dir_ + "/scene.vxl", error)) << error;
    const auto changed = voxel_world::create();
    build_scene(*changed, false);
    changed->fill_column_span(400, 400, 10, 10, 0x806060ffu);  // recolour one top voxel
    ASSERT_TRUE(write_vxl(*changed, 2, dir_ + "/changed.vxl", error)) << error;
    std::ifstream in(dir_ + "/scene.vxl", std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    std::ofstream(dir_ + "/cut.vxl", std::ios::binary) << bytes.substr(0, 1000);
  }
  static void TearDownTestSuite() { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  static process_result run(const std::vector<std::string>& args) {
    return run_process(VXLTOOL_EXE, args, "vxltool", dir_);
  }
  static std::string dir_;
  static long solid_voxels_;
};
std::string Vxltool::dir_;
long Vxltool::solid_voxels_ = 0;

TEST_F(Vxltool, InfoSummarisesTheMap) {
  const process_result r = run({"info", "scene.vxl"});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const long size = static_cast<long>(std::ifstream(dir_ + "/scene.vxl", std::ios::binary | std::ios::ate).tellg());
  for (const std::string& line : std::vector<std::string>{
           "size             " + std::to_string(size) + " bytes\n",
           std::string("columns          262144 (512 x 512, 64 voxels tall)\n"),
           "solid voxels     " + std::to_string(solid_voxels_) + "\n",
           std::string("empty columns    0\n"),
           std::string("most common surface colours:\n  0x80408040  rgb( 64, 128,  64)"),
           std::string("  min_height                    0 voxels\n"),
           std::string("  max_height                   20 voxels\n"),
           std::string("  water_percent             0.954 %\n"),  // 2500 columns
       })
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\nin:\n" << r.out;

  // The same figures as one JSON object.
  const process_result json = run({"info", "--json", "scene.vxl"});
  ASSERT_EQ(json.exit_status, 0) << json.err;
  EXPECT_EQ(json.out.front(), '{');
  EXPECT_EQ(json.out.substr(json.out.size() - 2), "}\n");
  for (const std::string& pair : {std::string("\"file\": \"scene.vxl\""), "\"size\": " + std::to_string(size),
                                  std::string("\"max_height\": 20"), std::string("\"water_percent\": 0.954"),
                                  std::string("\"fairness\": ")})
    EXPECT_NE(json.out.find(pair), std::string::npos) << pair << "\nin:\n" << json.out;
}

TEST_F(Vxltool, PreviewShowsTopColorsLitFromTheTopLeft) {
  ASSERT_EQ(run({"preview", "scene.vxl", "p.png"}).exit_status, 0);
  const png_pixels p = read_png(dir_ + "/p.png");
  ASSERT_EQ(p.width, 512);
  ASSERT_EQ(p.height, 512);
  ASSERT_EQ(p.channels, 3);
  EXPECT_EQ(p.at(50, 50), rgb(ground));  // flat ground keeps its colour
  EXPECT_EQ(p.at(125, 125), rgb(plateau));
  EXPECT_EQ(p.at(325, 325), rgb(water));
  EXPECT_EQ(p.at(200, 200), rgb(tree));  // the tree's top, its four neighbours at one height
  // The plateau's edge facing the light (small x) is brighter, the far edge darker.
  EXPECT_GT(p.at(100, 125)[0], 0xa0);
  EXPECT_LT(p.at(149, 125)[0], 0xa0);
  EXPECT_GT(p.at(125, 100)[0], 0xa0);
  EXPECT_LT(p.at(125, 149)[0], 0xa0);

  ASSERT_EQ(run({"preview", "--scale", "3", "scene.vxl", "big.png"}).exit_status, 0);
  const png_pixels big = read_png(dir_ + "/big.png");
  ASSERT_EQ(big.width, 1536);
  ASSERT_EQ(big.height, 1536);
  for (auto [x, y] : {std::pair{125, 125}, {325, 325}, {100, 125}})
    for (int k : {0, 2}) EXPECT_EQ(big.at(3 * x + k, 3 * y + k), p.at(x, y)) << x << "," << y;
}

TEST_F(Vxltool, HeightmapIsGreyByHeight) {
  // The scene's heights: the lake 0, the ground 10, the tree 14, the
  // plateau 20 (the highest), at (325, 325), (50, 50), (200, 200) and (125, 125).
  struct scale_case {
    std::vector<std::string> options;
    std::vector<int> greys;  // lake, ground, tree, plateau
  };
  const std::vector<scale_case> cases = {
      {{"--heightmap"}, {0, 127, 178, 255}},                // (height - 0) * 255 / (20 - 0)
      {{"--heightmap", "--absolute"}, {0, 40, 56, 80}},     // height * 255 / 63
      {{"--absolute", "--heightmap"}, {0, 40, 56, 80}},
  };
  for (const scale_case& c : cases) {
    std::vector<std::string> args = {"preview", "scene.vxl", "h.png", "--scale=2"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    ASSERT_EQ(run(args).exit_status, 0) << c.options.back();
    const png_pixels h = read_png(dir_ + "/h.png");
    ASSERT_EQ(h.width, 1024);
    ASSERT_EQ(h.channels, 1);
    const std::vector<std::pair<int, int>> at = {{325, 325}, {50, 50}, {200, 200}, {125, 125}};
    for (size_t k = 0; k < at.size(); ++k)
      EXPECT_EQ(h.at(2 * at[k].first, 2 * at[k].second), std::vector<int>{c.greys[k]}) << c.options.back() << " " << k;
  }
}

TEST_F(Vxltool, DiffCountsAndListsTheDifferences) {
  const process_result same = run({"diff", "scene.vxl", "scene.vxl"});
  EXPECT_EQ(same.exit_status, 0);
  EXPECT_EQ(same.out, "the maps are the same\n");

  // The tree's 4 voxels, the ground voxel under it (hidden beneath the
  // tree, a surface voxel without it) and one recoloured voxel.
  const process_result r = run({"diff", "scene.vxl", "changed.vxl"});
  EXPECT_EQ(r.exit_status, 1) << r.err;
  EXPECT_EQ(r.out,
            "columns that differ  2 of 262144\n"
            "voxels that differ   6 of 16777216\n"
            "first differences (file z: 0 is the top, 63 the bottom):\n"
            "  column (200, 200) z 49: 0x80104010 | empty\n"
            "  column (200, 200) z 50: 0x80104010 | empty\n"
            "  column (200, 200) z 51: 0x80104010 | empty\n"
            "  column (200, 200) z 52: 0x80104010 | empty\n"
            "  column (200, 200) z 53: solid, no colour | 0x80408040\n"
            "  column (400, 400) z 53: 0x80408040 | 0x806060ff\n");
}

TEST_F(Vxltool, CommandLineAndFileErrors) {
  struct error_case {
    std::vector<std::string> args;
    int status;
    std::string message;  // start of standard error
  };
  const std::vector<error_case> cases = {
      {{}, 2, "vxltool: no command given; try 'vxltool --help'\n"},
      {{"frob", "scene.vxl"}, 2, "vxltool: unknown command 'frob'; try 'vxltool --help'\n"},
      {{"info"}, 2, "vxltool: info: takes 1 file, not 0; try 'vxltool info --help'\n"},
      {{"diff", "scene.vxl"}, 2, "vxltool: diff: takes 2 files, not 1; try 'vxltool diff --help'\n"},
      {{"info", "--heightmap", "scene.vxl"}, 2,
       "vxltool: info: unknown option '--heightmap'; try 'vxltool info --help'\n"},
      {{"preview", "scene.vxl", "o.png", "--scale"}, 2,
       "vxltool: preview: --scale needs a value; try 'vxltool preview --help'\n"},
      {{"preview", "--scale", "9", "scene.vxl", "o.png"}, 2,
       "vxltool: preview: --scale must be a whole number from 1 to 8, not '9'; try 'vxltool preview --help'\n"},
      {{"preview", "--scale=0", "scene.vxl", "o.png"}, 2,
       "vxltool: preview: --scale must be a whole number from 1 to 8, not '0'; try 'vxltool preview --help'\n"},
      {{"preview", "--absolute", "scene.vxl", "o.png"}, 2,
       "vxltool: preview: --absolute is the scale of --heightmap, and needs it; try 'vxltool preview --help'\n"},
      {{"gallery", "--jobs", "0", "1", "g"}, 2,
       "vxltool: gallery: --jobs must be a whole number from 1 to 256, not '0'; try 'vxltool gallery --help'\n"},
      {{"help", "frob"}, 2, "vxltool: unknown command 'frob'; try 'vxltool --help'\n"},
      {{"info", "cut.vxl"}, 1,
       "vxltool: 'cut.vxl' is damaged: byte offset 1000, column (125, 0): the file ends before this column (only 125 "
       "of 262144 columns present)\n"},
      {{"info", "missing.vxl"}, 1, "vxltool: cannot open 'missing.vxl': No such file or directory\n"},
      {{"preview", "cut.vxl", "o.png"}, 1, "vxltool: 'cut.vxl' is damaged: byte offset 1000"},
      {{"preview", "scene.vxl", "no/such/o.png"}, 1,
       "vxltool: cannot create 'no/such/o.png': No such file or directory\n"},
      {{"diff", "scene.vxl", "cut.vxl"}, 2, "vxltool: 'cut.vxl' is damaged: byte offset 1000"},
      {{"view", "scene.vxl"}, 2, "vxltool: view: takes 2 files, not 1; try 'vxltool view --help'\n"},
      {{"mesh", "cut.vxl", "o.glb"}, 1, "vxltool: 'cut.vxl' is damaged: byte offset 1000"},
      {{"view", "cut.vxl", "o.html"}, 1, "vxltool: 'cut.vxl' is damaged: byte offset 1000"},
      {{"mesh", "scene.vxl", "no/such/o.glb"}, 1, "vxltool: cannot create 'no/such/o.glb': No such file or directory\n"},
      {{"view", "scene.vxl", "no/such/o.html"}, 1,
       "vxltool: cannot create 'no/such/o.html': No such file or directory\n"},
      {{"view", "scene.vxl", "."}, 1, "vxltool: cannot write '.': Is a directory\n"},
  };
  for (const error_case& k : cases) {
    const process_result r = run(k.args);
    const std::string what = k.args.empty() ? "(no arguments)" : k.args[0] + " " + (k.args.size() > 1 ? k.args[1] : "");
    EXPECT_EQ(r.exit_status, k.status) << what;
    EXPECT_EQ(r.err.substr(0, k.message.size()), k.message) << what;
    EXPECT_EQ(r.out, "") << what;
  }
  for (const char* name : {"o.png", "o.glb", "o.html"})
    EXPECT_NE(::access((dir_ + "/" + name).c_str(), F_OK), 0) << "no " << name << " from a damaged map";
  // Nor any temporary file left behind.
  for (const auto& entry : std::filesystem::directory_iterator(dir_))
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();

  EXPECT_NE(::access((dir_ + "/g").c_str(), F_OK), 0) << "a bad gallery command line made its folder";
}

TEST_F(Vxltool, FullDiskIsReported) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
  for (const char* command : {"preview", "mesh", "view"}) {
    const process_result r = run({command, "scene.vxl", "/dev/full"});
    EXPECT_EQ(r.exit_status, 1) << command;
    EXPECT_EQ(r.err, "vxltool: cannot write '/dev/full': No space left on device\n") << command;
  }
}

// The files themselves are checked by the page and mesh tests; here, that
// the commands write them whole, replacing what was there.
TEST_F(Vxltool, MeshAndViewWriteTheirFiles) {
  std::ofstream(dir_ + "/old.glb") << "old";
  const process_result mesh = run({"mesh", "scene.vxl", "old.glb"});
  ASSERT_EQ(mesh.exit_status, 0) << mesh.err;
  std::ifstream glb(dir_ + "/old.glb", std::ios::binary);
  const std::string bytes(std::istreambuf_iterator<char>(glb), {});
  EXPECT_EQ(bytes.substr(0, 4), "glTF");
  EXPECT_EQ(mesh.out.rfind("old.glb: ", 0), 0u) << mesh.out;
  EXPECT_NE(mesh.out.find(" faces merged into "), std::string::npos) << mesh.out;
  EXPECT_TRUE(mesh.out.ends_with(", " + std::to_string(bytes.size()) + " bytes\n")) << mesh.out;

  const process_result view = run({"view", "scene.vxl", "scene.html"});
  ASSERT_EQ(view.exit_status, 0) << view.err;
  EXPECT_EQ(view.out, "");
  std::ifstream page(dir_ + "/scene.html", std::ios::binary);
  const std::string html(std::istreambuf_iterator<char>(page), {});
  EXPECT_EQ(html.rfind("<!doctype html>", 0), 0u);
  EXPECT_NE(html.find("\"name\":\"scene.vxl\""), std::string::npos);
  EXPECT_EQ(html.find("@MAP_"), std::string::npos);
  EXPECT_EQ(html.find("@SCRIPT@"), std::string::npos);
}

// A full disk for the programs this test starts: files may not grow past
// `bytes` (writes fail with EFBIG instead of a signal) while it lives.
class file_size_limit {
 public:
  explicit file_size_limit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    old_handler_ = ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, old_.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~file_size_limit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    ::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit old_{};
  sighandler_t old_handler_;
};

TEST_F(Vxltool, FailedPreviewKeepsTheOldPicture) {
  // out.png itself, or a link to the picture: either way the picture stays.
  for (const bool link : {false, true}) {
    const std::string picture = dir_ + "/old-picture.png", out = dir_ + "/out.png";
    std::ofstream(picture) << "the old picture";
    ::unlink(out.c_str());
    if (link) ASSERT_EQ(::symlink("old-picture.png", out.c_str()), 0);
    else ASSERT_EQ(::rename(picture.c_str(), out.c_str()), 0);
    process_result r;
    {
      const file_size_limit full(1000);
      r = run({"preview", "--scale", "2", "scene.vxl", "out.png"});
    }
    EXPECT_EQ(r.exit_status, 1) << (link ? "link" : "file");
    EXPECT_EQ(r.err.rfind("vxltool: cannot write 'out.png': ", 0), 0u) << r.err;
    EXPECT_EQ(read_text(out), "the old picture") << (link ? "link" : "file");
    struct stat st;
    ASSERT_EQ(::lstat(out.c_str(), &st), 0);
    EXPECT_EQ(S_ISLNK(st.st_mode), link);
    for (const auto& entry : std::filesystem::directory_iterator(dir_))
      EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    ::unlink(out.c_str());
    ::unlink(picture.c_str());
  }
}

// Opens the pipe's other end again and again, so that a program blocked in
// opening it goes on (and then sees it empty) instead of hanging the test.
class pipe_opener {
 public:
  explicit pipe_opener(std::string path) : path_(std::move(path)), thread_([this] {
    while (!done_) {
      const int fd = ::open(path_.c_str(), O_RDWR | O_NONBLOCK);
      if (fd >= 0) ::close(fd);
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  }) {}
  ~pipe_opener() {
    done_ = true;
    thread_.join();
  }

 private:
  std::string path_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

TEST_F(Vxltool, PipesAndDevicesAreRefusedAsMaps) {
  const std::string fifo = dir_ + "/pipe.vxl";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const pipe_opener opener(fifo);
  const struct {
    std::vector<std::string> args;
    int status;
    const char* path;
  } cases[] = {
      {{"info", "pipe.vxl"}, 1, "pipe.vxl"},
      {{"preview", "pipe.vxl", "o.png"}, 1, "pipe.vxl"},
      {{"diff", "scene.vxl", "pipe.vxl"}, 2, "pipe.vxl"},
      {{"view", "pipe.vxl", "o.html"}, 1, "pipe.vxl"},
      {{"mesh", "pipe.vxl", "o.glb"}, 1, "pipe.vxl"},
      {{"info", "/dev/zero"}, 1, "/dev/zero"},
      {{"info", "."}, 1, "."},
  };
  for (const auto& c : cases) {
    const process_result r = run(c.args);
    EXPECT_EQ(r.exit_status, c.status) << c.args[0] << " " << c.path;
    EXPECT_EQ(r.err, std::string("vxltool: cannot read '") + c.path + "': not a regular file\n") << c.args[0];
  }
  ::unlink(fifo.c_str());
}

// A file name may hold any bytes; the mesh carries them as UTF-8, as the 3D
// page does, instead of failing on them.
TEST_F(Vxltool, MeshOfAMapWhoseNameIsNotUtf8) {
  const std::string odd = "bad\xff.vxl";
  std::filesystem::copy_file(dir_ + "/scene.vxl", dir_ + "/" + odd);
  const process_result r = run({"mesh", odd, "odd.glb"});
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_EQ(read_text(dir_ + "/odd.glb").substr(0, 4), "glTF");
  EXPECT_NE(read_text(dir_ + "/odd.glb").find("bad\xef\xbf\xbd.vxl"), std::string::npos) << "U+FFFD in the name";
  for (const auto& entry : std::filesystem::directory_iterator(dir_))
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
  ::unlink((dir_ + "/" + odd).c_str());
  ::unlink((dir_ + "/odd.glb").c_str());
}

// What a command prints must reach standard output: a full disk there is a
// failure.
TEST_F(Vxltool, FullStandardOutputIsAFailure) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
  for (const std::string command : {"info scene.vxl", "diff scene.vxl scene.vxl", "mesh scene.vxl o.glb", "--help"}) {
    const std::string line = "cd '" + dir_ + "' && '" VXLTOOL_EXE "' " + command + " > /dev/full 2> err.txt";
    const int status = std::system(line.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << command;
    EXPECT_EQ(WEXITSTATUS(status), 1) << command;
    EXPECT_EQ(read_text(dir_ + "/err.txt"), "vxltool: cannot write standard output: No space left on device\n")
        << command;
  }
  ::unlink((dir_ + "/o.glb").c_str());
}

// Names that would change how a page parses if they were put in it as they
// are ("<!--" and "<script" inside a script element); the pages themselves
// are loaded with such names in the browser tests.
TEST_F(Vxltool, PageDataEscapesMarkup) {
  const std::string odd = "a<!--<script>&b.vxl";
  std::filesystem::copy_file(dir_ + "/scene.vxl", dir_ + "/" + odd);
  const process_result r = run({"view", odd, "odd.html"});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  const std::string html = read_text(dir_ + "/odd.html");
  EXPECT_NE(html.find("\"name\":\"a\\u003c!--\\u003cscript\\u003e\\u0026b.vxl\""), std::string::npos);
  EXPECT_EQ(html.find("<!--<script>"), std::string::npos);
  ::unlink((dir_ + "/" + odd).c_str());
  ::unlink((dir_ + "/odd.html").c_str());
}

}  // namespace
}  // namespace vormap

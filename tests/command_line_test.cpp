#include "programs/vormap/command_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/address_limit.h"
#include "tests/support/run_process.h"
#include "tests/support/scratch_dir.h"

namespace vormap {
namespace {

using testing::process_result;
using testing::run_process;

TEST(ParseSeed, FollowsAtoiWithWrapAround) {
  const std::vector<std::pair<const char*, int32_t>> cases = {
      {"5", 5},           {"-5", -5},           {"+7", 7},        {" \t\n42", 42},         {"12abc", 12},
      {"abc", 0},         {"", 0},              {"-", 0},         {"4294967297", 1},       {"2147483648", INT32_MIN},
      {"-2147483648", INT32_MIN}, {"4294967295", -1}, {"99999999999", 1215752191}, {"+-3", 0}, {"0x10", 0},
  };
  for (auto [text, seed] : cases) EXPECT_EQ(parse_seed(text), seed) << '"' << text << '"';
}

const std::string usage =
    "Usage: vormap {options}\n"
    "Options:\n"
    "   -s {seed}      Random seed; always generates the same map for a seed\n"
    "   -o {filename}  Filename to write to\n"
    "   -d             Debug; draws green & blue start regions\n"
    "\n"
    "If no seed is specified, a random one is generated.\n"
    "If no filename is written, writes to 'c:/program files/iron quarry/vxl/vormap.vxl\n";

class EndToEnd : public ::testing::Test {
 protected:
  process_result run(const std::vector<std::string>& args) { return run_process(VORMAP_EXE, args, "vormap", dir_); }
  scratch_dir scratch_;
  const std::string dir_ = scratch_.path();
};

TEST_F(EndToEnd, UsageEndsTheRunWithoutTouchingAFile) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"-h"}, {"-?"}, {"-d", "-h"}, {"-o", "x.vxl", "-h"}}) {
    const process_result r = run(args);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, usage);
    EXPECT_EQ(r.err, "");
  }
  EXPECT_NE(::access((dir_ + "/x.vxl").c_str(), F_OK), 0);
}

TEST_F(EndToEnd, UsageNamesTheProgramAsInvoked) {
  const process_result r = run_process(VORMAP_EXE, {"-h"}, "./some/where/vormap", dir_);
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "Usage: ./some/where/vormap {options}");
}

TEST_F(EndToEnd, MissingParameterIsAnErrorEvenAfterHelp) {
  for (const auto& [args, letter] : std::vector<std::pair<std::vector<std::string>, char>>{
           {{"-s"}, 's'}, {{"-h", "-s"}, 's'}, {{"-s", "5", "-o"}, 'o'}, {{"-ds"}, 's'}}) {
    const process_result r = run(args);
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string("vormap: option -") + letter + " needs a value\n");
  }
}

TEST_F(EndToEnd, LastSeedAndLastPathWin) {
  const process_result r = run({"-s", "5", "-o", "a.vxl", "-s", "7", "-o", "b.vxl"});
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_EQ(r.out, "Generating to 'b.vxl' using seed '7'\nFinished\n");
  EXPECT_EQ(r.err, "");
  EXPECT_NE(::access((dir_ + "/a.vxl").c_str(), F_OK), 0);
  EXPECT_EQ(::access((dir_ + "/b.vxl").c_str(), F_OK), 0);
}

TEST_F(EndToEnd, SeedSpellingsAndIgnoredOptions) {
  // A seed that is not a plain decimal number in range is still read as
  // atoi reads it, with a warning on standard error only.
  const std::vector<std::tuple<std::vector<std::string>, std::string, std::string>> cases = {
      {{"-s", "-5"}, "-5", ""},
      {{"-s-5"}, "-5", ""},
      {{"-ds5"}, "5", ""},
      {{"-s", " +7"}, "7", ""},
      {{"-s", "-2147483648"}, "-2147483648", ""},
      {{"-sd"}, "0", "vormap: warning: seed 'd' is not a decimal number; using 0\n"},
      {{"-s", "4294967297"}, "1", "vormap: warning: seed '4294967297' is outside -2147483648 to 2147483647; using 1\n"},
      {{"-s", "abc"}, "0", "vormap: warning: seed 'abc' is not a decimal number; using 0\n"},
      {{"-s", "12abc"}, "12", "vormap: warning: seed '12abc' is not a decimal number; using 12\n"},
      {{"-s", "abc", "-s", "3"}, "3", ""},
      {{"-s", "3", "-x", "-S", "5"}, "3", ""},
  };
  for (const auto& [args, seed, warning] : cases) {
    std::vector<std::string> full = args;
    full.insert(full.end(), {"-o", "m.vxl"});
    const process_result r = run(full);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.out, "Generating to 'm.vxl' using seed '" + seed + "'\nFinished\n") << args[1 % args.size()];
    EXPECT_EQ(r.err, warning) << args[1 % args.size()];
  }
}

// Long options beside the short ones: how each command line reads, and the
// words that are refused before anything is made.
TEST_F(EndToEnd, LongOptionsAndTheirReadings) {
  struct reading {
    std::vector<std::string> args;
    int status;
    std::string out;  // for status 0
    std::string err;
  };
  const std::vector<reading> cases = {
      {{"--seed", "5", "--output", "m.vxl"}, 0, "Generating to 'm.vxl' using seed '5'\nFinished\n", ""},
      {{"--seed=-5", "--output=m.vxl"}, 0, "Generating to 'm.vxl' using seed '-5'\nFinished\n", ""},
      {{"-s", "5", "--seed", "6", "-o", "m.vxl"}, 0, "Generating to 'm.vxl' using seed '6'\nFinished\n", ""},
      {{"--map", "5:lake=north", "-o", "m.vxl"}, 0,
       "Generating to 'm.vxl' using seed '5' as map '5:lake=north'\nFinished\n", ""},
      {{"-s", "5", "--lake", "east", "--water", "1.0", "-o", "m.vxl"}, 0,
       "Generating to 'm.vxl' using seed '5'\nFinished\n", ""},
      {{"-s", "5", "--keep", "green", "--symmetry=turn", "-o", "m.vxl"}, 0,
       "Generating to 'm.vxl' using seed '5' as map '5:symmetry=turn,keep=green'\nFinished\n", ""},
      // A short option's parameter is taken whole, dashes and all.
      {{"-s", "5", "-o", "--x.vxl"}, 0, "Generating to '--x.vxl' using seed '5'\nFinished\n", ""},
      {{"-s", "5", "-o", "m.vxl", "-", "--bogus"}, 0, "Generating to 'm.vxl' using seed '5'\nFinished\n", ""},
      {{"--bogus"}, 2, "", "vormap: unknown option '--bogus' (see vormap --help)\n"},
      {{"-s", "5", "--Seed", "5"}, 2, "", "vormap: unknown option '--Seed' (see vormap --help)\n"},
      {{"--seed", "5x"}, 2, "", "vormap: --seed '5x' is not a decimal number from -2147483648 to 2147483647\n"},
      {{"--seed", "2147483648"}, 2, "",
       "vormap: --seed '2147483648' is not a decimal number from -2147483648 to 2147483647\n"},
      {{"--seed"}, 2, "", "vormap: option --seed needs a value\n"},
      {{"--output="}, 2, "", "vormap: option --output needs a file name\n"},
      {{"--debug=1"}, 2, "", "vormap: option --debug takes no value\n"},
      {{"--lake", "up"}, 2, "", "vormap: lake 'up' is not east, north, west or south\n"},
      {{"--water", "2.5"}, 2, "", "vormap: water '2.5' is outside 0 to 2\n"},
      {{"--hills", "1e0"}, 2, "", "vormap: hills '1e0' is not a decimal number such as 1.5\n"},
      {{"--map", "5:"}, 2, "", "vormap: map name '5:': nothing after ':'\n"},
      {{"--map", "5:lake=north,lake=west"}, 2, "", "vormap: map name '5:lake=north,lake=west': lake is given twice\n"},
      {{"--lake", "\x1b[2J"}, 2, "", "vormap: lake '\\x1b[2J' is not east, north, west or south\n"},
  };
  for (const reading& c : cases) {
    std::string line;
    for (const auto& a : c.args) line += " " + a;
    const process_result r = run(c.args);
    EXPECT_EQ(r.exit_status, c.status) << line << ": " << r.err;
    EXPECT_EQ(r.out, c.out) << line;
    EXPECT_EQ(r.err, c.err) << line;
  }
  // The long forms make the same maps as the short ones.
  ASSERT_EQ(run({"-s", "9", "-d", "-o", "a.vxl"}).exit_status, 0);
  ASSERT_EQ(run({"--debug", "--seed=9", "--output", "b.vxl"}).exit_status, 0);
  EXPECT_EQ(read_bytes(dir_ + "/a.vxl"), read_bytes(dir_ + "/b.vxl"));
}

TEST_F(EndToEnd, OptionsAfterALoneDashAreIgnored) {
  const process_result plain = run({"-s", "3", "-o", "a.vxl"});
  const process_result dashed = run({"-s", "3", "-o", "b.vxl", "-", "-d", "-s", "4"});
  ASSERT_EQ(plain.exit_status, 0);
  ASSERT_EQ(dashed.exit_status, 0);
  EXPECT_EQ(dashed.out, "Generating to 'b.vxl' using seed '3'\nFinished\n");
  EXPECT_EQ(read_bytes(dir_ + "/a.vxl"), read_bytes(dir_ + "/b.vxl")) << "-d after the lone dash painted regions";
}

TEST_F(EndToEnd, WithoutSeedTheClockIsUsed) {
  const long before = static_cast<long>(std::time(nullptr));
  const process_result r = run({"-o", "m.vxl", "-x", "-S", "5"});
  const long after = static_cast<long>(std::time(nullptr));
  ASSERT_EQ(r.exit_status, 0) << r.err;
  const std::string prefix = "Generating to 'm.vxl' using seed '";
  ASSERT_EQ(r.out.rfind(prefix, 0), 0u) << r.out;
  const long seed = std::stol(r.out.substr(prefix.size()));
  EXPECT_GE(seed, static_cast<int32_t>(before));
  EXPECT_LE(seed, static_cast<int32_t>(after));
}

TEST_F(EndToEnd, MissingFolderFailsWithoutFinished) {
  const process_result r = run({"-s", "1", "-o", "no/such/dir/m.vxl"});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, "Generating to 'no/such/dir/m.vxl' using seed '1'\n");
  EXPECT_EQ(r.err, "vormap: cannot create 'no/such/dir/m.vxl': No such file or directory\n");
}

TEST_F(EndToEnd, DefaultPathFailureHintsAtTheOption) {
  struct stat st;
  if (::stat("/program files/iron quarry/vxl", &st) == 0) GTEST_SKIP() << "the game's folder exists here";
  const process_result r = run({"-s", "1"});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, "Generating to '/program files/iron quarry/vxl/vormap.vxl' using seed '1'\n");
  EXPECT_NE(r.err.find("choose a file with -o"), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
}

TEST_F(EndToEnd, AFailedWriteLeavesTheExistingMapUntouched) {
  const std::string map = dir_ + "/m.vxl";
  { std::ofstream(map) << "precious map"; }
  // A file size limit makes the write fail part-way, as a full disk would.
  const std::string script = "ulimit -f 64; trap '' XFSZ; exec '" + std::string(VORMAP_EXE) + "' -s 3 -o m.vxl";
  const process_result r = run_process("/bin/sh", {"-c", script}, "sh", dir_);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, "Generating to 'm.vxl' using seed '3'\n");
  EXPECT_NE(r.err.find("cannot write 'm.vxl': File too large"), std::string::npos) << r.err;
  const std::vector<uint8_t> kept = read_bytes(map);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "precious map");
  EXPECT_EQ(std::system(("test $(ls -A '" + dir_ + "' | wc -l) -eq 1").c_str()), 0) << "temporary file removed";
}

// Starts vormap in `dir` with the default action for SIGINT, SIGTERM and
// SIGHUP (as from a terminal), its output discarded.
pid_t start_vormap(const std::string& dir, const std::vector<std::string>& args) {
  std::vector<std::string> words = {"vormap"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    sigset_t caught;
    sigemptyset(&caught);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
      ::signal(sig, SIG_DFL);
      sigaddset(&caught, sig);
    }
    ::sigprocmask(SIG_UNBLOCK, &caught, nullptr);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    ::execv(VORMAP_EXE, argv.data());
    ::_exit(127);
  }
  return pid;
}

bool has_temporary_file(const std::string& dir, const std::string& map) {
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().filename().string().rfind("." + map + ".tmp", 0) == 0) return true;
  return false;
}

// Ended by SIGTERM, SIGINT or SIGHUP, a run leaves the old map or the new one
// and never a temporary file; when the signal ends it, it ends by that
// signal. The signals go at several moments: at once, as soon as the
// temporary file appears, and some milliseconds later (while writing, or
// after the rename).
TEST_F(EndToEnd, ASignalLeavesTheOldOrTheNewMapAndNoTemporaryFile) {
  ASSERT_EQ(run({"-s", "2", "-o", "new.vxl"}).exit_status, 0);
  const std::vector<uint8_t> new_map = read_bytes(dir_ + "/new.vxl");
  const std::vector<uint8_t> old_map = {'o', 'l', 'd'};
  const std::string work = dir_ + "/work";
  make_dirs(work);
  const struct {
    int sig;
    int ms_after_temporary_file;  // -1: at once
  } moments[] = {{SIGTERM, -1}, {SIGTERM, 0}, {SIGINT, 0}, {SIGHUP, 0}, {SIGTERM, 0},
                 {SIGTERM, 2},  {SIGTERM, 5}, {SIGTERM, 10}, {SIGTERM, 20}, {SIGTERM, 40}};
  int ended_while_writing = 0;
  for (const auto& m : moments) {
    SCOPED_TRACE(::testing::Message() << "signal " << m.sig << " at " << m.ms_after_temporary_file << " ms");
    write_bytes(work + "/k.vxl", old_map);
    const pid_t pid = start_vormap(work, {"-s", "2", "-o", "k.vxl"});
    ASSERT_GT(pid, 0);
    int status = 0;
    bool ended = false, seen = false;
    if (m.ms_after_temporary_file >= 0) {
      const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      while (!seen && !ended && std::chrono::steady_clock::now() < give_up) {
        seen = has_temporary_file(work, "k.vxl");
        if (!seen) ended = ::waitpid(pid, &status, WNOHANG) == pid;
      }
      if (seen) std::this_thread::sleep_for(std::chrono::milliseconds(m.ms_after_temporary_file));
    }
    if (!ended) {
      ::kill(pid, m.sig);
      ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    }
    const bool by_signal = WIFSIGNALED(status) && WTERMSIG(status) == m.sig;
    EXPECT_TRUE(by_signal || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << "status " << status;
    const std::vector<uint8_t> now = read_bytes(work + "/k.vxl");
    EXPECT_TRUE(now == old_map || now == new_map) << now.size() << " bytes";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(work), {}), 1) << "a temporary file is left";
    if (seen && by_signal && now == old_map) ++ended_while_writing;
  }
  EXPECT_GT(ended_while_writing, 0) << "no signal arrived while the map was being written";
}

TEST_F(EndToEnd, FullDeviceIsReported) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
  const process_result r = run({"-s", "1", "-o", "/dev/full"});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, "Generating to '/dev/full' using seed '1'\n");
  EXPECT_EQ(r.err, "vormap: cannot write '/dev/full': No space left on device\n");
}

TEST_F(EndToEnd, TheWorldIsHeldOnce) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's shadow memory hides the figure";
#endif
  const process_result r = run({"-s", "1", "-o", "m.vxl"});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  // 81 MiB of voxel grids and heights plus 3.25 MiB of height fields; a
  // second copy of the world would push this far above.
  EXPECT_LT(r.peak_rss_kib, 110 * 1024) << "peak resident memory " << r.peak_rss_kib << " KiB";
}


// Out of memory at any point, generating or on an encoder's worker thread,
// is one line and exit 1 with nothing left behind, never an abort.
TEST_F(EndToEnd, OutOfMemoryIsOneLineAndLeavesNoFile) {
#ifdef VORMAP_NO_ADDRESS_LIMIT
  GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
#else
  for (int megabytes = 30; megabytes <= 200; megabytes += 10) {
    SCOPED_TRACE(::testing::Message() << megabytes << " MB");
    const std::string script = "ulimit -v " + std::to_string(megabytes * 1024) + "; VORMAP_THREADS=16 exec '" +
                               std::string(VORMAP_EXE) + "' -s 7 -o om.vxl";
    const process_result r = run_process("/bin/sh", {"-c", script}, "sh", dir_);
    if (r.exit_status == 0) {
      EXPECT_TRUE(std::filesystem::exists(dir_ + "/om.vxl"));
      std::filesystem::remove(dir_ + "/om.vxl");
      continue;
    }
    EXPECT_EQ(r.exit_status, 1) << r.err;
    EXPECT_NE(r.err.find("memory"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_TRUE(std::filesystem::is_empty(dir_)) << "a file is left behind";
  }
#endif
}

}  // namespace
}  // namespace vormap

// vxltool search from the outside: shards merge to the whole search, a
// stopped search resumes to the same output, --where and --top select what
// filtering and sorting the full output would.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/run_process.h"
#include "tests/support/scratch_dir.h"

extern char** environ;

namespace vormap {
namespace {

using testing::process_result;
using testing::run_process;

constexpr const char* seeds = "-3-26";  // 30 seeds

process_result search(std::vector<std::string> args) {
  args.insert(args.begin(), "search");
  return run_process(VXLTOOL_EXE, args);
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

long long seed_of(const std::string& record) {  // jsonl or csv
  const size_t colon = record.find(':');
  return std::stoll(record[0] == '{' ? record.substr(colon + 1) : record.substr(0, record.find(',')));
}

// The whole search, made once for every test.
const std::string& full_jsonl() {
  static const std::string text = [] {
    const process_result r = search({seeds, "--jobs", "2"});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    return r.out;
  }();
  return text;
}

const std::string& full_csv() {
  static const std::string text = [] {
    const process_result r = search({seeds, "--format", "csv"});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    return r.out;
  }();
  return text;
}

TEST(Search, RecordsComeInSeedOrderAndShardsMergeToTheWhole) {
  const std::vector<std::string> full = lines_of(full_jsonl());
  ASSERT_EQ(full.size(), 30u);
  for (size_t k = 0; k < full.size(); ++k) EXPECT_EQ(seed_of(full[k]), -3 + static_cast<long long>(k));
  for (int shards : {1, 3, 7}) {
    std::vector<std::string> merged;
    for (int k = 0; k < shards; ++k) {
      const process_result r = search({seeds, "--shard", std::to_string(k) + "/" + std::to_string(shards)});
      ASSERT_EQ(r.exit_status, 0) << r.err;
      for (const std::string& line : lines_of(r.out)) merged.push_back(line);
    }
    std::sort(merged.begin(), merged.end(),
              [](const std::string& a, const std::string& b) { return seed_of(a) < seed_of(b); });
    EXPECT_EQ(merged, full) << shards << " shards";
  }
}

// Each row: an expression and what it means, over the figures of a CSV row.
using row = std::map<std::string, double>;

TEST(Search, WhereSelectsWhatFilteringTheFullOutputDoes) {
  const std::vector<std::string> lines = lines_of(full_csv());
  ASSERT_GT(lines.size(), 1u);
  std::vector<std::string> keys;
  {
    std::istringstream header(lines[0]);
    for (std::string key; std::getline(header, key, ',');) keys.push_back(key);
  }
  std::vector<row> rows;
  for (size_t k = 1; k < lines.size(); ++k) {
    std::istringstream in(lines[k]);
    row r;
    size_t i = 0;
    for (std::string value; std::getline(in, value, ',');) r[keys[i++]] = std::stod(value);
    rows.push_back(r);
  }
  const double median_fairness = [&] {
    std::vector<double> f;
    for (const row& r : rows) f.push_back(r.at("fairness"));
    std::nth_element(f.begin(), f.begin() + static_cast<long>(f.size() / 2), f.end());
    return f[f.size() / 2];
  }();
  const std::string m = std::to_string(median_fairness);
  const std::vector<std::pair<std::string, std::function<bool(const row&)>>> cases = {
      {"fairness >= " + m, [&](const row& r) { return r.at("fairness") >= std::stod(m); }},
      {"not fairness >= " + m + " and trees > 870",
       [&](const row& r) { return !(r.at("fairness") >= std::stod(m)) && r.at("trees") > 870; }},
      {"green_water_percent < 30 or (blue_max_height >= 28 and height_advantage > 10)",
       [](const row& r) {
         return r.at("green_water_percent") < 30 || (r.at("blue_max_height") >= 28 && r.at("height_advantage") > 10);
       }},
      {"water_percent != water_percent", [](const row&) { return false; }},
      {"max_height == 31", [](const row& r) { return r.at("max_height") == 31; }},
  };
  for (const auto& [expression, keep] : cases) {
    const process_result r = search({seeds, "--format", "csv", "--where", expression});
    ASSERT_EQ(r.exit_status, 0) << expression << ": " << r.err;
    std::string expected = lines[0] + "\n";
    for (size_t k = 0; k < rows.size(); ++k)
      if (keep(rows[k])) expected += lines[k + 1] + "\n";
    EXPECT_EQ(r.out, expected) << expression;
  }
}

TEST(Search, MalformedCommandLinesFailAtOnceWithOneLine) {
  scratch_dir dir;
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"all", "--where", "trees >"}, "--where: the expression ends too early"},
      {{"all", "--where", "trees > 5 )"}, "--where: unexpected ')' at column 11"},
      {{"all", "--where", "tree > 5"}, "--where: unknown figure 'tree' at column 1"},
      {{"all", "--where", "trees >> 5"}, "--where: unexpected '>' at column 8"},
      {{"all", "--top", "5"}, "--top N and --by FIGURE go together"},
      {{"all", "--top", "0", "--by", "trees"}, "--top must be a whole number"},
      {{"all", "--top", "5", "--by", "treez"}, "--by: unknown figure 'treez'"},
      {{"all", "--shard", "3/3"}, "--shard must be K/N"},
      {{"all", "--shard", "1"}, "--shard must be K/N"},
      {{"all", "--format", "xml"}, "--format must be jsonl or csv, not 'xml'"},
      {{"all", "--resume"}, "--resume needs -o FILE"},
      {{"1-", "--jobs", "2"}, "range '1-' has no end"},
      {{}, "search takes one seed list, not 0 arguments"},
      {{"all", "--wat"}, "unknown option '--wat'"},
      {{"all", "--lake", "up"}, "lake 'up' is not east, north, west or south"},
      {{"all", "--variant", "water=3"}, "bad --variant: water '3' is outside 0 to 2"},
  };
  for (const auto& [args, message] : cases) {
    const auto start = std::chrono::steady_clock::now();
    const process_result r = search(args);
    EXPECT_EQ(r.exit_status, 2) << message;
    EXPECT_EQ(r.err.rfind("vxltool: search: " + message, 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_TRUE(r.out.empty()) << message;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << message << ": work was started";
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "x"));

  // An output that cannot be written is found out before any map is made.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"all", "-o", dir / "no/such/folder.jsonl"},
        std::vector<std::string>{"all", "--top", "3", "--by", "trees", "-o", dir / "no/such/folder.jsonl"}}) {
    const process_result r = search(args);
    EXPECT_EQ(r.exit_status, 1) << args[1];
    EXPECT_EQ(r.err.rfind("vxltool: search: cannot write '" + dir / "no/such/folder.jsonl" + "': ", 0), 0u) << r.err;
  }
}

// Variants: each record names its map, holds the figures vxltool info gives
// the file vormap makes of that name, and a search resumes only with the
// same variants.
TEST(Search, VariantsAreSearchedAndNamedInEachRecord) {
  scratch_dir dir;
  const process_result r =
      search({"4-5", "--jobs", "2", "--variant", "default", "--variant", "symmetry=turn,water=1.5", "--format", "csv"});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  const std::vector<std::string> rows = lines_of(r.out);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0].rfind("seed,map,water_percent,", 0), 0u);
  EXPECT_EQ(rows[1].rfind("4,4,", 0), 0u);
  EXPECT_EQ(rows[2].rfind("4,4:symmetry=turn,water=1.5,", 0), 0u);
  EXPECT_EQ(rows[3].rfind("5,5,", 0), 0u);
  // The specified map's figures are those of a plain search.
  const process_result plain = search({"4-5", "--format", "csv"});
  EXPECT_EQ(lines_of(plain.out)[1].substr(2), rows[1].substr(4));
  // The turned map is fair, and its figures are those of its file.
  EXPECT_EQ(rows[2].substr(rows[2].rfind(',') + 1), "1") << "fairness of a symmetric map";
  const process_result made = run_process(VORMAP_EXE, {"--map", "5:lake=south", "-o", dir / "m.vxl"});
  ASSERT_EQ(made.exit_status, 0) << made.err;
  const process_result info = run_process(VXLTOOL_EXE, {"info", "--json", dir / "m.vxl"});
  const process_result south = search({"5", "--lake", "south"});
  ASSERT_EQ(south.exit_status, 0) << south.err;
  const std::string record = south.out.substr(south.out.find("\"water_percent\""));
  std::string figures = info.out.substr(info.out.find("\"water_percent\""));
  std::erase_if(figures, [](char c) { return c == ' ' || c == '\n'; });  // info prints its JSON indented
  EXPECT_EQ(record.substr(0, record.find('}')), figures.substr(0, figures.find('}')));
  EXPECT_EQ(south.out.rfind("{\"seed\":5,\"map\":\"5:lake=south\",", 0), 0u) << south.out;

  const std::string out = dir / "v.jsonl";
  ASSERT_EQ(search({"1-2", "--lake", "north", "-o", out}).exit_status, 0);
  const process_result other = search({"1-2", "--lake", "south", "-o", out, "--resume"});
  EXPECT_EQ(other.exit_status, 1) << other.err;
  EXPECT_NE(other.err.find("was written by another search"), std::string::npos) << other.err;
}

TEST(Search, TopKeepsTheBestByAFigureWithTiesBySeed) {
  const std::vector<std::string> lines = lines_of(full_csv());
  for (const char* by : {"trees", "-green_max_height"}) {
    const bool lowest = by[0] == '-';
    const std::string key = lowest ? by + 1 : by;
    size_t column = 0;
    {
      std::istringstream header(lines[0]);
      for (std::string k; std::getline(header, k, ',') && k != key;) ++column;
    }
    std::vector<std::pair<double, long long>> ranked;
    for (size_t k = 1; k < lines.size(); ++k) {
      std::istringstream in(lines[k]);
      std::string value;
      for (size_t c = 0; c <= column; ++c) std::getline(in, value, ',');
      ranked.emplace_back(lowest ? std::stod(value) : -std::stod(value), seed_of(lines[k]));
    }
    std::sort(ranked.begin(), ranked.end());
    const process_result r = search({seeds, "--top", "5", "--by", by, "--format", "csv"});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    const std::vector<std::string> top = lines_of(r.out);
    ASSERT_EQ(top.size(), 6u) << r.out;
    for (size_t k = 0; k < 5; ++k) EXPECT_EQ(seed_of(top[k + 1]), ranked[k].second) << by << " rank " << k;
  }
}

// Starts a search with `args` and stops it with SIGINT once `ready` holds,
// after calling `meanwhile`. Returns the exit status.
int search_until(const std::vector<std::string>& args, const std::function<bool()>& ready, const std::string& log,
                 const std::function<void()>& meanwhile = {}) {
  std::vector<std::string> words = {"vxltool", "search"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid;
  if (posix_spawn(&pid, VXLTOOL_EXE, &actions, nullptr, argv.data(), environ) != 0) return -1;
  posix_spawn_file_actions_destroy(&actions);
  const auto start = std::chrono::steady_clock::now();
  while (!ready() && std::chrono::steady_clock::now() - start < std::chrono::seconds(60))
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  if (meanwhile) meanwhile();
  ::kill(pid, SIGINT);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Starts a search on `path` and stops it with SIGINT once `lines` records are
// in its file. Returns the exit status.
int search_until_stopped(const std::string& path, size_t lines, const std::string& log) {
  return search_until({seeds, "--jobs", "2", "-o", path},
                      [&] { return lines_of(read_text(path)).size() >= lines; }, log);
}

TEST(Search, StoppedAndResumedEqualsUninterrupted) {
  scratch_dir dir;
  const std::string out = dir / "out.jsonl";
  ASSERT_EQ(search_until_stopped(out, 4, dir / "log"), 128 + SIGINT) << read_text(dir / "log");
  EXPECT_NE(read_text(dir / "log").find("stopped by signal 2"), std::string::npos) << read_text(dir / "log");
  const size_t kept = lines_of(read_text(out)).size();
  EXPECT_GE(kept, 4u);
  EXPECT_LT(kept, 30u) << "the search was not stopped early";

  // Another search cannot go on with this one's file.
  const process_result other = search({seeds, "--where", "trees > 0", "-o", out, "--resume"});
  EXPECT_EQ(other.exit_status, 1);
  EXPECT_NE(other.err.find("was written by another search"), std::string::npos) << other.err;

  // Resumed and stopped again at once, perhaps before any record: its
  // progress file still vouches for the whole output.
  const auto inode = [&] {
    struct stat st {};
    ::stat((out + ".progress").c_str(), &st);
    return st.st_ino;
  };
  const ino_t before = inode();
  ASSERT_EQ(search_until({seeds, "--jobs", "2", "-o", out, "--resume"}, [&] { return inode() != before; }, dir / "log"),
            128 + SIGINT)
      << read_text(dir / "log");

  // A record cut short, as a crash would leave it, is dropped and made again.
  {
    std::ofstream append(out, std::ios::app);
    append << "{\"seed\":12345,\"water_pe";
  }
  const process_result resumed = search({seeds, "--jobs", "2", "-o", out, "--resume"});
  ASSERT_EQ(resumed.exit_status, 0) << resumed.err;
  EXPECT_EQ(read_text(out), full_jsonl());
  EXPECT_NE(read_text(out + ".progress").find("\nfinished\n"), std::string::npos);

  // Resuming a finished search repeats nothing; a missing file is a fresh start.
  ASSERT_EQ(search({seeds, "-o", out, "--resume"}).exit_status, 0);
  EXPECT_EQ(read_text(out), full_jsonl());
  const process_result fresh = search({seeds, "--format", "csv", "-o", dir / "new.csv", "--resume"});
  ASSERT_EQ(fresh.exit_status, 0) << fresh.err;
  EXPECT_EQ(read_text(dir / "new.csv"), full_csv());
}

void write_text(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

bool has_control_byte(const std::string& text) {
  return std::any_of(text.begin(), text.end() - (text.empty() ? 0 : 1),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// A resume goes on only with the output of the same search, as its progress
// file left it: other arguments, an edited or emptied progress file and a
// cut or emptied output are refused in one line, and nothing is written.
TEST(Search, ResumeRefusesAnOutputItsProgressDoesNotVouchFor) {
  scratch_dir dir;
  const std::string base = dir / "base.jsonl";
  const std::vector<std::string> small = {"1000-1003", "--jobs", "2"};
  {
    std::vector<std::string> args = small;
    args.insert(args.end(), {"-o", base});
    ASSERT_EQ(search(args).exit_status, 0);
  }
  const std::string records = read_text(base), progress = read_text(base + ".progress");
  ASSERT_EQ(lines_of(records).size(), 4u);
  struct change {
    const char* what;
    std::function<void(const std::string& out)> apply;
    std::vector<std::string> other_args;
    std::string message;
  };
  const std::vector<change> cases = {
      {"finished, resumed with other arguments", [](const std::string&) {}, {"--where", "fairness > 0.9"},
       "was written by another search ('seeds 1000-1003 | where  | shard 0/1 | format jsonl')"},
      {"finished, resumed with more seeds", [](const std::string&) {}, {"1000-1039"}, "was written by another search"},
      {"progress edited to a later seed",
       [&](const std::string& out) {
         std::string edited = progress;
         edited.replace(edited.find("done 1003"), 9, "done 2000000000");
         write_text(out + ".progress", edited);
       },
       {}, ".progress' was changed or damaged (its check does not match)"},
      {"output emptied", [](const std::string& out) { write_text(out, ""); }, {}, "has 0 bytes where its progress file says"},
      {"output cut in half", [&](const std::string& out) { write_text(out, records.substr(0, records.size() / 2)); },
       {}, "it was cut or changed"},
      {"progress emptied", [](const std::string& out) { write_text(out + ".progress", ""); }, {}, ".progress' is empty"},
      {"progress of garbage", [](const std::string& out) { write_text(out + ".progress", "\x1b]0;x\a\n\x9b" "2J\n"); },
       {}, ".progress' is not a search's progress file"},
      {"progress removed", [](const std::string& out) { std::filesystem::remove(out + ".progress"); }, {},
       "has no progress file beside it"},
  };
  int k = 0;
  for (const change& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string out = dir / ("case" + std::to_string(k++) + ".jsonl");
    write_text(out, records);
    write_text(out + ".progress", progress);
    c.apply(out);
    const std::string before = read_text(out);
    std::vector<std::string> args = small;
    if (!c.other_args.empty() && c.other_args[0][0] != '-') args[0] = c.other_args[0];
    else args.insert(args.end(), c.other_args.begin(), c.other_args.end());
    args.insert(args.end(), {"-o", out, "--resume"});
    const process_result r = search(args);
    EXPECT_EQ(r.exit_status, 1) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(has_control_byte(r.err)) << r.err;
    EXPECT_EQ(read_text(out), before);
  }
}

// What cannot be an output is refused before any map is made, in words.
TEST(Search, OutputsThatCannotBeUsedAreRefusedAtOnce) {
  scratch_dir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
  std::filesystem::create_directory(dir / "folder");
  write_text(dir / "read-only", "kept");
  std::filesystem::permissions(dir / "read-only", std::filesystem::perms::owner_read);
  struct refusal {
    std::vector<std::string> args;
    std::string message;
  };
  std::vector<refusal> cases = {
      {{"all", "-o", dir / "fifo", "--resume"}, "cannot go on with '" + dir / "fifo" + "': --resume needs a regular file, which it reads back and cuts"},
      {{"all", "--top", "3", "--by", "trees", "-o", dir / "folder"}, "cannot write '" + dir / "folder" + "': Is a directory"},
      {{"all", "-o", dir / "folder"}, "cannot write '" + dir / "folder" + "': Is a directory"},
  };
  // Root may write a read-only file.
  if (::geteuid() != 0)
    cases.push_back({{"all", "--top", "3", "--by", "trees", "-o", dir / "read-only"},
                     "cannot write '" + dir / "read-only" + "': Permission denied"});
  for (const refusal& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    const process_result r = search(c.args);
    EXPECT_EQ(r.exit_status, 1) << c.message;
    EXPECT_EQ(r.err, "vxltool: search: " + c.message + "\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << c.message << ": work was started";
  }
  EXPECT_EQ(read_text(dir / "read-only"), "kept");
}

// A second search on the same output, resuming or not, is refused while the
// first runs; the first then goes on as if alone.
TEST(Search, TwoSearchesCannotWriteOneOutputAtOnce) {
  scratch_dir dir;
  const std::string out = dir / "out.jsonl";
  std::vector<process_result> others;
  const int status = search_until(
      {seeds, "--jobs", "1", "-o", out, "--resume"}, [&] { return lines_of(read_text(out)).size() >= 2; },
      dir / "log", [&] {
        others.push_back(search({seeds, "--jobs", "1", "-o", out, "--resume"}));
        others.push_back(search({seeds, "--jobs", "1", "-o", out}));
      });
  ASSERT_EQ(status, 128 + SIGINT) << read_text(dir / "log");
  for (const process_result& r : others) {
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "vxltool: search: another search is writing '" + out + "'; run this one when it has finished\n");
  }
  const process_result resumed = search({seeds, "--jobs", "2", "-o", out, "--resume"});
  ASSERT_EQ(resumed.exit_status, 0) << resumed.err;
  EXPECT_EQ(read_text(out), full_jsonl());
}

// --top keeps its best so far in the progress file: stopped and resumed, it
// writes what one run writes, and a stopped one leaves no output behind.
TEST(Search, TopStoppedAndResumedEqualsUninterrupted) {
  scratch_dir dir;
  const std::string out = dir / "top.csv";
  // Enough seeds, made one at a time, that the stop comes before the end.
  const std::vector<std::string> top = {"0-119", "--top", "4", "--by", "-mean_height", "--format", "csv", "--jobs", "2"};
  const process_result whole = search(top);
  ASSERT_EQ(whole.exit_status, 0) << whole.err;
  std::vector<std::string> args = top;
  args[8] = "1";
  args.insert(args.end(), {"-o", out});
  const int status = search_until(
      args,
      [&] {
        const std::string p = read_text(out + ".progress");
        return p.find("\ndone ") != std::string::npos && p.find("\ndone none") == std::string::npos;
      },
      dir / "log");
  ASSERT_EQ(status, 128 + SIGINT) << read_text(dir / "log");
  EXPECT_NE(read_text(dir / "log").find("run it again with --resume to go on"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(out)) << "a stopped --top search wrote its output";
  args.push_back("--resume");
  const process_result resumed = search(args);
  ASSERT_EQ(resumed.exit_status, 0) << resumed.err;
  EXPECT_EQ(resumed.err.find("/120 seeds"), std::string::npos) << "it started again: " << resumed.err;
  EXPECT_EQ(read_text(out), whole.out);
  // Finished: a resume has nothing left to do; other arguments are refused.
  EXPECT_EQ(search(args).exit_status, 0);
  EXPECT_EQ(read_text(out), whole.out);
  args[2] = "5";
  EXPECT_EQ(search(args).exit_status, 1);
}

process_result run_script(const std::string& script, const std::vector<std::string>& args) {
  std::vector<std::string> words = {std::string(VORMAP_SOURCE_DIR) + "/scripts/slurm/" + script};
  words.insert(words.end(), args.begin(), args.end());
  return run_process("/bin/bash", words, "bash");
}

// The merge takes only finished shards of one sweep, each whole, once: a
// shard killed early, cut, grown, with a seed twice, or a wrong N is refused
// in one line naming the shard, and no merged file is written.
TEST(Search, MergeRefusesUnfinishedCutOrDuplicatedShards) {
  scratch_dir dir;
  const std::string good = dir / "good";
  std::filesystem::create_directory(good);
  for (int k = 0; k < 2; ++k) {
    const process_result r = search({"0-5", "--jobs", "2", "--shard", std::to_string(k) + "/2", "-o",
                                     good + "/shard-" + std::to_string(k) + ".jsonl", "--resume"});
    ASSERT_EQ(r.exit_status, 0) << r.err;
  }
  {
    const process_result merged = run_script("merge.sh", {good, "2", dir / "merged.jsonl"});
    ASSERT_EQ(merged.exit_status, 0) << merged.err;
    const process_result whole = search({"0-5"});
    EXPECT_EQ(read_text(dir / "merged.jsonl"), whole.out);
  }
  const auto set_bytes = [](const std::string& shard) {
    std::string p = read_text(shard + ".progress");
    const size_t at = p.find("\nbytes ") + 7;
    p.replace(at, p.find('\n', at) - at, std::to_string(std::filesystem::file_size(shard)));
    write_text(shard + ".progress", p);
  };
  struct broken {
    const char* what;
    std::function<void(const std::string& folder)> apply;
    std::string n;
    std::string message;
    int status = 1;
  };
  const std::vector<broken> cases = {
      {"shard killed at once",
       [](const std::string& d) {
         std::filesystem::remove(d + "/shard-1.jsonl");
         std::filesystem::remove(d + "/shard-1.jsonl.progress");
         search_until({"0-99", "--shard", "1/2", "--jobs", "1", "-o", d + "/shard-1.jsonl", "--resume"},
                      [&] { return std::filesystem::exists(d + "/shard-1.jsonl.progress"); }, d + "/log");
         std::filesystem::remove(d + "/log");
       },
       "2", "task 1 did not finish"},
      {"shard with no progress file", [](const std::string& d) { std::filesystem::remove(d + "/shard-0.jsonl.progress"); },
       "2", "task 0 left no " },
      {"last record cut",
       [&](const std::string& d) {
         const std::string f = d + "/shard-1.jsonl";
         std::filesystem::resize_file(f, std::filesystem::file_size(f) - 10);
       },
       "2", "task 1: "},
      {"last record cut, size noted again",
       [&](const std::string& d) {
         const std::string f = d + "/shard-1.jsonl";
         std::filesystem::resize_file(f, std::filesystem::file_size(f) - 10);
         set_bytes(f);
       },
       "2", "task 1: " },
      {"a seed twice in a shard",
       [&](const std::string& d) {
         const std::string f = d + "/shard-0.jsonl";
         const std::vector<std::string> lines = lines_of(read_text(f));
         std::ofstream(f, std::ios::app) << lines.back() << "\n";
         set_bytes(f);
       },
       "2", "task 0: " + dir / "case4/shard-0.jsonl: seed 4 on line 4 is not after seed 4"},
      {"N too small", [](const std::string&) {}, "1", "task 0: "},
      {"N too large", [](const std::string&) {}, "3", "task 0: "},
      {"N zero", [](const std::string&) {}, "0", "N must be the number of tasks", 2},
      {"N not a number", [](const std::string&) {}, "abc", "N must be the number of tasks", 2},
  };
  int k = 0;
  for (const broken& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string folder = dir / ("case" + std::to_string(k++));
    std::filesystem::copy(good, folder);
    c.apply(folder);
    const process_result r = run_script("merge.sh", {folder, c.n, folder + "/merged.jsonl"});
    EXPECT_EQ(r.exit_status, c.status) << r.err;
    EXPECT_EQ(r.err.rfind("merge.sh: " + c.message, 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(std::filesystem::exists(folder + "/merged.jsonl"));
  }
}

// submit.sh hands OUTDIR to the merge job's shell as one word, whatever it
// holds: a quote in a folder's name neither breaks the merge nor runs code.
TEST(Search, SubmitPassesTheFolderToTheMergeAsOneWord) {
  scratch_dir dir;
  const std::string bin = dir / "bin";
  std::filesystem::create_directory(bin);
  // An sbatch that keeps what the merge job would run.
  write_text(bin + "/sbatch",
             "#!/bin/sh\nfor a in \"$@\"; do case $a in --wrap=*) printf '%s' \"${a#--wrap=}\" > \"$WRAP_FILE\";; esac; done\n"
             "echo 42\n");
  std::filesystem::permissions(bin + "/sbatch", std::filesystem::perms::owner_all);
  for (const std::string name : {"it's here", "x'; touch INJECTED; echo '"}) {
    SCOPED_TRACE(name);
    const std::string outdir = dir / name;
    const process_result submitted =
        run_process("/bin/bash", {"-c", "PATH=\"$2:$PATH\" WRAP_FILE=\"$3\" \"$4/scripts/slurm/submit.sh\" 0-9 \"$1\" 2",
                                  "bash", outdir, bin, dir / "wrap", VORMAP_SOURCE_DIR},
                    "bash", dir.path());
    ASSERT_EQ(submitted.exit_status, 0) << submitted.err;
    // The merge job, run as Slurm runs it, finds no shards in that very folder.
    const process_result merge = run_process("/bin/sh", {"-c", read_text(dir / "wrap")}, "sh", dir.path());
    EXPECT_EQ(merge.exit_status, 1);
    EXPECT_EQ(merge.err, "merge.sh: task 0 left no " + outdir + "/shard-0.jsonl\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "INJECTED"));
  }
  const process_result bad_n = run_script("submit.sh", {"0-9", dir / "out", "abc"});
  EXPECT_EQ(bad_n.exit_status, 2);
  EXPECT_EQ(bad_n.err.rfind("submit.sh: N must be the number of tasks", 0), 0u) << bad_n.err;
}

// The table of figures in docs/gallery.md is the program's own, so the names and units
// users read are the ones the records, --where and the page use.
TEST(Search, TheFiguresDocumentListsTheFiguresAsTheProgramDoes) {
  const process_result r = search({"--figures"});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  EXPECT_NE(r.out.find("| `fairness` | score |"), std::string::npos) << r.out;
  const std::string readme = read_text(std::string(VORMAP_SOURCE_DIR) + "/docs/gallery.md");
  EXPECT_NE(readme.find("<!-- figures: the output of `vxltool search --figures` -->\n" + r.out + "<!-- end of figures -->"),
            std::string::npos)
      << "update the table in docs/gallery.md with the output of vxltool search --figures:\n" << r.out;
}

}  // namespace
}  // namespace vormap

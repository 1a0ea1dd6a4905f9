// vxltool search from the outside: shards merge to the whole search, a
// stopped search resumes to the same output, --where and --top select what
// filtering and sorting the full output would.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
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
      {{"all", "--top", "2", "--by", "trees", "--resume", "-o", dir / "x"}, "--resume does not go with --top"},
      {{"1-", "--jobs", "2"}, "range '1-' has no end"},
      {{}, "search takes one seed list, not 0 arguments"},
      {{"all", "--wat"}, "unknown option '--wat'"},
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

// Starts a search on `path` and stops it with SIGINT once `lines` records are
// in its file. Returns the exit status.
int search_until_stopped(const std::string& path, size_t lines, const std::string& log) {
  std::vector<std::string> words = {"vxltool", "search", seeds, "--jobs", "2", "-o", path};
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
  while (lines_of(read_text(path)).size() < lines && std::chrono::steady_clock::now() - start < std::chrono::seconds(60))
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ::kill(pid, SIGINT);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

  // A record cut short, as a crash would leave it, is dropped and made again.
  {
    std::ofstream append(out, std::ios::app);
    append << "{\"seed\":12345,\"water_pe";
  }
  const process_result resumed = search({seeds, "--jobs", "2", "-o", out, "--resume"});
  ASSERT_EQ(resumed.exit_status, 0) << resumed.err;
  EXPECT_EQ(read_text(out), full_jsonl());
  EXPECT_FALSE(std::filesystem::exists(out + ".progress"));

  // Resuming a finished search repeats nothing; a missing file is a fresh start.
  ASSERT_EQ(search({seeds, "-o", out, "--resume"}).exit_status, 0);
  EXPECT_EQ(read_text(out), full_jsonl());
  const process_result fresh = search({seeds, "--format", "csv", "-o", dir / "new.csv", "--resume"});
  ASSERT_EQ(fresh.exit_status, 0) << fresh.err;
  EXPECT_EQ(read_text(dir / "new.csv"), full_csv());
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

// The programs' help and version, their one-line usage errors, and that
// every option a help names is in the manual page and the shell completions
// too, for every command in vxltool's table.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "maptools/map_figures.h"
#include "programs/vxltool/commands.h"
#include "tests/support/run_process.h"
#include "tests/support/scratch_dir.h"

namespace vormap {
namespace {

using testing::process_result;
using testing::run_process;

const std::string source_dir = VORMAP_SOURCE_DIR;

// A file of the source tree, which must be there.
std::string read_source(const std::string& path) {
  EXPECT_TRUE(std::ifstream(path)) << "cannot read " << path;
  return read_text(path);
}

// The options named in a text: words such as -d, --scale or --scale=N.
// Options are lower case; a dash before a capital is a placeholder written
// with a sign, such as --by -FIGURE.
std::set<std::string> options_in(const std::string& text) {
  static const std::regex option(R"((^|[\s\[(|,])(--?[a-z][a-z0-9-]*))");
  std::set<std::string> out;
  for (std::sregex_iterator k(text.begin(), text.end(), option), end; k != end; ++k) out.insert((*k)[2]);
  return out;
}

// The lines of a help text that list options: those starting with spaces
// and a dash.
std::string option_lines(const std::string& help) {
  static const std::regex line(R"((^|\n)( +-[^\n]*))");
  std::string out;
  for (std::sregex_iterator k(help.begin(), help.end(), line), end; k != end; ++k) out += (*k)[2].str() + "\n";
  return out;
}

// The part of a completion script for one command: from its case label
// ("info)" or "(info)") to the end of that case (";;").
std::string completion_case(const std::string& script, const std::string& command) {
  const std::regex label("(^|[\\s(|])" + command + "\\)");
  std::smatch m;
  if (!std::regex_search(script, m, label)) return "";
  const size_t from = static_cast<size_t>(m.position(0));
  return script.substr(from, script.find(";;", from) - from);
}

// A manual page's section for one command: from "## COMMAND" to the next heading.
std::string man_section(const std::string& page, const std::string& command) {
  const size_t from = page.find("\n## " + command + "\n");
  if (from == std::string::npos) return "";
  return page.substr(from, page.find("\n#", from + 1) - from);
}

bool names_option(const std::string& text, const std::string& option) {
  return std::regex_search(text, std::regex("(^|[^A-Za-z0-9-])" + option + "([^A-Za-z0-9-]|$)"));
}

// In scdoc an option is set in bold: *--scale* or *--scale=*_N_.
bool man_names_option(const std::string& text, const std::string& option) {
  return text.find("*" + option + "*") != std::string::npos || text.find("*" + option + "=") != std::string::npos;
}

TEST(HelpConsistency, EveryVxltoolOptionIsInTheManualPageAndTheCompletions) {
  const std::string man = read_source(source_dir + "/man/vxltool.1.scd");
  const std::string bash = read_source(source_dir + "/completions/vxltool.bash");
  const std::string zsh = read_source(source_dir + "/completions/_vxltool");
  for (const vxltool_command& command : vxltool_commands()) {
    const std::string name = command.name;
    const std::string section = man_section(man, name);
    const std::string bash_case = completion_case(bash, name);
    const std::string zsh_case = completion_case(zsh, name);
    EXPECT_NE(section, "") << "man/vxltool.1.scd has no '## " << name << "'";
    EXPECT_NE(bash_case, "") << "completions/vxltool.bash has no case for " << name;
    EXPECT_NE(zsh_case, "") << "completions/_vxltool has no case for " << name;
    EXPECT_TRUE(names_option(bash.substr(0, bash.find("case")), name)) << name << " is not among bash's commands";
    EXPECT_NE(zsh.find("'" + name + ":"), std::string::npos) << name << " is not among zsh's commands";
    std::set<std::string> options = options_in(command.synopsis);
    options.merge(options_in(option_lines(command.help)));
    for (const std::string& option : options) {
      EXPECT_TRUE(man_names_option(section, option)) << name << " " << option << ": not in its manual section";
      EXPECT_TRUE(names_option(bash_case, option)) << name << " " << option << ": not in the bash completion";
      EXPECT_TRUE(names_option(zsh_case, option)) << name << " " << option << ": not in the zsh completion";
    }
  }
}

TEST(HelpConsistency, EveryVormapOptionIsInTheManualPageAndTheCompletions) {
  const process_result help = run_process(VORMAP_EXE, {"--help"}, "vormap");
  ASSERT_EQ(help.exit_status, 0);
  const std::set<std::string> options = options_in(option_lines(help.out));
  EXPECT_EQ(options, (std::set<std::string>{"-s", "-o", "-d", "-h", "--help", "--version", "--seed", "--output",
                                            "--debug", "--map", "--lake", "--symmetry", "--keep", "--water", "--trees",
                                            "--hills"}));
  const std::string man = read_source(source_dir + "/man/vormap.1.scd");
  const std::string bash = read_source(source_dir + "/completions/vormap.bash");
  const std::string zsh = read_source(source_dir + "/completions/_vormap");
  for (const std::string& option : options) {
    EXPECT_TRUE(man_names_option(man, option)) << option;
    EXPECT_TRUE(names_option(bash, option)) << option;
    EXPECT_TRUE(names_option(zsh, option)) << option;
  }
}

// The completions offer the figure names after --by and inside --where from
// lists of their own (a completion cannot run the program): the same names as
// the figure table, in its order.
TEST(HelpConsistency, TheCompletionsListTheFiguresOfTheFigureTable) {
  std::string names;
  for (const figure_descriptor& figure : figure_table()) {
    if (!names.empty()) names += ' ';
    names += figure.key;
  }
  const std::string bash = read_source(source_dir + "/completions/vxltool.bash");
  const std::string zsh = read_source(source_dir + "/completions/_vxltool");
  EXPECT_NE(bash.find("\n_vxltool_figures=\"" + names + "\"\n"), std::string::npos)
      << "completions/vxltool.bash: set _vxltool_figures=\"" << names << "\"";
  EXPECT_NE(zsh.find("\nfigures=(" + names + ")\n"), std::string::npos)
      << "completions/_vxltool: set figures=(" << names << ")";
}

class Help : public ::testing::Test {
 protected:
  process_result vormap(const std::vector<std::string>& args) { return run_process(VORMAP_EXE, args, "vormap", dir_); }
  process_result vxltool(const std::vector<std::string>& args) {
    return run_process(VXLTOOL_EXE, args, "vxltool", dir_);
  }
  std::vector<std::string> files() const {
    std::vector<std::string> out;
    for (const auto& entry : std::filesystem::directory_iterator(dir_))
      if (entry.path().filename() != "registry") out.push_back(entry.path().filename().string());
    return out;
  }
  scratch_dir scratch_;
  const std::string dir_ = scratch_.path();
};

TEST_F(Help, HelpAndVersionPrintAndWriteNothing) {
  const std::string usage_start = "Usage: vormap {options}\n";
  const std::string version = std::string("vormap ") + VORMAP_VERSION + "\n";
  struct help_case {
    std::vector<std::string> args;
    std::string out_start;    // standard output starts with this
    std::string out_has;      // and holds this
  };
  const std::vector<help_case> cases = {
      {{"--version"}, version, version},
      {{"-d", "-s", "5", "--version"}, version, version},
      {{"--version", "-h"}, version, version},  // the first wins, as between -h and -d
      {{"-h", "--version"}, usage_start, "-d             Debug"},
      {{"--help"}, usage_start, "   --version                Print the program's version and exit\n"},
      {{"-o", "x.vxl", "--help", "--version"}, usage_start, "--help"},
  };
  for (const help_case& c : cases) {
    const process_result r = vormap(c.args);
    EXPECT_EQ(r.exit_status, 0) << c.args[0];
    EXPECT_EQ(r.out.rfind(c.out_start, 0), 0u) << r.out;
    EXPECT_NE(r.out.find(c.out_has), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
  }
  const process_result h = vormap({"-h"});
  EXPECT_EQ(h.out.find("--version"), std::string::npos) << "-h prints the usage text as it always was";
  EXPECT_EQ(files(), std::vector<std::string>{});

  // Only the two whole words are new: elsewhere they are what they always were.
  const process_result missing = vormap({"--version", "-s"});
  EXPECT_EQ(missing.exit_status, 2);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "vormap: option -s needs a value\n");
  const process_result named = vormap({"-s", "1", "-o", "--version"});
  EXPECT_EQ(named.exit_status, 0) << named.err;
  EXPECT_EQ(named.out, "Generating to '--version' using seed '1'\nFinished\n");
  // A word of two dashes is a long option or an error, never a cluster of
  // letters (which made --versions the seed "ions").
  const process_result cluster = vormap({"--versions", "-o", "m.vxl"});
  EXPECT_EQ(cluster.exit_status, 2);
  EXPECT_EQ(cluster.out, "");
  EXPECT_EQ(cluster.err, "vormap: unknown option '--versions' (see vormap --help)\n");
}

TEST_F(Help, VxltoolHelpForTheProgramAndEachCommand) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"help"}}) {
    const process_result r = vxltool(args);
    EXPECT_EQ(r.exit_status, 0) << args[0];
    EXPECT_EQ(r.out, vxltool_usage()) << args[0];
    EXPECT_EQ(r.err, "");
  }
  const process_result version = vxltool({"--version"});
  EXPECT_EQ(version.exit_status, 0);
  EXPECT_EQ(version.out, std::string("vxltool ") + VORMAP_VERSION + "\n");

  for (const vxltool_command& command : vxltool_commands()) {
    const std::string name = command.name;
    EXPECT_NE(vxltool_usage().find("   " + std::string(command.synopsis) + "\n"), std::string::npos) << name;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"help", name}, {name, "--help"}, {name, "-h"}, {name, "some.vxl", "--help"}}) {
      const process_result r = vxltool(args);
      EXPECT_EQ(r.exit_status, 0) << args[0] << " " << args[1];
      EXPECT_EQ(r.out, command_help(command)) << args[0] << " " << args[1];
      EXPECT_EQ(r.err, "");
    }
  }
  EXPECT_EQ(files(), std::vector<std::string>{});

  // After "--", --help is a file name.
  const process_result file = vxltool({"info", "--", "--help"});
  EXPECT_EQ(file.exit_status, 1);
  EXPECT_EQ(file.err, "vxltool: cannot open '--help': No such file or directory\n");
}

TEST_F(Help, EveryUsageErrorIsOneLineThatSaysWhereHelpIs) {
  for (const vxltool_command& command : vxltool_commands()) {
    const std::string name = command.name;
    const std::string help_hint = "try 'vxltool " + name + " --help'\n";
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{name, "--no-such-option", "a", "b"}, {name, "a", "b", "c", "d", "e"}}) {
      const process_result r = vxltool(args);
      EXPECT_EQ(r.exit_status, 2) << name;
      EXPECT_EQ(r.out, "") << name;
      EXPECT_EQ(r.err.rfind("vxltool: ", 0), 0u) << r.err;
      EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
      EXPECT_TRUE(r.err.ends_with(help_hint)) << r.err;
    }
  }
  EXPECT_EQ(files(), std::vector<std::string>{});
}

}  // namespace
}  // namespace vormap

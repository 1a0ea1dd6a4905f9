#include "programs/vormap/command_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <new>

#include "api/map_state.h"
#include "util/options.h"
#include "util/quoted_text.h"
#include "util/parallel_for.h"
#include "vormap/vormap.h"
#include "vxl/vxl_writer.h"

namespace vormap {

namespace {

constexpr const char* usage_text =
    "Usage: %s {options}\n"
    "Options:\n"
    "   -s {seed}      Random seed; always generates the same map for a seed\n"
    "   -o {filename}  Filename to write to\n"
    "   -d             Debug; draws green & blue start regions\n"
    "\n"
    "If no seed is specified, a random one is generated.\n"
    "If no filename is written, writes to 'c:/program files/iron quarry/vxl/vormap.vxl\n";

// --help: the usage text, then the long options.
constexpr const char* long_options_text =
    "   --seed N, --seed=N       The seed, a decimal number from -2147483648 to 2147483647\n"
    "   --output FILE            The file to write (as -o)\n"
    "   --debug                  As -d\n"
    "   --map NAME               The map of a name as the tools print it: SEED or\n"
    "                            SEED:lake=north,symmetry=mirror,...\n"
    "   --lake EDGE              Where the lake lies: east (default), north, west, south\n"
    "   --symmetry KIND          mirror (across x = 255.5) or turn (180 degrees); default none\n"
    "   --keep HALF              The half a symmetric map keeps: blue (default) or green\n"
    "   --water F                Lake and rivers, 0 to 2 (1 = as specified)\n"
    "   --trees F                Trees and bushes, 0 to 2\n"
    "   --hills F                Heights and relief, 0.25 to 1.75\n"
    "   -h, --help               Print this text and exit\n"
    "   --version                Print the program's version and exit\n"
    "See 'man vormap' for more.\n";

// The whole words --help and --version are read before the letter clusters,
// which would otherwise take them apart (--version is -s with the seed "ion").
// Each becomes a one-letter word of its own that no user can type, so it
// keeps its place among the other options: the first of -h, --help and
// --version wins, and a missing parameter is still found.
constexpr char help_letter = '\x01';
constexpr char version_letter = '\x02';
char help_word[] = {'-', help_letter, '\0'};
char version_word[] = {'-', version_letter, '\0'};
char debug_word[] = {'-', 'd', '\0'};

// Words made from long options; they live as long as the option list that
// points into them.
std::deque<std::string>& made_words() {
  static std::deque<std::string> words;
  return words;
}

char* make_word(std::string text) {
  made_words().push_back(std::move(text));
  return made_words().back().data();
}

// Whether `text` is a plain decimal seed: an optional minus, digits, and a
// value in the 32-bit range.
bool strict_seed(const std::string& text) {
  size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
  if (i == text.size() || text.size() - i > 10) return false;
  for (size_t j = i; j < text.size(); ++j)
    if (text[j] < '0' || text[j] > '9') return false;
  const long long v = std::stoll(text);
  return v >= -2147483648LL && v <= 2147483647LL;
}

// Rewrites the long options of argv (before a lone dash; never a word that is
// a short option's parameter) into the short words the option parser reads,
// or into `options`' variant. Returns "" or the one-line error; the new
// words are in `words`.
std::string read_long_options(int argc, char** argv, const char* param_letters, std::vector<char*>& words,
                              map_options& options) {
  words.assign(argv, argv + argc);
  std::vector<char*> out;
  out.push_back(argv[0]);
  bool options_ended = false;
  for (int j = 1; j < argc; ++j) {
    char* word = argv[j];
    if (options_ended || word[0] != '-' || word[1] == '\0') {
      if (word[0] == '-' && word[1] == '\0') options_ended = true;
      out.push_back(word);
      continue;
    }
    if (word[1] != '-' || word[2] == '\0') {
      // A letter cluster (or the bare "--", read as the letters always read
      // it): its parameter, if the cluster ends with a parameter letter, is
      // the next word, whatever it looks like.
      out.push_back(word);
      for (const char* letter = word + 1; *letter != '\0'; ++letter) {
        if (std::strchr(param_letters, *letter) == nullptr) continue;
        if (letter[1] == '\0' && j + 1 < argc) out.push_back(argv[++j]);
        break;
      }
      continue;
    }
    std::string name(word + 2);
    std::optional<std::string> value;
    if (const size_t eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    const bool flag = name == "help" || name == "version" || name == "debug";
    const bool takes_value = name == "seed" || name == "output" || name == "map" || name == "lake" ||
                             name == "symmetry" || name == "keep" || name == "water" || name == "trees" ||
                             name == "hills";
    if (!flag && !takes_value) return "unknown option " + quote_text(word) + " (see vormap --help)";
    if (flag) {
      if (value) return "option --" + name + " takes no value";
      out.push_back(name == "help" ? help_word : name == "version" ? version_word : debug_word);
      continue;
    }
    if (!value) {
      if (j + 1 >= argc) return "option --" + name + " needs a value";
      value = argv[++j];
    }
    if (name == "seed") {
      if (!strict_seed(*value))
        return "--seed " + quote_text(*value) + " is not a decimal number from -2147483648 to 2147483647";
      out.push_back(make_word("-s" + *value));
    } else if (name == "output") {
      if (value->empty()) return "option --output needs a file name";
      out.push_back(make_word("-o" + *value));
    } else if (name == "map") {
      const std::string why = parse_map_name(*value, options);
      if (!why.empty()) return why;
      out.push_back(make_word("-s" + std::to_string(options.seed)));
    } else {
      const std::string why = set_map_option(options, name, *value);
      if (!why.empty()) return why;
    }
  }
  words = std::move(out);
  words.push_back(nullptr);
  return "";
}

// Why a seed text is not the plain decimal number it reads as, or "".
std::string seed_warning(const char* text, int32_t seed) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  if (*p == '+' || *p == '-') ++p;
  const char* digits = p;
  while (*p >= '0' && *p <= '9') ++p;
  const std::string value = std::to_string(seed);
  if (p == digits || *p != '\0') return "seed " + quote_text(text) + " is not a decimal number; using " + value;
  const long long exact = std::strtoll(text, nullptr, 10);
  if (exact != seed)
    return "seed " + quote_text(text) + " is outside -2147483648 to 2147483647; using " + value;
  return "";
}

}  // namespace

// The option list lives until the process ends: -o keeps pointing into it.
char** option_list = nullptr;

int32_t parse_seed(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  uint32_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) value = value * 10u + static_cast<uint32_t>(*text - '0');
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

int vormap_main(int argc, char** argv) {
  int32_t seed = static_cast<int32_t>(static_cast<uint32_t>(std::time(nullptr)));
  const char* output_path = default_output_path;
  bool debug = false;
  const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "vormap";
  const char* last_word = argc > 1 ? argv[argc - 1] : "";

  map_options options;
  std::vector<char*> words;
  const std::string long_error = read_long_options(argc, argv, "so", words, options);
  if (!long_error.empty()) {
    std::fprintf(stderr, "vormap: %s\n", long_error.c_str());
    return exit_usage;
  }
  argc = static_cast<int>(words.size()) - 1;
  argv = words.data();
  last_word = argc > 1 ? argv[argc - 1] : "";
  int count = argc;
  option_list = parse_options(&count, argv, "so");
  if (option_list == nullptr) {
    if (count == 0) {
      const size_t n = std::strlen(last_word);
      std::fprintf(stderr, "vormap: option -%c needs a value\n", n > 0 ? last_word[n - 1] : '?');
    } else {
      std::fprintf(stderr, "vormap: out of memory while reading the command line\n");
    }
    return exit_usage;
  }

  const char* seed_text = nullptr;
  for (char** entry = option_list; *entry != nullptr; ++entry) {
    switch ((*entry)[0]) {
      case 'h':
      case '?':
        std::printf(usage_text, program);
        return exit_ok;
      case help_letter:
        std::printf(usage_text, program);
        std::fputs(long_options_text, stdout);
        return exit_ok;
      case version_letter:
        std::printf("vormap %s\n", VORMAP_VERSION);
        return exit_ok;
      case 'd':
        debug = true;
        break;
      case 'o':
        output_path = *entry + 1;
        break;
      case 's':
        seed = parse_seed(*entry + 1);
        seed_text = *entry + 1;
        break;
      default:
        break;
    }
  }

  if (seed_text != nullptr) {
    const std::string warning = seed_warning(seed_text, seed);
    if (!warning.empty()) std::fprintf(stderr, "vormap: warning: %s\n", warning.c_str());
  }
  options.seed = seed;
  if (variant_name(options).empty())
    std::printf("Generating to '%s' using seed '%d'\n", output_path, seed);
  else
    std::printf("Generating to '%s' using seed '%d' as map '%s'\n", output_path, seed, map_name(options).c_str());
  std::fflush(stdout);
  options.debug = debug;
  options.threads = thread_count();
  try {
    const map m = generate(options);
    std::string error;
    // Streamed to the file band by band, never whole in memory.
    if (!write_vxl(*m.state().world, options.threads, output_path, error)) {
      if (std::strcmp(output_path, default_output_path) == 0)
        error += " (that folder exists only where the game is installed; choose a file with -o)";
      std::fprintf(stderr, "vormap: %s\n", error.c_str());
      return exit_write_failed;
    }
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "vormap: out of memory: not enough memory to make the map\n");
    return exit_write_failed;
  }
  std::printf("Finished\n");
  return exit_ok;
}

}  // namespace vormap

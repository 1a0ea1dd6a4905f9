#include "programs/vormap/command_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <new>

#include "api/map_state.h"
#include "util/options.h"
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

// --help: the usage text, then the two long words.
constexpr const char* long_options_text =
    "   -h, --help     Print this text and exit\n"
    "   --version      Print the program's version and exit\n"
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

void mark_long_options(int argc, char** argv, const char* param_letters) {
  for (int j = 1; j < argc; ++j) {
    const char* word = argv[j];
    if (word[0] != '-') continue;
    if (word[1] == '\0') return;  // a lone dash ends the options
    if (std::strcmp(word, "--help") == 0) {
      argv[j] = help_word;
      continue;
    }
    if (std::strcmp(word, "--version") == 0) {
      argv[j] = version_word;
      continue;
    }
    for (const char* letter = word + 1; *letter != '\0'; ++letter) {
      if (std::strchr(param_letters, *letter) == nullptr) continue;
      if (letter[1] == '\0') ++j;  // the next word is this letter's parameter
      break;
    }
  }
}

// Why a seed text is not the plain decimal number it reads as, or "".
std::string seed_warning(const char* text, int32_t seed) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  if (*p == '+' || *p == '-') ++p;
  const char* digits = p;
  while (*p >= '0' && *p <= '9') ++p;
  const std::string value = std::to_string(seed);
  if (p == digits || *p != '\0') return "seed '" + std::string(text) + "' is not a decimal number; using " + value;
  const long long exact = std::strtoll(text, nullptr, 10);
  if (exact != seed)
    return "seed '" + std::string(text) + "' is outside -2147483648 to 2147483647; using " + value;
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

  mark_long_options(argc, argv, "so");
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
  std::printf("Generating to '%s' using seed '%d'\n", output_path, seed);
  std::fflush(stdout);
  map_options options;
  options.seed = seed;
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
    std::fprintf(stderr, "vormap: not enough memory to make the map\n");
    return exit_write_failed;
  }
  std::printf("Finished\n");
  return exit_ok;
}

}  // namespace vormap

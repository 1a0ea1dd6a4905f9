#include "programs/vxltool/gallery_options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "programs/vxltool/count_argument.h"

namespace vormap {

namespace {

constexpr int max_jobs = 256;

// An argument that starts with a dash and a digit is a seed list ("-5",
// "-5--1"), not an option.
bool is_option(const std::string& arg) { return arg.size() >= 2 && arg[0] == '-' && (arg[1] < '0' || arg[1] > '9'); }

bool is_executable_file(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

bool parse_gallery_arguments(const std::vector<std::string>& args, gallery_options& out, std::string& error) {
  std::vector<std::string> positional;
  bool options_done = false;
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (options_done || !is_option(arg)) {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    if (arg == "-d") {
      out.debug = true;
      continue;
    }
    if (arg == "--no-pages") {
      out.pages = false;
      continue;
    }
    std::string name = arg, value;
    const size_t equals = arg.find('=');
    const bool inline_value = arg.rfind("--", 0) == 0 && equals != std::string::npos;
    if (inline_value) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    }
    if (name != "--jobs" && name != "--vormap" && !is_variant_option(name)) {
      error = "unknown option '" + arg + "'";
      return false;
    }
    if (!inline_value) {
      if (k + 1 == args.size()) {
        error = name + " needs a value";
        return false;
      }
      value = args[++k];
    }
    if (is_variant_option(name)) {
      if (!read_variant_option(name, value, out.variant, error)) return false;
    } else if (name == "--vormap") {
      if (value.empty()) {
        error = "--vormap needs a path, not an empty value";
        return false;
      }
      out.vormap = value;
    } else if (!parse_count_argument(value, max_jobs, out.jobs)) {
      error = "--jobs must be a whole number from 1 to " + std::to_string(max_jobs) + ", not '" + value + "'";
      return false;
    }
  }
  if (positional.size() != 2) {
    error = "takes SEEDS and OUTDIR, not " + std::to_string(positional.size()) +
            (positional.size() == 1 ? " argument" : " arguments");
    return false;
  }
  if (!parse_seed_list(positional[0], out.seeds, error)) {
    // A list short and plain enough to read is quoted; the reason quotes
    // the part at fault anyway.
    const std::string& list = positional[0];
    const bool plain =
        list.size() <= 40 && std::all_of(list.begin(), list.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
    error = (plain ? "bad SEEDS '" + list + "': " : std::string("bad SEEDS: ")) + error;
    return false;
  }
  if (!resolve_variants(out.variant, out.variants, error)) return false;
  out.outdir = positional[1];
  if (out.outdir.empty()) {
    error = "OUTDIR is empty";
    return false;
  }
  while (out.outdir.size() > 1 && out.outdir.back() == '/') out.outdir.pop_back();
  return true;
}

bool find_vormap(const std::string& option, std::string& path, std::string& error) {
  if (!option.empty()) {
    path = option;
    if (is_executable_file(path)) return true;
    error = "--vormap '" + path + "' is not an executable file";
    return false;
  }
  if (const char* env = std::getenv("VORMAP_EXE"); env != nullptr && *env != '\0') {
    path = env;
    if (is_executable_file(path)) return true;
    error = "VORMAP_EXE '" + path + "' is not an executable file";
    return false;
  }
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  const std::filesystem::path dir = ec ? std::filesystem::path(".") : self.parent_path();
  const std::string beside = (dir / "vormap").string();
  if (is_executable_file(beside)) {
    path = beside;
    return true;
  }
  error = "cannot find vormap (looked for " + beside + "); give --vormap PATH or set VORMAP_EXE";
  return false;
}

bool make_outdir(const std::string& dir, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  struct stat st;
  if (ec || ::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = "cannot make folder '" + dir + "': " + (ec ? ec.message() : std::string("not a folder"));
    return false;
  }
  if (::access(dir.c_str(), W_OK | X_OK) != 0) {
    error = "cannot write in folder '" + dir + "': " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace vormap

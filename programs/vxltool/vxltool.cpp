// vxltool: look at .vxl maps without the game. One command per file pair
// (commands.h); this file only dispatches.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "util/quoted_text.h"
#include "programs/vxltool/command_support.h"
#include "programs/vxltool/commands.h"

namespace vormap {
namespace {

bool asks_for_help(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") return false;
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

int vxltool_main(int argc, char** argv) {
  if (argc < 2) return usage_error("no command given");
  const std::string name = argv[1];
  if (name == "-h" || name == "--help") {
    std::fputs(vxltool_usage().c_str(), stdout);
    return 0;
  }
  if (name == "--version") {
    std::printf("%s\n", vxltool_version().c_str());
    return 0;
  }
  const std::vector<std::string> rest(argv + 2, argv + argc);
  const vxltool_command* command = find_vxltool_command(name);
  if (command == nullptr) return usage_error("unknown command " + quote_text(name));
  if (asks_for_help(rest)) {
    std::fputs(command_help(*command).c_str(), stdout);
    return 0;
  }
  return command->run(rest);
}

}  // namespace
}  // namespace vormap

// Whatever a command printed must have reached standard output: a full disk
// there is a failure, not a success.
int main(int argc, char** argv) {
  int status;
  try {
    status = vormap::vxltool_main(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("vxltool: out of memory\n", stderr);
    return 1;
  } catch (const std::length_error&) {
    // A size past anything that could be allocated.
    std::fputs("vxltool: out of memory\n", stderr);
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vxltool: %s\n", e.what());
    return 1;
  }
  // A command that failed has said why already.
  if (status == 0 && (std::fflush(stdout) != 0 || std::ferror(stdout) != 0)) {
    std::fprintf(stderr, "vxltool: cannot write standard output: %s\n", std::strerror(errno));
    return 1;
  }
  return status;
}

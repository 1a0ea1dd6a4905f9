// vxltool: look at .vxl maps without the game. One command per file pair
// (commands.h); this file only dispatches.
#include <cstdio>
#include <string>
#include <vector>

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
  if (command == nullptr) return usage_error("unknown command '" + name + "'");
  if (asks_for_help(rest)) {
    std::fputs(command_help(*command).c_str(), stdout);
    return 0;
  }
  return command->run(rest);
}

}  // namespace
}  // namespace vormap

int main(int argc, char** argv) { return vormap::vxltool_main(argc, argv); }

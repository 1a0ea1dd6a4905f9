// vxltool: look at .vxl maps without the game. One command per file pair
// (commands.h); this file only dispatches.
#include <cstdio>
#include <string>
#include <vector>

#include "programs/vxltool/command_support.h"
#include "programs/vxltool/commands.h"

namespace vormap {
namespace {

int vxltool_main(int argc, char** argv) {
  if (argc < 2) return usage_error("no command given");
  const std::string name = argv[1];
  if (name == "-h" || name == "--help" || name == "help") {
    std::fputs(vxltool_usage(), stdout);
    return 0;
  }
  const std::vector<std::string> rest(argv + 2, argv + argc);
  for (const vxltool_command& command : vxltool_commands())
    if (name == command.name) return command.run(rest);
  return usage_error("unknown command '" + name + "'");
}

}  // namespace
}  // namespace vormap

int main(int argc, char** argv) { return vormap::vxltool_main(argc, argv); }

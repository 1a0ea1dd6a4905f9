#include "programs/vxltool/commands.h"

#include <cstdio>

#include "programs/vxltool/command_support.h"
#include "programs/vxltool/gallery.h"

namespace vormap {
namespace {

constexpr const char* exit_status_text =
    "Exit status: 0 done (diff: the maps are the same); 1 a damaged or\n"
    "unreadable map or an unwritable file (diff: the maps differ); 2 a bad\n"
    "command line (diff: also a damaged or unreadable map).\n";

}  // namespace

const std::vector<vxltool_command>& vxltool_commands() {
  static const std::vector<vxltool_command> commands = {
      {"info", info_command, "info FILE", "size, voxels, heights, water and colours of a map",
       "Prints the file's size, its solid and surface voxels, the lowest and the\n"
       "highest column, the share of water columns and the commonest surface\n"
       "colours.\n"},
      {"preview", preview_command, "preview [--heightmap [--absolute]] [--scale N] FILE OUT.png",
       "a top-down PNG picture of a map",
       "Writes a 512 x 512 PNG picture: the top colour of each column seen from\n"
       "above, x to the right and y downward, lit from the top left so that\n"
       "relief shows.\n"
       "\n"
       "Options:\n"
       "  --heightmap   grey by height instead, stretched to the map's own range:\n"
       "                its lowest column black, its highest white\n"
       "  --absolute    with --heightmap, the fixed scale instead: height 0\n"
       "                black, 63 white\n"
       "  --scale N     each column as an N x N block of pixels, N from 1 to 8\n"
       "                (default 1)\n"},
      {"diff", diff_command, "diff A B", "the columns and voxels in which two maps differ",
       "Counts the columns and voxels in which the maps A and B differ and lists\n"
       "the first few. Exit status 0 when the maps are the same, 1 when they\n"
       "differ, 2 when a map cannot be read.\n"},
      {"gallery", gallery_main, "gallery [-d] [--jobs N] [--vormap PATH] SEEDS OUTDIR",
       "the maps of many seeds, and a page to choose one",
       "Makes the map of each seed with vormap, each in a process of its own,\n"
       "with a thumbnail, a preview, a 3D page and its figures, and\n"
       "OUTDIR/index.html to compare them and choose one. SEEDS is a\n"
       "comma-separated list of seeds and ranges, as 1-64, 7,42,-5 or -5--1, or\n"
       "random:N for N seeds drawn from the clock. Valid maps already in OUTDIR\n"
       "are kept. Exit status 1 when a seed failed, 128 + N when stopped by\n"
       "signal N.\n"
       "\n"
       "Options:\n"
       "  -d            paint the start regions, as vormap -d does\n"
       "  --jobs N      make N maps at a time, N from 1 to 256 (default: one\n"
       "                per core)\n"
       "  --vormap PATH the vormap program to run (default: the one beside\n"
       "                vxltool, else VORMAP_EXE)\n"},
      {"mesh", mesh_command, "mesh FILE OUT.glb", "the map's visible surface as a glTF 2.0 binary file",
       "Writes the faces between solid voxels and empty ones, neighbouring faces\n"
       "of one colour merged into rectangles, as a glTF 2.0 binary file that 3D\n"
       "programs open.\n"},
      {"view", view_command, "view FILE OUT.html", "one page that shows the map in 3D in a browser",
       "Writes one self-contained HTML page with the map inside: it opens from\n"
       "disk, needs no network, and shows the map in 3D to orbit or walk.\n"},
      {"help", help_command, "help [COMMAND]", "vxltool's usage, or a command's help",
       "Prints the usage of vxltool, or with COMMAND that command's help, as\n"
       "vxltool COMMAND --help does.\n"},
  };
  return commands;
}

const vxltool_command* find_vxltool_command(const std::string& name) {
  for (const vxltool_command& command : vxltool_commands())
    if (name == command.name) return &command;
  return nullptr;
}

std::string vxltool_usage() {
  std::string text = "Usage: vxltool COMMAND ARGUMENTS\nCommands:\n";
  for (const vxltool_command& command : vxltool_commands()) {
    text += "   " + std::string(command.synopsis) + "\n";
    text += "         " + std::string(command.summary) + "\n";
  }
  text +=
      "\n"
      "'vxltool help COMMAND' or 'vxltool COMMAND --help' prints a command's\n"
      "help; 'man vxltool' tells more. 'vxltool --version' prints the version.\n";
  text += exit_status_text;
  return text;
}

std::string command_help(const vxltool_command& command) {
  return "Usage: vxltool " + std::string(command.synopsis) + "\n" + command.summary + ".\n\n" + command.help;
}

std::string vxltool_version() { return std::string("vxltool ") + VORMAP_VERSION; }

int help_command(const std::vector<std::string>& args) {
  if (args.empty()) {
    std::fputs(vxltool_usage().c_str(), stdout);
    return 0;
  }
  if (args.size() > 1) return usage_error("help", "takes one COMMAND, not " + std::to_string(args.size()));
  const vxltool_command* command = find_vxltool_command(args[0]);
  if (command == nullptr) return usage_error("unknown command '" + args[0] + "'");
  std::fputs(command_help(*command).c_str(), stdout);
  return 0;
}

}  // namespace vormap

#include "programs/vxltool/commands.h"

#include <cstdio>

#include "programs/vxltool/command_support.h"
#include "programs/vxltool/gallery.h"
#include "programs/vxltool/search_command.h"

namespace vormap {
namespace {

constexpr const char* exit_status_text =
    "Exit status: 0 done (diff: the maps are the same); 1 a damaged or\n"
    "unreadable map or .vox file, or an unwritable output file (diff: the maps\n"
    "differ); 2 a bad command line (diff: also a damaged or unreadable map).\n";

}  // namespace

const std::vector<vxltool_command>& vxltool_commands() {
  static const std::vector<vxltool_command> commands = {
      {"info", info_command, "info [--json] FILE", "size, voxels, colours and figures of a map",
       "Prints the file's size, its solid and surface voxels, the commonest\n"
       "surface colours and the map's figures: water, heights, slope, flat land,\n"
       "trees, and the two start areas compared, with their fairness.\n"
       "\n"
       "Options:\n"
       "  --json        one JSON object: file, size and every figure\n"},
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
      {"gallery", gallery_main, "gallery [-d] [--jobs N] [--vormap PATH] [--no-pages] [MAP OPTIONS] SEEDS OUTDIR",
       "the maps of many seeds, and a page to choose one",
       "Makes the map of each seed, byte for byte as vormap -s SEED [-d] would,\n"
       "with a thumbnail (the start areas outlined), a preview, a 3D page and its\n"
       "figures, and OUTDIR/index.html to compare them and choose one, with\n"
       "OUTDIR/figures.csv and figures.json beside it. SEEDS is a comma-separated\n"
       "list of seeds and ranges, as 1-64, 7,42,-5 or -5--1, or random:N for N\n"
       "seeds drawn from the clock. Maps made before by the same command are\n"
       "kept; links and special files in OUTDIR are refused. Exit status 1 when\n"
       "a seed failed, 128 + N when stopped by signal N.\n"
       "\n"
       "Options:\n"
       "  -d            paint the start regions, as vormap -d does\n"
       "  --jobs N      make N maps at a time, N from 1 to 256 (default: one\n"
       "                per core)\n"
       "  --vormap PATH run this vormap program for each map instead of making\n"
       "                the maps inside vxltool (also: VORMAP_EXE)\n"
       "  --no-pages    no 3D page per map (most of the time and space)\n"
       "  --lake EDGE, --symmetry KIND, --keep HALF, --water F, --trees F,\n"
       "  --hills F     every map as vormap makes it with these options\n"
       "  --variant V   make each seed as this variant, V as in a map name after\n"
       "                its colon (lake=north,symmetry=mirror; default for none);\n"
       "                give it again for more variants of every seed\n"},
      {"mesh", mesh_command, "mesh [--meshopt | --plain] FILE OUT.glb",
       "the map's visible surface as a glTF 2.0 binary file",
       "Writes the faces between solid voxels and empty ones, neighbouring faces\n"
       "of one colour merged into rectangles, as a glTF 2.0 binary file that 3D\n"
       "programs open, its attributes as small integers (KHR_mesh_quantization).\n"
       "\n"
       "Options:\n"
       "  --meshopt     compressed further for the web (EXT_meshopt_compression)\n"
       "  --plain       floats, for programs that read neither extension\n"},
      {"view", view_command, "view FILE OUT.html", "one page that shows the map in 3D in a browser",
       "Writes one self-contained HTML page with the map inside: it opens from\n"
       "disk, needs no network, and shows the map in 3D to orbit or walk.\n"},
      {"web", web_command, "web [OUT.html]", "the page that makes maps in a browser",
       "Writes the map maker's page to OUT.html, or without it prints where the\n"
       "installed page is (share/vormap/vormap.html beside the programs). The\n"
       "page is one file that makes any map in the browser, byte for byte as\n"
       "vormap does, with its preview, its figures and thumbnails of many seeds.\n"},
      {"to-vox", to_vox_command, "to-vox FILE OUT.vox", "the map as a .vox file for voxel editors",
       "Writes every solid voxel of the map as 2 x 2 models of 256 x 256 x 64,\n"
       "placed so that an editor shows one map in its place, with a palette of\n"
       "255 colours chosen from the map's surface.\n"},
      {"from-vox", from_vox_command, "from-vox [--base MAP.vxl] IN.vox OUT.vxl", "a .vox file back to a map",
       "Reads the models of IN.vox, placed by their translations, into a map of\n"
       "512 x 512 x 64 voxels coloured from the palette. A damaged file, a\n"
       "rotation or a model outside the map is an error.\n"
       "\n"
       "Options:\n"
       "  --base MAP.vxl voxels the editor left as to-vox made them keep MAP's\n"
       "                exact colours, so an unedited round trip gives MAP back\n"},
      {"search", search_command,
       "search SEEDS [--where EXPR] [--top N --by [-]FIGURE] [--jobs N] [--shard K/N] [--format jsonl|csv] [-o FILE] [--resume] [MAP OPTIONS]",
       "the figures of many maps, made in memory, filtered and ranked",
       "Makes the map of every seed in memory and writes one record (the seed\n"
       "and every figure) per seed that passes --where, in seed order. SEEDS is\n"
       "as for the gallery, or all (every 32-bit seed). vxltool search --figures\n"
       "lists the figures and their units.\n"
       "\n"
       "Options:\n"
       "  --where EXPR  figures and numbers compared (< <= > >= == !=), joined\n"
       "                by and, or, not and parentheses:\n"
       "                'fairness > 0.5 and green_water_percent < 20'\n"
       "  --top N       keep the N best by --by, best first\n"
       "  --by FIGURE   the figure --top ranks by, largest first (-FIGURE:\n"
       "                smallest first); ties: smaller seed first\n"
       "  --jobs N      N maps at a time (default: one per processor)\n"
       "  --shard K/N   only the seeds whose place in SEEDS is K mod N (K from 0)\n"
       "  --format F    jsonl (default) or csv\n"
       "  -o FILE       write to FILE instead of standard output\n"
       "  --resume      with -o, go on with a stopped search\n"
       "  --figures     list the figures and their units, and stop\n"
       "  --lake EDGE, --symmetry KIND, --keep HALF, --water F, --trees F,\n"
       "  --hills F     every map as vormap makes it with these options\n"
       "  --variant V   search this variant of each seed, V as in a map name\n"
       "                after its colon (default for none); again for more;\n"
       "                each record then names its map\n"},
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

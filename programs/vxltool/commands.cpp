#include "programs/vxltool/commands.h"

#include "programs/vxltool/gallery.h"
#include "programs/vxltool/search_command.h"

namespace vormap {
namespace {

constexpr const char* usage_text =
    "Usage: vxltool COMMAND ARGUMENTS\n"
    "Commands:\n"
    "   info [--json] FILE size, voxels, colours and figures of a map (water,\n"
    "                      heights, slope, flat land, trees, the two start\n"
    "                      areas and their fairness); --json prints the\n"
    "                      figures as one JSON object\n"
    "   preview [--heightmap] [--scale N] FILE OUT.png\n"
    "                      top-down PNG picture, 512 x 512 pixels, N times larger\n"
    "                      (N from 1 to 8): the top colour of each column,\n"
    "                      hill-shaded by height; --heightmap draws heights in\n"
    "                      grey instead (black 0, white 63)\n"
    "   diff A B           the columns and voxels in which two maps differ\n"
    "   gallery [-d] [--jobs N] [--vormap PATH] [--no-pages] SEEDS OUTDIR\n"
    "                      the maps of many seeds, N at a time (default: one per\n"
    "                      core), each as vormap -s SEED [-d] makes it, with a\n"
    "                      thumbnail (start areas outlined), a preview, a 3D page\n"
    "                      (not with --no-pages) and figures, OUTDIR/index.html\n"
    "                      to choose from and OUTDIR/figures.csv and figures.json;\n"
    "                      SEEDS as 1-64, 7,42,-5, -5--1 or random:N; maps made\n"
    "                      before by the same command are kept; links and\n"
    "                      special files in OUTDIR are refused;\n"
    "                      status 1 when a seed failed, 128 + N when stopped\n"
    "                      by signal N\n"
    "   mesh [--meshopt | --plain] FILE OUT.glb\n"
    "                      the map's visible surface as a glTF 2.0 binary file,\n"
    "                      its attributes as small integers (KHR_mesh_quantization);\n"
    "                      --meshopt compresses it further for the web\n"
    "                      (EXT_meshopt_compression), --plain writes floats\n"
    "                      for programs that read neither extension\n"
    "   view FILE OUT.html one page that shows the map in 3D in a browser, to\n"
    "                      orbit or walk; opens from disk, needs no network\n"
    "   to-vox FILE OUT.vox\n"
    "                      the map for voxel editors: every solid voxel in 2 x 2\n"
    "                      models of 256 x 256 x 64, with a palette of 255 colours\n"
    "   from-vox [--base MAP.vxl] IN.vox OUT.vxl\n"
    "                      a .vox file back to a map; with --base, voxels the\n"
    "                      editor left as to-vox made them keep MAP's exact colours\n"
    "   search SEEDS [--where EXPR] [--top N --by [-]FIGURE] [--jobs N]\n"
    "          [--shard K/N] [--format jsonl|csv] [-o FILE] [--resume]\n"
    "                      makes the map of every seed in memory and writes one\n"
    "                      record (seed and every figure) per seed that passes\n"
    "                      --where, in seed order; SEEDS as for the gallery, or\n"
    "                      all (every 32-bit seed). EXPR compares figures and\n"
    "                      numbers (< <= > >= == !=) joined by and, or, not and\n"
    "                      parentheses: 'fairness > 0.5 and green_water_percent\n"
    "                      < 20'. --top N --by F keeps the N with the largest F\n"
    "                      (-F: smallest; ties: smaller seed first), best first.\n"
    "                      --jobs N maps at a time (default: one per processor);\n"
    "                      --shard K/N only the seeds whose place in SEEDS is K\n"
    "                      mod N (K from 0); -o FILE instead of standard output,\n"
    "                      with --resume to go on with a stopped search;\n"
    "                      search --figures lists the figures and their units\n"
    "Exit status: 0 done (diff: the maps are the same); 1 a damaged or\n"
    "unreadable map or .vox file, or an unwritable output file (diff: the maps\n"
    "differ); 2 a bad command line (diff: also a damaged or unreadable map).\n";

}  // namespace

const char* vxltool_usage() { return usage_text; }

const std::vector<vxltool_command>& vxltool_commands() {
  static const std::vector<vxltool_command> commands = {
      {"info", info_command},       {"preview", preview_command}, {"diff", diff_command},
      {"gallery", gallery_main},    {"mesh", mesh_command},       {"view", view_command},
      {"to-vox", to_vox_command},   {"from-vox", from_vox_command},
      {"search", search_command},
  };
  return commands;
}

}  // namespace vormap

// What a gallery run shares between its threads: the options, the seeds'
// jobs and results, the running vormap processes and the counts.
#pragma once

#include <pthread.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "maptools/gallery_figures.h"
#include "programs/vxltool/seed_list.h"
#include "programs/vxltool/variant_options.h"
#include "vormap/vormap.h"

namespace vormap {

struct gallery_options {
  seed_list seeds;
  std::string outdir;
  std::string vormap;  // --vormap, else empty
  bool debug = false;
  bool pages = true;  // false: --no-pages, no 3D page per map
  int jobs = 0;  // 0: one per core
  variant_options variant;  // --lake ... --hills, --variant
  std::vector<map_options> variants;  // made of each seed, at least one
  // Whether the maps are named by their variants: any variant is not the
  // specified map.
  bool named() const {
    for (const map_options& v : variants)
      if (!variant_name(v).empty()) return true;
    return false;
  }
};

struct seed_job {
  int32_t seed = 0;
  map_options options;  // seed and variant
  std::string name;     // the files' base name: the seed in decimal, then '+' and the variant
  std::string command;  // the command that makes this map, as the card shows it
};

// The command that makes the map of `seed` (in decimal) in OUTDIR, as the
// cards show it.
inline std::string seed_command(const std::string& seed, bool debug) {
  return "vormap -s " + seed + " -o " + seed + ".vxl" + (debug ? " -d" : "");
}

// The same for any map: a variant is named by --map.
inline std::string map_command(const map_options& options, const std::string& file_base, bool debug) {
  if (variant_name(options).empty()) return seed_command(file_base, debug);
  return "vormap --map " + map_name(options) + " -o " + file_base + ".vxl" + (debug ? " -d" : "");
}

enum class seed_state { pending, made, reused, failed };

struct seed_result {
  seed_state state = seed_state::pending;
  std::string reason;  // why it failed
  map_figures figures;
  bool has_page = false;  // NAME.html, the 3D page, exists
};

struct gallery_run {
  gallery_options options;
  // The maps are made here, by the library on the workers' threads, unless
  // a vormap program was named (--vormap, VORMAP_EXE): then by that program.
  bool in_process = true;
  int map_threads = 1;  // threads each map is made on, in process
  std::string vormap;   // the program, when not in process
  std::vector<std::string> environment;  // the children's environment
  std::vector<seed_job> jobs;
  std::vector<seed_result> results;

  std::mutex mutex;  // guards everything below
  size_t next = 0;   // the next job to start
  std::set<pid_t> children;
  size_t done = 0, made = 0, reused = 0, failed = 0;
  std::vector<std::string> messages;  // failures and notes for the main thread to print

  std::atomic<bool> stop{false};
  pthread_t main_thread{};  // woken by SIGUSR1 when a seed is done

  std::string path(const seed_job& job, const char* suffix) const { return options.outdir + "/" + job.name + suffix; }
};

}  // namespace vormap

#include "programs/vxltool/gallery.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "programs/vxltool/batch_support.h"
#include "programs/vxltool/command_support.h"
#include "programs/vxltool/gallery_folder.h"
#include "programs/vxltool/gallery_options.h"
#include "programs/vxltool/gallery_page.h"
#include "programs/vxltool/gallery_progress.h"
#include "programs/vxltool/gallery_run.h"
#include "programs/vxltool/gallery_seeds.h"
#include "programs/vxltool/gallery_vormap.h"

namespace vormap {

int gallery_main(const std::vector<std::string>& args) {
  gallery_run run;
  std::string error;
  if (!parse_gallery_arguments(args, run.options, error)) return usage_error("gallery", error);
  gallery_options& options = run.options;
  outdir_lock lock;
  const char* vormap_exe = std::getenv("VORMAP_EXE");
  run.in_process = options.vormap.empty() && (vormap_exe == nullptr || *vormap_exe == '\0');
  if ((!run.in_process && !find_vormap(options.vormap, run.vormap, error)) || !make_outdir(options.outdir, error) ||
      !lock.take(options.outdir, error))
    return fail("gallery", 1, error);
  remove_stale_temporary_files(options.outdir);

  std::vector<int32_t> seeds = options.seeds.seeds;
  if (options.seeds.random_count > 0) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    seeds = random_seeds(options.seeds.random_count,
                         static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
    // The list is the only record of which seeds these are: without it the
    // run is not worth making.
    if (std::printf("seeds: %s\n", format_seed_list(seeds).c_str()) < 0 || std::fflush(stdout) != 0)
      return fail("gallery", 1, std::string("cannot write standard output: ") + std::strerror(errno));
  }
  for (int32_t seed : seeds)
    for (const map_options& variant : options.variants) {
      seed_job job;
      job.seed = seed;
      job.options = variant;
      job.options.seed = seed;
      job.name = map_file_base(seed, job.options);
      job.command = map_command(job.options, job.name, options.debug);
      run.jobs.push_back(std::move(job));
    }
  run.results.resize(run.jobs.size());
  const int jobs = std::min<int>(options.jobs > 0 ? options.jobs : processor_count(), static_cast<int>(run.jobs.size()));
  run.environment = child_environment(jobs);
  run.map_threads = map_threads(jobs);

  // The stop signals are taken by this thread alone (sigtimedwait below);
  // the workers inherit the blocked mask.
  // A worker that finishes a seed wakes it with SIGUSR1, so that the
  // progress line and the end of the run need not wait for the next tick.
  sigset_t stop_signals, old_mask;
  sigemptyset(&stop_signals);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&stop_signals, s);
  pthread_sigmask(SIG_BLOCK, &stop_signals, &old_mask);
  run.main_thread = pthread_self();

  std::vector<std::thread> workers;
  for (int k = 0; k < jobs; ++k) workers.emplace_back(worker, std::ref(run));

  progress_line progress(run.jobs.size());
  int stop_signal = 0;
  const timespec tick{0, 250'000'000};
  for (;;) {
    const int got = sigtimedwait(&stop_signals, nullptr, &tick);
    if (got > 0 && got != SIGUSR1) {
      stop_signal = got;
      std::lock_guard lock(run.mutex);
      run.stop = true;
      for (pid_t child : run.children) ::kill(child, SIGTERM);
      break;
    }
    std::unique_lock lock(run.mutex);
    const bool all_done = run.done == run.jobs.size();
    lock.unlock();
    if (all_done) break;
    progress.update(run, false);
  }
  for (std::thread& t : workers) t.join();
  // A wake-up still pending would end the process once unblocked.
  sigset_t wake;
  sigemptyset(&wake);
  sigaddset(&wake, SIGUSR1);
  const timespec now{0, 0};
  while (sigtimedwait(&wake, nullptr, &now) > 0) {
  }
  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);

  if (stop_signal != 0) {
    progress.finish();
    std::fprintf(stderr, "vxltool: gallery: stopped by signal %d; %zu of %zu maps done, run it again to go on\n",
                 stop_signal, run.done, run.jobs.size());
    return 128 + stop_signal;
  }
  progress.update(run, true);

  const bool index_ok = write_index(run, error);
  if (!index_ok) std::fprintf(stderr, "vxltool: gallery: %s\n", error.c_str());
  std::printf("%zu maps in %s (%zu made, %zu kept, %zu failed); open %s/index.html\n", run.made + run.reused,
              options.outdir.c_str(), run.made, run.reused, run.failed, options.outdir.c_str());
  return run.failed == 0 && index_ok ? 0 : 1;
}

}  // namespace vormap
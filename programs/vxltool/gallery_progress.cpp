#include "programs/vxltool/gallery_progress.h"

#include "programs/vxltool/batch_support.h"

#include <unistd.h>

#include <cstdio>
#include <vector>

namespace vormap {

progress_line::progress_line(size_t total) : total_(total), terminal_(::isatty(STDERR_FILENO) == 1) {}

void progress_line::update(gallery_run& run, bool final) {
  std::vector<std::string> messages;
  size_t done, reused;
  {
    std::lock_guard lock(run.mutex);
    messages.swap(run.messages);
    done = run.done;
    reused = run.reused;
  }
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  if (terminal_ && shown_) std::fputs("\r\033[K", stderr);
  for (const std::string& m : messages) std::fprintf(stderr, "vxltool: gallery: %s\n", m.c_str());
  if (!terminal_ && done == last_done_ && !final) return;
  last_done_ = done;
  std::string text = "gallery: " + std::to_string(done) + "/" + std::to_string(total_) + " maps, " +
                     clock_text(elapsed) + " elapsed";
  // Kept maps take no time: the estimate counts the seeds that ran vormap.
  const size_t worked = done - reused;
  if (done < total_ && worked > 0)
    text += ", about " + clock_text(elapsed / static_cast<double>(worked) * static_cast<double>(total_ - done)) +
            " left";
  if (terminal_) {
    std::fprintf(stderr, "%s%s", text.c_str(), final ? "\n" : "");
    shown_ = !final;
  } else {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  std::fflush(stderr);
}

void progress_line::finish() {
  if (terminal_ && shown_) std::fputs("\n", stderr);
  shown_ = false;
}

}  // namespace vormap

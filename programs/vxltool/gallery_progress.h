// The gallery's progress on standard error: a line redrawn in place on a
// terminal, a line per finished seed elsewhere.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "programs/vxltool/gallery_run.h"

namespace vormap {

class progress_line {
 public:
  explicit progress_line(size_t total);

  // Prints pending messages and, on a terminal, redraws the line in place;
  // elsewhere prints a line whenever another seed is done.
  void update(gallery_run& run, bool final);

  // Ends a line left in place.
  void finish();

 private:
  size_t total_;
  bool terminal_;
  bool shown_ = false;
  size_t last_done_ = static_cast<size_t>(-1);
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace vormap

// What the commands that make many maps share (gallery, search): how many
// processors they may use and how their progress lines show time.
#pragma once

#include <string>

namespace vormap {

// The processors this process may run on (at least 1).
int processor_count();

// A duration as M:SS, or H:MM:SS from an hour on, rounded to the second.
std::string clock_text(double seconds);

}  // namespace vormap

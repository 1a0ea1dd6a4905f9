// `vxltool gallery`: makes the maps of many seeds at once, each in its own
// `vormap` process, with a thumbnail, a preview and the figures of each, and
// a page (index.html) to compare them and choose one.
#pragma once

#include <string>
#include <vector>

namespace vormap {

// Runs `vxltool gallery` with the arguments after the command name and
// returns the exit status: 0 when every map is there, 1 when a seed failed
// or the folder or page cannot be written, 2 for a bad command line, 128 +
// the signal number when interrupted.
int gallery_main(const std::vector<std::string>& args);

}  // namespace vormap

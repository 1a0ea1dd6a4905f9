// The gallery's command line and what it finds before it starts: the
// vormap program and the output folder.
#pragma once

#include <string>
#include <vector>

#include "programs/vxltool/gallery_run.h"

namespace vormap {

// Reads the arguments after "gallery". Returns false with a one-line reason.
bool parse_gallery_arguments(const std::vector<std::string>& args, gallery_options& out, std::string& error);

// The generator: --vormap, else VORMAP_EXE, else beside this program (an
// installed bin folder, or a build tree's bin folder).
bool find_vormap(const std::string& option, std::string& path, std::string& error);

// Makes OUTDIR (and its parents) and checks that it can be written in.
bool make_outdir(const std::string& dir, std::string& error);

}  // namespace vormap

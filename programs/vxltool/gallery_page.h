// The gallery's page, OUTDIR/index.html: the built-in page with the run's
// seeds, figures and failures in it.
#pragma once

#include <string>

#include "programs/vxltool/gallery_run.h"

namespace vormap {

// Writes OUTDIR/index.html. Returns false with a one-line reason.
bool write_index(const gallery_run& run, std::string& error);

}  // namespace vormap

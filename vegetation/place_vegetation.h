// Trees and bushes on a jittered grid of candidate sites.
#pragma once

namespace vormap {

// Plants vegetation on the finished terrain through fill_column_span.
void place_vegetation();

}  // namespace vormap

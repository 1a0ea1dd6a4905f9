/* The vormap generator for C and other languages: the .vxl file of a seed.
   No function here lets an exception or an abort cross into the caller. */
#ifndef VORMAP_VORMAP_C_H
#define VORMAP_VORMAP_C_H

#include <stddef.h>
#include <stdint.h>

#include "vormap/vormap_export.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
  VORMAP_OK = 0,
  VORMAP_ERROR_ARGUMENT = 1, /* a null pointer where an output was expected */
  VORMAP_ERROR_MEMORY = 2,   /* the map or the file's buffer could not be allocated */
  VORMAP_ERROR_INTERNAL = 3, /* anything else; never expected */
  VORMAP_ERROR_OPTION = 4    /* an option out of its range, or a malformed map name */
};

/* Where the lake lies; EAST (the high-x edge) is the specified map. */
enum { VORMAP_LAKE_EAST = 0, VORMAP_LAKE_NORTH = 1, VORMAP_LAKE_WEST = 2, VORMAP_LAKE_SOUTH = 3 };
/* A symmetric map: one half mirrored across x = 255.5, or turned about the centre. */
enum { VORMAP_SYMMETRY_NONE = 0, VORMAP_SYMMETRY_MIRROR = 1, VORMAP_SYMMETRY_TURN = 2 };
/* The half a symmetric map keeps: blue the low-x half, green the high-x half. */
enum { VORMAP_KEEP_BLUE = 0, VORMAP_KEEP_GREEN = 1 };

/* A map and its variant. Fill it with vormap_options_init (the specified map
   of seed 0) or vormap_options_from_name, then change what you need. The
   factors are 1 for the specified amounts: water 0 to 2, trees 0 to 2, hills
   0.25 to 1.75. */
typedef struct vormap_options {
  int32_t seed;
  int debug;    /* non-zero: paint the start regions, as vormap -d */
  int threads;  /* 0: every processor */
  int lake;     /* VORMAP_LAKE_* */
  int symmetry; /* VORMAP_SYMMETRY_* */
  int keep;     /* VORMAP_KEEP_* */
  double water, trees, hills;
} vormap_options;

/* Sets *options to the specified map of seed 0, debug off, every processor. */
VORMAP_API void vormap_options_init(vormap_options *options);

/* Reads a map's name ("1234", "1234:lake=north,symmetry=mirror") into
   *options (seed and variant; debug and threads are left as they are).
   Returns VORMAP_OK, VORMAP_ERROR_ARGUMENT for a null pointer or
   VORMAP_ERROR_OPTION for a malformed name (then *options is unchanged). */
VORMAP_API int vormap_options_from_name(const char *name, vormap_options *options);

/* Writes the map's name into buffer (at most `capacity` bytes with the final
   NUL) and returns its length without the NUL, as snprintf does, or -1 for
   a null options pointer or options out of range. */
VORMAP_API int vormap_options_name(const vormap_options *options, char *buffer, size_t capacity);

/* Makes the map of `seed` (with the start regions when `debug` is non-zero)
   and stores its .vxl file, exactly the bytes `vormap -s SEED [-d]` writes,
   in a new buffer: *bytes and *size. Returns VORMAP_OK, or an error code with
   *bytes set to NULL and *size to 0. Free the buffer with vormap_free. Safe
   to call from any number of threads at once. */
VORMAP_API int vormap_make_vxl(int32_t seed, int debug, unsigned char **bytes, size_t *size);

/* As vormap_make_vxl, for the map and variant *options describe. Returns
   VORMAP_ERROR_OPTION when an option is out of its range. */
VORMAP_API int vormap_make_vxl_with_options(const vormap_options *options, unsigned char **bytes, size_t *size);

/* Frees a buffer of vormap_make_vxl; NULL is allowed. */
VORMAP_API void vormap_free(void *buffer);

/* A short English description of an error code. */
VORMAP_API const char *vormap_error_string(int code);

#ifdef __cplusplus
}
#endif

#endif

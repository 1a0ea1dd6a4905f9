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
  VORMAP_ERROR_INTERNAL = 3  /* anything else; never expected */
};

/* Makes the map of `seed` (with the start regions when `debug` is non-zero)
   and stores its .vxl file, exactly the bytes `vormap -s SEED [-d]` writes,
   in a new buffer: *bytes and *size. Returns VORMAP_OK, or an error code with
   *bytes set to NULL and *size to 0. Free the buffer with vormap_free. Safe
   to call from any number of threads at once. */
VORMAP_API int vormap_make_vxl(int32_t seed, int debug, unsigned char **bytes, size_t *size);

/* Frees a buffer of vormap_make_vxl; NULL is allowed. */
VORMAP_API void vormap_free(void *buffer);

/* A short English description of an error code. */
VORMAP_API const char *vormap_error_string(int code);

#ifdef __cplusplus
}
#endif

#endif

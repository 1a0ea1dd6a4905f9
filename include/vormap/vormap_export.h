/* Marks what the shared library libvormap.so exports: the functions and
   classes of vormap.h and vormap_c.h. The library is built with everything
   else hidden, so only what carries VORMAP_API is part of its ABI. */
#ifndef VORMAP_VORMAP_EXPORT_H
#define VORMAP_VORMAP_EXPORT_H

#if defined(__GNUC__) || defined(__clang__)
#define VORMAP_API __attribute__((visibility("default")))
#else
#define VORMAP_API
#endif

#endif

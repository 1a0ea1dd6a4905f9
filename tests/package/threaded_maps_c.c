/* Makes four different maps at once on four threads through the C
   interface, without and with the start regions, and compares each with the
   file `vormap -s SEED [-d]` writes. Usage: threaded_maps_c VORMAP_PROGRAM DIR */
#include <vormap/vormap_c.h>

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { map_count = 4 };
static const int32_t seeds[map_count] = {1, -12345, 2147483647, 777};

struct job {
  int32_t seed;
  int debug;
  int code;
  unsigned char *bytes;
  size_t size;
};

static void *make(void *arg) {
  struct job *j = arg;
  j->code = vormap_make_vxl(j->seed, j->debug, &j->bytes, &j->size);
  return NULL;
}

/* The file vormap writes for the seed, in a new buffer; NULL on failure. */
static unsigned char *program_map(const char *program, const char *dir, int32_t seed, int debug, size_t *size) {
  char path[4096], command[8192];
  snprintf(path, sizeof path, "%s/c%d%s.vxl", dir, (int)seed, debug ? "d" : "");
  snprintf(command, sizeof command, "'%s' -s %d%s -o '%s' > /dev/null", program, (int)seed, debug ? " -d" : "", path);
  if (system(command) != 0) return NULL;
  FILE *f = fopen(path, "rb");
  if (f == NULL) return NULL;
  unsigned char *data = NULL;
  size_t length = 0, capacity = 0;
  for (;;) {
    if (length == capacity) {
      capacity = capacity ? capacity * 2 : 1 << 20;
      unsigned char *bigger = realloc(data, capacity);
      if (bigger == NULL) break;
      data = bigger;
    }
    const size_t n = fread(data + length, 1, capacity - length, f);
    if (n == 0) break;
    length += n;
  }
  fclose(f);
  *size = length;
  return data;
}

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: threaded_maps_c VORMAP_PROGRAM DIR\n");
    return 2;
  }
  int failures = 0;
  for (int debug = 0; debug <= 1; ++debug) {
    struct job jobs[map_count];
    pthread_t threads[map_count];
    for (int k = 0; k < map_count; ++k) {
      jobs[k] = (struct job){seeds[k], debug, -1, NULL, 0};
      if (pthread_create(&threads[k], NULL, make, &jobs[k]) != 0) make(&jobs[k]);
      else continue;
      threads[k] = 0;
    }
    for (int k = 0; k < map_count; ++k)
      if (threads[k] != 0) pthread_join(threads[k], NULL);
    for (int k = 0; k < map_count; ++k) {
      size_t size = 0;
      unsigned char *expected = program_map(argv[1], argv[2], seeds[k], debug, &size);
      const int same = jobs[k].code == VORMAP_OK && expected != NULL && size == jobs[k].size &&
                       memcmp(expected, jobs[k].bytes, size) == 0;
      printf("seed %d%s: %s, %zu bytes, %s\n", (int)seeds[k], debug ? " -d" : "", vormap_error_string(jobs[k].code),
             jobs[k].size, same ? "same as vormap" : "DIFFERENT from vormap");
      failures += !same;
      free(expected);
      vormap_free(jobs[k].bytes);
    }
  }
  return failures == 0 ? 0 : 1;
}

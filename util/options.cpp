#include "util/options.h"

#include <cstdlib>
#include <cstring>

#include "util/growable_array.h"

namespace vormap {

namespace {

// Appends one pointer. Returns false, leaving the list as it was, when the
// storage cannot be grown.
bool append(char**& list, char* entry) {
  const int32_t count = array_count(list);
  if (count + 1 > array_capacity(list)) {
    array_add(list, 1);
    if (array_count(list) != count + 1) {
      if (list != nullptr) array_header_of(list)->count = count;
      return false;
    }
  } else {
    array_header_of(list)->count = count + 1;
  }
  list[count] = entry;
  return true;
}

// A new entry: the letter followed by `length` bytes of `param`.
char* make_entry(char letter, const char* param, size_t length) {
  auto* entry = static_cast<char*>(std::malloc(length + 2));
  if (entry == nullptr) return nullptr;
  entry[0] = letter;
  if (length != 0) std::memcpy(entry + 1, param, length);
  entry[length + 1] = '\0';
  return entry;
}

}  // namespace

void free_option_list(char** list) {
  const int32_t count = array_count(list);
  for (int32_t k = 0; k < count; ++k) std::free(list[k]);
  array_free(list);
}

char** parse_options(int* argc, char** argv, const char* param_letters) {
  char** list = nullptr;
  const int n = *argc;
  int i = 1;
  for (int j = 1; j < n; ++j) {
    char* w = argv[j];
    if (w[0] != '-') {
      argv[i++] = w;
      continue;
    }
    if (w[1] == '\0') {
      // A lone dash ends option processing; everything after it is positional.
      for (int k = j + 1; k < n; ++k) argv[i++] = argv[k];
      break;
    }
    for (int d = 1; w[d] != '\0'; ++d) {
      const char letter = w[d];
      char* entry = nullptr;
      bool ends_cluster = false;
      if (std::strchr(param_letters, letter) != nullptr) {
        const char* param;
        if (w[d + 1] != '\0') {
          param = w + d + 1;
        } else if (j + 1 < n) {
          param = argv[++j];
        } else {
          *argc = 0;
          free_option_list(list);
          return nullptr;
        }
        entry = make_entry(letter, param, std::strlen(param));
        ends_cluster = true;
      } else {
        entry = make_entry(letter, nullptr, 0);
      }
      if (entry == nullptr || !append(list, entry)) {
        std::free(entry);
        free_option_list(list);
        return nullptr;
      }
      if (ends_cluster) break;
    }
  }
  if (!append(list, nullptr)) {
    free_option_list(list);
    return nullptr;
  }
  *argc = i;
  return list;
}

}  // namespace vormap

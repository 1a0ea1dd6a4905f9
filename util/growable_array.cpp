#include "util/growable_array.h"

#include <cstdlib>

namespace vormap {

int32_t array_count(const void* array) {
  return array ? (static_cast<const array_header*>(array) - 1)->count : 0;
}

int32_t array_capacity(const void* array) {
  return array ? (static_cast<const array_header*>(array) - 1)->capacity : 0;
}

void* array_reserve(void** array, size_t element_size, int32_t required_capacity, int32_t new_count) {
  if (*array == nullptr) {
    if (new_count == 0 && element_size == 0) return nullptr;
    if (required_capacity < 0) required_capacity = 0;
    auto* h = static_cast<array_header*>(
        std::malloc(sizeof(array_header) + element_size * static_cast<size_t>(required_capacity)));
    if (h == nullptr) return nullptr;
    h->count = new_count;
    h->capacity = required_capacity;
    h->context = 0;
    h->marker = array_marker;
    if (h->count > h->capacity) h->count = h->capacity;
    if (h->count < 0) h->count = 0;
    *array = h + 1;
    return *array;
  }
  array_header* h = array_header_of(*array);
  h->count = new_count;
  if (h->capacity < required_capacity) {
    int64_t grown = required_capacity;
    if (h->capacity >= 4 && int64_t{h->capacity} * 2 > required_capacity) grown = int64_t{h->capacity} * 2;
    if (grown > INT32_MAX) grown = required_capacity;
    auto* moved = static_cast<array_header*>(
        std::realloc(h, sizeof(array_header) + element_size * static_cast<size_t>(grown)));
    if (moved != nullptr) {
      h = moved;
      h->capacity = static_cast<int32_t>(grown);
    }
  }
  if (h->count > h->capacity) h->count = h->capacity;
  if (h->count < 0) h->count = 0;
  *array = h + 1;
  return *array;
}

void* array_set_length(void** array, size_t element_size, int32_t n) {
  if (*array == nullptr || array_header_of(*array)->capacity < n)
    return array_reserve(array, element_size, n, n);
  array_header_of(*array)->count = n;
  return *array;
}

void* array_add(void** array, size_t element_size, int32_t n) {
  return array_set_length(array, element_size, array_count(*array) + n);
}

void array_free(void** array) {
  if (*array == nullptr) return;
  std::free(array_header_of(*array));
  *array = nullptr;
}

}  // namespace vormap

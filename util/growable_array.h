// Growable array: a heap block with a four-word header followed by the
// elements, handled through a pointer to the first element. A null pointer is
// a valid empty array with no storage.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vormap {

struct array_header {
  int32_t count;     // elements in use
  int32_t capacity;  // elements the block has room for
  int32_t context;   // 0: the block comes from the general heap
  uint32_t marker;   // array_marker, written at creation, never read
};

inline constexpr uint32_t array_marker = 0x51bada7bu;

// Header of a non-null array.
inline array_header* array_header_of(void* array) {
  return static_cast<array_header*>(array) - 1;
}

// Number of elements in use; 0 for a null array.
int32_t array_count(const void* array);
// Capacity; 0 for a null array.
int32_t array_capacity(const void* array);

// Makes room for `required_capacity` elements and sets the count to
// `new_count` (clamped to the capacity). Growth below four elements is exact;
// from four on the capacity at least doubles. Returns the (possibly moved)
// first element and stores it in *array. When the allocation fails the array
// keeps its old block and capacity, and the count is clamped to that capacity:
// callers detect failure by checking the count.
void* array_reserve(void** array, size_t element_size, int32_t required_capacity, int32_t new_count);
// Sets the count to n, growing the block when it is too small.
void* array_set_length(void** array, size_t element_size, int32_t n);
// Lengthens the array by n elements.
void* array_add(void** array, size_t element_size, int32_t n);
// Releases the block, header included, and nulls the caller's pointer.
void array_free(void** array);

// Typed front ends for the above.
template <class T>
T* array_add(T*& array, int32_t n) {
  void* p = array;
  array = static_cast<T*>(array_add(&p, sizeof(T), n));
  return array;
}
template <class T>
T* array_set_length(T*& array, int32_t n) {
  void* p = array;
  array = static_cast<T*>(array_set_length(&p, sizeof(T), n));
  return array;
}
template <class T>
T* array_reserve(T*& array, int32_t required_capacity, int32_t new_count) {
  void* p = array;
  array = static_cast<T*>(array_reserve(&p, sizeof(T), required_capacity, new_count));
  return array;
}
template <class T>
void array_free(T*& array) {
  void* p = array;
  array_free(&p);
  array = nullptr;
}

}  // namespace vormap

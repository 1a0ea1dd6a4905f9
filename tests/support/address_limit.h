// Whether tests may cap the address space (setrlimit RLIMIT_AS) to run a
// program out of memory: not under AddressSanitizer or ThreadSanitizer, whose
// shadow memory needs far more address space than any such cap allows.
#pragma once

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VORMAP_NO_ADDRESS_LIMIT 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VORMAP_NO_ADDRESS_LIMIT 1
#endif
#endif

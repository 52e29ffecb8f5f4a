// Defines VELKOR_ASAN when the build runs under the address sanitizer, for
// code that hands memory to it or keeps blocks away from it.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define VELKOR_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELKOR_ASAN 1
#endif
#endif

// VELKOR_TSAN under the thread sanitizer, which does not follow pages that
// mremap() moves: blocks stay in the C heap there, which it watches.
#if defined(__SANITIZE_THREAD__)
#define VELKOR_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VELKOR_TSAN 1
#endif
#endif

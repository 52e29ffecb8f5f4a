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

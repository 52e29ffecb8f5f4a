#include "support/memory_use.h"

#include <cstdio>

#if defined(__linux__)
#include <unistd.h>
#endif

namespace velkor {

std::size_t residentMemory(std::size_t fallback) {
#if defined(__linux__)
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm != nullptr) {
    unsigned long size = 0;
    unsigned long resident = 0;
    const int read = std::fscanf(statm, "%lu %lu", &size, &resident);
    std::fclose(statm);
    const long page = sysconf(_SC_PAGESIZE);
    if (read == 2 && page > 0) return static_cast<std::size_t>(resident) * static_cast<std::size_t>(page);
  }
#endif
  return fallback;
}

std::size_t defaultMemoryBound() {
#if defined(__linux__)
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<std::size_t>(static_cast<double>(pages) * static_cast<double>(pageSize) * 0.8);
#else
  return 0;
#endif
}

bool memoryFits(std::size_t bound, std::size_t bytes) {
  if (bound == 0) return true;
  const std::size_t used = residentMemory();
  return bytes <= bound && used <= bound - bytes;
}

}  // namespace velkor

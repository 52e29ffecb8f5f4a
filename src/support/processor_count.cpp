#include "support/processor_count.h"

#if defined(__linux__)
#include <sched.h>
#endif
#include <thread>

namespace velkor {

int usableProcessors() {
#if defined(__linux__)
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return count;
  }
#endif
  const unsigned online = std::thread::hardware_concurrency();
  return online > 0 ? static_cast<int>(online) : 1;
}

}  // namespace velkor

#include "support/memory_use.h"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace velkor {

std::size_t residentMemory(std::size_t fallback) { return ResidentMemoryReader().read(fallback); }

ResidentMemoryReader::ResidentMemoryReader() {
#if defined(__linux__)
  fd_ = open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
#endif
}

ResidentMemoryReader::~ResidentMemoryReader() {
#if defined(__linux__)
  if (fd_ >= 0) close(fd_);
#endif
}

std::size_t ResidentMemoryReader::read(std::size_t fallback) const {
#if defined(__linux__)
  // "size resident shared text lib data dt", in pages; read from its start
  // each time, the system writes it anew.
  char line[256];
  const ssize_t got = fd_ >= 0 ? pread(fd_, line, sizeof line - 1, 0) : -1;
  const long page = sysconf(_SC_PAGESIZE);
  if (got <= 0 || page <= 0) return fallback;
  line[got] = '\0';
  char* afterSize = nullptr;
  std::strtoul(line, &afterSize, 10);
  char* end = afterSize;
  const unsigned long resident = std::strtoul(afterSize, &end, 10);
  if (afterSize == line || end == afterSize) return fallback;
  return static_cast<std::size_t>(resident) * static_cast<std::size_t>(page);
#else
  return fallback;
#endif
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

void preparePagesForWriting(void* begin, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  constexpr std::uintptr_t kPage = 4096;
  const auto start = reinterpret_cast<std::uintptr_t>(begin);
  if (start > UINTPTR_MAX - bytes) return;
  // The page that holds `begin` is part of the block; the one past its end
  // may not be.
  const std::uintptr_t from = start & ~(kPage - 1);
  const std::uintptr_t to = (start + bytes) & ~(kPage - 1);
  // Advice only: a system that refuses it leaves the pages to fault.
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
  (void)begin;
  (void)bytes;
#endif
}

}  // namespace velkor

// The memory the process has in use, and how much more a piece of work may
// take under the run's bound (--max-memory). Work whose storage does not go
// through the allocator seam (the numbers of an approximation, the points
// of the plots) asks here before it allocates.
#pragma once

#include <cstddef>

namespace velkor {

// The resident memory of the process in bytes where the system tells it,
// else `fallback`.
std::size_t residentMemory(std::size_t fallback = 0);

// The same reading kept ready for one asker that reads it often (the
// allocator, before each block under a bound): the system's record stays
// open, and each reading is one system call. (residentMemory is a reader
// used once.)
class ResidentMemoryReader {
 public:
  ResidentMemoryReader();
  ~ResidentMemoryReader();
  ResidentMemoryReader(const ResidentMemoryReader&) = delete;
  ResidentMemoryReader& operator=(const ResidentMemoryReader&) = delete;
  // As residentMemory(fallback); any thread may read at once.
  std::size_t read(std::size_t fallback) const;

 private:
  int fd_ = -1;
};

// Most of the machine's physical memory (80%): the bound when none is
// given, so that one netlist cannot drive the machine into swapping. 0 when
// the system does not tell.
std::size_t defaultMemoryBound();

// Whether `bytes` more fit under `bound` (0: no bound) beside what is in
// use now.
bool memoryFits(std::size_t bound, std::size_t bytes);

// Makes the whole pages inside [begin, begin + bytes) ready for writing in
// one request to the system (Linux), where writing them one by one would
// take a fault at each page: on a virtual machine each fault is costly, and
// copies of large term lists and held text are written page after page.
// Does nothing where the system cannot.
void preparePagesForWriting(void* begin, std::size_t bytes);

}  // namespace velkor

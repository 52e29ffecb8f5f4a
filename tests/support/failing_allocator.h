// The heap seam's test double: an allocator that refuses chosen requests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "support/allocator.h"

namespace velkor {

// A test allocator over the C heap that refuses chosen requests: the
// `failAt`-th request counted from 1 (0: none), every request after it when
// `failAfter` is set, and every request larger than `maxBytes`. Allocations
// and resizes are requests; releases are not.
//
// With `recycle` set, released blocks are kept (up to kPoolSlots of them)
// and handed out again for allocations of the same size, so that a test
// that runs the program hundreds of times does not pay for fresh pages on
// every run. A kept block is filled with a garbage pattern, so nothing can
// rely on what it held, and under the address sanitizer it is poisoned
// until it is handed out again, so a use after release is still reported.
class FailingAllocator final : public Allocator {
 public:
  FailingAllocator() = default;
  FailingAllocator(const FailingAllocator&) = delete;
  FailingAllocator& operator=(const FailingAllocator&) = delete;
  ~FailingAllocator() override;

  void* allocate(std::size_t bytes) override;
  void* resize(void* block, std::size_t bytes) override;
  void release(void* block) override;
  bool threadSafe() const override { return concurrent; }

  // Whether the jobs of a run may share it (every request is then taken
  // under a lock; which job's request is refused depends on timing).
  bool concurrent = false;
  std::uint64_t failAt = 0;
  bool failAfter = false;
  std::size_t maxBytes = SIZE_MAX;
  bool recycle = false;

  std::uint64_t requests() const { return requests_; }
  std::uint64_t failures() const { return failures_; }
  std::int64_t liveBlocks() const { return live_; }
  // Starts counting requests and failures from zero again (the next run of
  // a test that keeps one allocator, and its pool, for many runs).
  void restartCounts() {
    requests_ = 0;
    failures_ = 0;
  }

  static constexpr int kPoolSlots = 16;
  static constexpr int kTrackedSlots = 64;

 private:
  struct Sized {
    void* block;
    std::size_t bytes;
  };

  void* allocateLocked(std::size_t bytes);
  void* resizeLocked(void* block, std::size_t bytes);
  void releaseLocked(void* block);
  bool refuse(std::size_t bytes);
  void track(void* block, std::size_t bytes);
  // The size of a tracked block, forgotten; 0 when it was not tracked.
  std::size_t untrack(void* block);

  std::uint64_t requests_ = 0;
  std::uint64_t failures_ = 0;
  std::int64_t live_ = 0;
  // Sizes of the live blocks (recycling only); a block that finds the
  // table full is simply freed on release.
  Sized tracked_[kTrackedSlots] = {};
  Sized pool_[kPoolSlots] = {};
  int pooled_ = 0;
  std::mutex lock_;
};

}  // namespace velkor

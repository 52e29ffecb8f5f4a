// The heap seam: every block of polynomial storage is allocated, resized and
// released through an Allocator, so tests can make any allocation fail.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>

#include "support/memory_use.h"

namespace velkor {

class Allocator {
 public:
  virtual ~Allocator() = default;
  // A block of at least `bytes` bytes, or nullptr.
  virtual void* allocate(std::size_t bytes) = 0;
  // The block resized to `bytes`, contents kept; nullptr on failure, in
  // which case `block` stays valid and unchanged.
  virtual void* resize(void* block, std::size_t bytes) = 0;
  virtual void release(void* block) = 0;
  // True when a request was refused because of a bound on the memory in
  // use (not because the system had none) since the last call.
  virtual bool takeBoundRefusal() { return false; }
  // True when several threads may use it at once (the jobs of a parallel
  // evaluation); a run whose allocator is not evaluates on one thread.
  virtual bool threadSafe() const { return false; }
};

// The C heap, with an optional bound on the memory in use: a request is
// refused once the memory in use has reached the bound, and so is growth
// that would take it past. What counts is the memory the process has in
// use (its resident pages, where the system tells them), not the address
// space reserved for blocks to grow in.
class HeapAllocator final : public Allocator {
 public:
  HeapAllocator();
  ~HeapAllocator() override;
  HeapAllocator(const HeapAllocator&) = delete;
  HeapAllocator& operator=(const HeapAllocator&) = delete;
  void* allocate(std::size_t bytes) override;
  void* resize(void* block, std::size_t bytes) override;
  void release(void* block) override;
  bool takeBoundRefusal() override;
  // The C heap and the counts below serve every thread; the bound holds
  // for the memory of the whole process, whichever job asks.
  bool threadSafe() const override { return true; }

  void setBound(std::size_t bytes) { bound_ = bytes; }  // 0: none; set before the run
  std::size_t inUse() const { return inUse_.load(std::memory_order_relaxed); }

 private:
  bool withinBound(std::size_t more);
  // Large blocks are mappings of their own (see the source). A few released
  // ones are kept for the next blocks of about their size: a new mapping's
  // pages must each be cleared on first touch, and giving one back stops
  // every other processor running a job to flush its address cache.
  struct KeptMapping {
    void* base = nullptr;
    std::size_t length = 0;
  };
  static constexpr int kKeptMappings = 16;
  void* newBlock(std::size_t bytes);
  void* resizedBlock(void* block, std::size_t bytes);
  void releaseBlock(void* block);
  void* reuseMapping(std::size_t length, std::size_t& got);  // nullptr when none fits
  bool keepMapping(void* base, std::size_t length);          // false when there is no room
  bool dropKeptMappings();  // whether any was kept

  bool keepMappings_ = false;  // set once: not under a limit on the address space
  std::mutex keptLock_;
  KeptMapping kept_[kKeptMappings];  // under the lock
  std::size_t keptBytes_ = 0;        // under the lock

  std::size_t bound_ = 0;
  ResidentMemoryReader resident_;
  std::atomic<std::size_t> inUse_{0};
  std::atomic<bool> boundRefused_{false};
};

}  // namespace velkor

// The heap seam: every block of polynomial storage is allocated, resized and
// released through an Allocator, so tests can make any allocation fail.
#pragma once

#include <atomic>
#include <cstddef>

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

  std::size_t bound_ = 0;
  std::atomic<std::size_t> inUse_{0};
  std::atomic<bool> boundRefused_{false};
};

}  // namespace velkor

// The heap seam: every block of polynomial storage is allocated, resized and
// released through an Allocator, so tests can make any allocation fail.
#pragma once

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

  void setBound(std::size_t bytes) { bound_ = bytes; }  // 0: none
  std::size_t inUse() const { return inUse_; }

 private:
  bool withinBound(std::size_t more);

  std::size_t bound_ = 0;
  std::size_t inUse_ = 0;
  bool boundRefused_ = false;
};

}  // namespace velkor

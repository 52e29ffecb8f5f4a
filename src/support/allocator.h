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
};

// The C heap.
class HeapAllocator final : public Allocator {
 public:
  void* allocate(std::size_t bytes) override;
  void* resize(void* block, std::size_t bytes) override;
  void release(void* block) override;
};

}  // namespace velkor

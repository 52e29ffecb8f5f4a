// The heap seam: every block of polynomial storage is allocated, resized and
// released through an Allocator, so tests can make any allocation fail.
#pragma once

#include <cstddef>
#include <cstdint>

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

// A test allocator over the C heap that refuses chosen requests: the
// `failAt`-th request counted from 1 (0: none), every request after it when
// `failAfter` is set, and every request larger than `maxBytes`.
class FailingAllocator final : public Allocator {
 public:
  void* allocate(std::size_t bytes) override;
  void* resize(void* block, std::size_t bytes) override;
  void release(void* block) override;

  std::uint64_t failAt = 0;
  bool failAfter = false;
  std::size_t maxBytes = SIZE_MAX;

  std::uint64_t requests() const { return requests_; }
  std::uint64_t failures() const { return failures_; }
  std::int64_t liveBlocks() const { return live_; }

 private:
  bool refuse(std::size_t bytes);
  std::uint64_t requests_ = 0;
  std::uint64_t failures_ = 0;
  std::int64_t live_ = 0;
};

}  // namespace velkor

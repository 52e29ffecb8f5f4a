#include "support/failing_allocator.h"

#include <cstdlib>
#include <cstring>

#include "support/address_sanitizer.h"

#ifdef VELKOR_ASAN
#include <sanitizer/asan_interface.h>
#define VELKOR_POISON(block, bytes) ASAN_POISON_MEMORY_REGION(block, bytes)
#define VELKOR_UNPOISON(block, bytes) ASAN_UNPOISON_MEMORY_REGION(block, bytes)
#else
#define VELKOR_POISON(block, bytes) ((void)(block), (void)(bytes))
#define VELKOR_UNPOISON(block, bytes) ((void)(block), (void)(bytes))
#endif

namespace velkor {

namespace {

constexpr unsigned char kGarbage = 0xa5;

}  // namespace

FailingAllocator::~FailingAllocator() {
  for (int i = 0; i < pooled_; ++i) {
    VELKOR_UNPOISON(pool_[i].block, pool_[i].bytes);
    std::free(pool_[i].block);
  }
}

bool FailingAllocator::refuse(std::size_t bytes) {
  ++requests_;
  bool no = bytes > maxBytes || (failAt != 0 && (requests_ == failAt || (failAfter && requests_ > failAt)));
  if (no) ++failures_;
  return no;
}

void FailingAllocator::track(void* block, std::size_t bytes) {
  if (!recycle) return;
  for (Sized& slot : tracked_) {
    if (slot.block == nullptr) {
      slot = Sized{block, bytes};
      return;
    }
  }
}

std::size_t FailingAllocator::untrack(void* block) {
  for (Sized& slot : tracked_) {
    if (slot.block == block) {
      std::size_t bytes = slot.bytes;
      slot = Sized{nullptr, 0};
      return bytes;
    }
  }
  return 0;
}

void* FailingAllocator::allocate(std::size_t bytes) {
  std::lock_guard<std::mutex> hold(lock_);
  return allocateLocked(bytes);
}

void* FailingAllocator::resize(void* block, std::size_t bytes) {
  std::lock_guard<std::mutex> hold(lock_);
  return resizeLocked(block, bytes);
}

void FailingAllocator::release(void* block) {
  std::lock_guard<std::mutex> hold(lock_);
  releaseLocked(block);
}

void* FailingAllocator::allocateLocked(std::size_t bytes) {
  if (refuse(bytes)) return nullptr;
  if (bytes == 0) bytes = 1;
  void* block = nullptr;
  for (int i = 0; i < pooled_; ++i) {
    if (pool_[i].bytes != bytes) continue;
    block = pool_[i].block;
    pool_[i] = pool_[--pooled_];
    VELKOR_UNPOISON(block, bytes);
    break;
  }
  if (block == nullptr) block = std::malloc(bytes);
  if (block == nullptr) return nullptr;
  ++live_;
  track(block, bytes);
  return block;
}

void* FailingAllocator::resizeLocked(void* block, std::size_t bytes) {
  if (refuse(bytes)) return nullptr;
  if (bytes == 0) bytes = 1;
  Sized* entry = nullptr;
  for (Sized& slot : tracked_)
    if (block != nullptr && slot.block == block) entry = &slot;
  void* moved = std::realloc(block, bytes);
  if (moved == nullptr) return nullptr;
  if (entry != nullptr) {
    *entry = Sized{moved, bytes};
  } else if (block == nullptr) {
    ++live_;
    track(moved, bytes);
  }
  return moved;
}

void FailingAllocator::releaseLocked(void* block) {
  if (block == nullptr) return;
  --live_;
  std::size_t bytes = untrack(block);
  if (recycle && bytes != 0 && pooled_ < kPoolSlots) {
    std::memset(block, kGarbage, bytes);
    VELKOR_POISON(block, bytes);
    pool_[pooled_++] = Sized{block, bytes};
    return;
  }
  std::free(block);
}

}  // namespace velkor

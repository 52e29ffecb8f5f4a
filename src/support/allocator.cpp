#include "support/allocator.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define VELKOR_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELKOR_ASAN 1
#endif
#endif

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

#if defined(__linux__) && !defined(VELKOR_ASAN)
#define VELKOR_MAPPED_BLOCKS 1
#endif

#ifdef VELKOR_MAPPED_BLOCKS

namespace {

// Large blocks (term lists and power indexes of big circuits, which double
// as they fill) are mappings of their own: growing one remaps its pages
// instead of copying them into new ones, and a released one goes straight
// back to the system. The C library would serve blocks of a few hundred
// kilobytes from its heap once others have been released, and then grow
// them by copying, which touches every page again. Small blocks come from
// the C heap. Every block starts after a header that says which it is.
// (Under the address sanitizer all blocks come from the C heap, so that it
// watches them.)
constexpr std::size_t kMappedFrom = std::size_t{128} << 10;

struct alignas(16) BlockHeader {
  std::size_t mappedBytes;  // the mapping's length, header included; 0 for a C heap block
  std::size_t bytes;        // the size asked for
};

BlockHeader* headerOf(void* block) { return static_cast<BlockHeader*>(block) - 1; }

std::size_t mappedLength(std::size_t bytes) {
  const std::size_t page = 4096;
  if (bytes > SIZE_MAX - sizeof(BlockHeader) - page) return 0;
  return (bytes + sizeof(BlockHeader) + page - 1) / page * page;
}

void* mapBlock(std::size_t bytes) {
  const std::size_t length = mappedLength(bytes);
  if (length == 0) return nullptr;
  void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) return nullptr;
  auto* header = static_cast<BlockHeader*>(base);
  *header = BlockHeader{length, bytes};
  return header + 1;
}

void* heapBlock(std::size_t bytes) {
  if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + bytes));
  if (header == nullptr) return nullptr;
  *header = BlockHeader{0, bytes};
  return header + 1;
}

}  // namespace

void* HeapAllocator::allocate(std::size_t bytes) {
  return bytes >= kMappedFrom ? mapBlock(bytes) : heapBlock(bytes);
}

void* HeapAllocator::resize(void* block, std::size_t bytes) {
  if (block == nullptr) return allocate(bytes);
  BlockHeader* header = headerOf(block);
  if (header->mappedBytes != 0) {
    const std::size_t length = mappedLength(bytes);
    if (length == 0) return nullptr;
    void* base = mremap(header, header->mappedBytes, length, MREMAP_MAYMOVE);
    if (base == MAP_FAILED) return nullptr;  // the old mapping stays as it was
    auto* moved = static_cast<BlockHeader*>(base);
    *moved = BlockHeader{length, bytes};
    return moved + 1;
  }
  if (bytes >= kMappedFrom) {
    void* grown = mapBlock(bytes);
    if (grown == nullptr) return nullptr;
    std::memcpy(grown, block, header->bytes < bytes ? header->bytes : bytes);
    std::free(header);
    return grown;
  }
  auto* grown = static_cast<BlockHeader*>(std::realloc(header, sizeof(BlockHeader) + bytes));
  if (grown == nullptr) return nullptr;
  grown->bytes = bytes;
  return grown + 1;
}

void HeapAllocator::release(void* block) {
  if (block == nullptr) return;
  BlockHeader* header = headerOf(block);
  if (header->mappedBytes != 0)
    munmap(header, header->mappedBytes);
  else
    std::free(header);
}

#else

void* HeapAllocator::allocate(std::size_t bytes) { return std::malloc(bytes == 0 ? 1 : bytes); }

void* HeapAllocator::resize(void* block, std::size_t bytes) {
  return std::realloc(block, bytes == 0 ? 1 : bytes);
}

void HeapAllocator::release(void* block) { std::free(block); }

#endif

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

void* FailingAllocator::resize(void* block, std::size_t bytes) {
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

void FailingAllocator::release(void* block) {
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

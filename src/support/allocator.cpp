#include "support/allocator.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "support/address_sanitizer.h"

namespace velkor {

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

}  // namespace velkor

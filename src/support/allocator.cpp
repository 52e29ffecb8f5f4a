#include "support/allocator.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "support/address_sanitizer.h"
#include "support/memory_use.h"

namespace velkor {

#if defined(__linux__) && !defined(VELKOR_ASAN) && !defined(VELKOR_TSAN)
#define VELKOR_MAPPED_BLOCKS 1
#endif

namespace {

// Every block starts after a header that gives its size, so that the bytes
// in use are known, and says whether it is a mapping of its own.
//
// Large blocks (term lists and power indexes of big circuits, which double
// as they fill) are mappings of their own: growing one remaps its pages
// instead of copying them into new ones, and a released one goes straight
// back to the system. The C library would serve blocks of a few hundred
// kilobytes from its heap once others have been released, and then grow
// them by copying, which touches every page again. Small blocks come from
// the C heap. (Under the address sanitizer all blocks come from the C heap,
// so that it watches them.)
struct alignas(16) BlockHeader {
  std::size_t mappedBytes;  // the mapping's length, header included; 0 for a C heap block
  std::size_t bytes;        // the size asked for
};

BlockHeader* headerOf(void* block) { return static_cast<BlockHeader*>(block) - 1; }

void* heapBlock(std::size_t bytes) {
  if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + bytes));
  if (header == nullptr) return nullptr;
  *header = BlockHeader{0, bytes};
  return header + 1;
}

#ifdef VELKOR_MAPPED_BLOCKS

constexpr std::size_t kMappedFrom = std::size_t{128} << 10;

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

void* newBlock(std::size_t bytes) { return bytes >= kMappedFrom ? mapBlock(bytes) : heapBlock(bytes); }

void* resizedBlock(void* block, std::size_t bytes) {
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

void releaseBlock(void* block) {
  BlockHeader* header = headerOf(block);
  if (header->mappedBytes != 0)
    munmap(header, header->mappedBytes);
  else
    std::free(header);
}

#else

void* newBlock(std::size_t bytes) { return heapBlock(bytes); }

void* resizedBlock(void* block, std::size_t bytes) {
  if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  auto* grown = static_cast<BlockHeader*>(std::realloc(headerOf(block), sizeof(BlockHeader) + bytes));
  if (grown == nullptr) return nullptr;
  grown->bytes = bytes;
  return grown + 1;
}

void releaseBlock(void* block) { std::free(headerOf(block)); }

#endif

}  // namespace

namespace {

// The memory the process has in use: its resident pages where the system
// tells them (pages reserved but never written do not count), else the
// bytes of the blocks held.
std::size_t memoryInUse(std::size_t heldBytes) { return residentMemory(heldBytes); }

}  // namespace

bool HeapAllocator::withinBound(std::size_t more) {
  if (bound_ == 0) return true;
  const std::size_t used = memoryInUse(inUse());
  if (more <= bound_ && used <= bound_ - more) return true;
  boundRefused_.store(true, std::memory_order_relaxed);
  return false;
}

void* HeapAllocator::allocate(std::size_t bytes) {
  // A new block is charged as its pages are written (copies of power
  // indexes are mostly never written); growth is charged in full, since
  // blocks grow only to be filled.
  if (!withinBound(0)) return nullptr;
  void* block = newBlock(bytes);
  if (block != nullptr) inUse_.fetch_add(bytes, std::memory_order_relaxed);
  return block;
}

void* HeapAllocator::resize(void* block, std::size_t bytes) {
  if (block == nullptr) return allocate(bytes);
  const std::size_t before = headerOf(block)->bytes;
  if (bytes > before && !withinBound(bytes - before)) return nullptr;
  void* moved = resizedBlock(block, bytes);
  if (moved != nullptr) {
    inUse_.fetch_add(bytes, std::memory_order_relaxed);
    inUse_.fetch_sub(before, std::memory_order_relaxed);
  }
  return moved;
}

void HeapAllocator::release(void* block) {
  if (block == nullptr) return;
  inUse_.fetch_sub(headerOf(block)->bytes, std::memory_order_relaxed);
  releaseBlock(block);
}

bool HeapAllocator::takeBoundRefusal() {
  return boundRefused_.exchange(false, std::memory_order_relaxed);
}

}  // namespace velkor

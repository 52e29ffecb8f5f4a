#include "support/allocator.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#include <sys/resource.h>
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
// instead of copying them into new ones, and a released one goes back to
// the system or is kept for the next block of about its size. The C
// library would serve blocks of a few hundred kilobytes from its heap once
// others have been released, and then grow them by copying, which touches
// every page again. Small blocks come from the C heap. (Under the address
// sanitizer all blocks come from the C heap, so that it watches them.)
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
// Released mappings kept for reuse: each at most this long, and this much
// in all. (Larger blocks are few and long-lived: kept, they would only add
// to the peak.)
constexpr std::size_t kKeepEachUpTo = std::size_t{8} << 20;
constexpr std::size_t kKeepInAll = std::size_t{32} << 20;

std::size_t mappedLength(std::size_t bytes) {
  const std::size_t page = 4096;
  if (bytes > SIZE_MAX - sizeof(BlockHeader) - page) return 0;
  return (bytes + sizeof(BlockHeader) + page - 1) / page * page;
}

void* startBlock(void* base, std::size_t length, std::size_t bytes) {
  auto* header = static_cast<BlockHeader*>(base);
  *header = BlockHeader{length, bytes};
  return header + 1;
}

#endif

}  // namespace

#ifdef VELKOR_MAPPED_BLOCKS

void* HeapAllocator::reuseMapping(std::size_t length, std::size_t& got) {
  std::lock_guard<std::mutex> hold(keptLock_);
  // The shortest kept mapping that holds the block, if it is not more than
  // twice as long.
  KeptMapping* best = nullptr;
  for (KeptMapping& kept : kept_)
    if (kept.base != nullptr && kept.length >= length && kept.length / 2 <= length &&
        (best == nullptr || kept.length < best->length))
      best = &kept;
  if (best == nullptr) return nullptr;
  void* base = best->base;
  got = best->length;
  keptBytes_ -= best->length;
  *best = KeptMapping{};
  return base;
}

bool HeapAllocator::keepMapping(void* base, std::size_t length) {
  if (!keepMappings_ || length > kKeepEachUpTo) return false;
  std::lock_guard<std::mutex> hold(keptLock_);
  if (keptBytes_ + length > kKeepInAll) return false;
  for (KeptMapping& kept : kept_) {
    if (kept.base != nullptr) continue;
    kept = KeptMapping{base, length};
    keptBytes_ += length;
    return true;
  }
  return false;
}

bool HeapAllocator::dropKeptMappings() {
  std::lock_guard<std::mutex> hold(keptLock_);
  const bool any = keptBytes_ > 0;
  for (KeptMapping& kept : kept_) {
    if (kept.base != nullptr) munmap(kept.base, kept.length);
    kept = KeptMapping{};
  }
  keptBytes_ = 0;
  return any;
}

void* HeapAllocator::newBlock(std::size_t bytes) {
  // A request the system refuses is asked again once the kept mappings are
  // given back: they hold address space that a limit on it may count.
  if (bytes < kMappedFrom) {
    void* block = heapBlock(bytes);
    if (block == nullptr && dropKeptMappings()) block = heapBlock(bytes);
    return block;
  }
  const std::size_t length = mappedLength(bytes);
  if (length == 0) return nullptr;
  std::size_t got = 0;
  if (void* base = reuseMapping(length, got)) return startBlock(base, got, bytes);
  void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED && dropKeptMappings())
    base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) return nullptr;
  return startBlock(base, length, bytes);
}

void* HeapAllocator::resizedBlock(void* block, std::size_t bytes) {
  BlockHeader* header = headerOf(block);
  if (header->mappedBytes != 0) {
    const std::size_t length = mappedLength(bytes);
    if (length == 0) return nullptr;
    if (length <= header->mappedBytes && header->mappedBytes / 2 <= length) {
      header->bytes = bytes;  // still fits the mapping, which is not much too long
      return block;
    }
    void* base = mremap(header, header->mappedBytes, length, MREMAP_MAYMOVE);
    if (base == MAP_FAILED && dropKeptMappings()) base = mremap(header, header->mappedBytes, length, MREMAP_MAYMOVE);
    if (base == MAP_FAILED) return nullptr;  // the old mapping stays as it was
    return startBlock(base, length, bytes);
  }
  if (bytes >= kMappedFrom) {
    void* grown = newBlock(bytes);
    if (grown == nullptr) return nullptr;
    std::memcpy(grown, block, header->bytes < bytes ? header->bytes : bytes);
    std::free(header);
    return grown;
  }
  auto* grown = static_cast<BlockHeader*>(std::realloc(header, sizeof(BlockHeader) + bytes));
  if (grown == nullptr && dropKeptMappings())
    grown = static_cast<BlockHeader*>(std::realloc(header, sizeof(BlockHeader) + bytes));
  if (grown == nullptr) return nullptr;
  grown->bytes = bytes;
  return grown + 1;
}

void HeapAllocator::releaseBlock(void* block) {
  BlockHeader* header = headerOf(block);
  if (header->mappedBytes == 0)
    std::free(header);
  else if (!keepMapping(header, header->mappedBytes))
    munmap(header, header->mappedBytes);
}

// Under a limit on the address space, which kept mappings would use up for
// other allocations, none are kept.
HeapAllocator::HeapAllocator() {
  struct rlimit space {};
  keepMappings_ = getrlimit(RLIMIT_AS, &space) == 0 && space.rlim_cur == RLIM_INFINITY;
}

HeapAllocator::~HeapAllocator() { dropKeptMappings(); }

#else

void* HeapAllocator::newBlock(std::size_t bytes) { return heapBlock(bytes); }

void* HeapAllocator::resizedBlock(void* block, std::size_t bytes) {
  if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  auto* grown = static_cast<BlockHeader*>(std::realloc(headerOf(block), sizeof(BlockHeader) + bytes));
  if (grown == nullptr) return nullptr;
  grown->bytes = bytes;
  return grown + 1;
}

void HeapAllocator::releaseBlock(void* block) { std::free(headerOf(block)); }

HeapAllocator::HeapAllocator() = default;

HeapAllocator::~HeapAllocator() = default;

bool HeapAllocator::dropKeptMappings() { return false; }

#endif

bool HeapAllocator::withinBound(std::size_t more) {
  if (bound_ == 0) return true;
  // The memory the process has in use: its resident pages where the system
  // tells them (pages reserved but never written do not count), else the
  // bytes of the blocks held.
  std::size_t used = resident_.read(inUse());
  if (more <= bound_ && used <= bound_ - more) return true;
  // The mappings kept for reuse are resident too: given back before the
  // request is refused.
  dropKeptMappings();
  used = resident_.read(inUse());
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

#include "support/allocator.h"

#include <cstdlib>

namespace velkor {

void* HeapAllocator::allocate(std::size_t bytes) { return std::malloc(bytes == 0 ? 1 : bytes); }

void* HeapAllocator::resize(void* block, std::size_t bytes) {
  return std::realloc(block, bytes == 0 ? 1 : bytes);
}

void HeapAllocator::release(void* block) { std::free(block); }

bool FailingAllocator::refuse(std::size_t bytes) {
  ++requests_;
  bool no = bytes > maxBytes || (failAt != 0 && (requests_ == failAt || (failAfter && requests_ > failAt)));
  if (no) ++failures_;
  return no;
}

void* FailingAllocator::allocate(std::size_t bytes) {
  if (refuse(bytes)) return nullptr;
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block != nullptr) ++live_;
  return block;
}

void* FailingAllocator::resize(void* block, std::size_t bytes) {
  if (refuse(bytes)) return nullptr;
  void* moved = std::realloc(block, bytes == 0 ? 1 : bytes);
  if (moved != nullptr && block == nullptr) ++live_;
  return moved;
}

void FailingAllocator::release(void* block) {
  if (block != nullptr) --live_;
  std::free(block);
}

}  // namespace velkor

#include "support/failing_new.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace velkor::testing {

namespace {

std::atomic<bool> armed{false};
std::atomic<std::uint64_t> requests{0};
std::uint64_t refuseAt = 0;
bool refuseAfter = false;

void* allocate(std::size_t bytes) {
  if (armed.load(std::memory_order_relaxed)) {
    const std::uint64_t n = ++requests;
    if (refuseAt != 0 && (n == refuseAt || (refuseAfter && n > refuseAt))) throw std::bad_alloc();
  }
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

}  // namespace

void armFailingNew(std::uint64_t failAt, bool failAfter) {
  refuseAt = failAt;
  refuseAfter = failAfter;
  requests = 0;
  armed = true;
}

std::uint64_t disarmFailingNew() {
  armed = false;
  return requests.load();
}

}  // namespace velkor::testing

// The replaceable forms that take their memory from malloc, the nothrow
// ones included (the library's temporary buffers use them and free them
// with the plain delete); the aligned ones keep the library's.
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
  try {
    return velkor::testing::allocate(bytes);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
  try {
    return velkor::testing::allocate(bytes);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
void* operator new(std::size_t bytes) { return velkor::testing::allocate(bytes); }
void* operator new[](std::size_t bytes) { return velkor::testing::allocate(bytes); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

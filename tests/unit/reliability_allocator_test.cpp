// The test allocator itself: which requests it refuses, how it counts, and
// the recycling that keeps the fault-injection runs fast.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "support/allocator.h"

#if defined(__SANITIZE_ADDRESS__)
#define VELKOR_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELKOR_SANITIZED 1
#endif
#endif

namespace velkor {
namespace {

TEST(FailingAllocatorModes, RefusesTheChosenRequestsOnly) {
  FailingAllocator heap;
  heap.failAt = 2;
  void* a = heap.allocate(16);
  EXPECT_NE(a, nullptr);
  EXPECT_EQ(heap.resize(a, 32), nullptr);  // the second request
  void* b = heap.resize(a, 32);            // the third succeeds
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(heap.failures(), 1u);
  heap.release(b);

  heap.restartCounts();
  heap.failAfter = true;
  void* c = heap.allocate(8);
  EXPECT_NE(c, nullptr);
  EXPECT_EQ(heap.allocate(8), nullptr);
  EXPECT_EQ(heap.allocate(8), nullptr);
  EXPECT_EQ(heap.requests(), 3u);
  EXPECT_EQ(heap.failures(), 2u);
  heap.release(c);

  heap.restartCounts();
  heap.failAt = 0;
  heap.maxBytes = 100;
  void* d = heap.allocate(100);
  EXPECT_NE(d, nullptr);
  EXPECT_EQ(heap.allocate(101), nullptr);
  EXPECT_EQ(heap.resize(d, 101), nullptr);
  heap.release(d);
  heap.release(nullptr);
  EXPECT_EQ(heap.liveBlocks(), 0);
}

TEST(FailingAllocatorModes, RecyclesReleasedBlocksOfTheSameSizeFilledWithGarbage) {
  FailingAllocator heap;
  heap.recycle = true;
  auto* a = static_cast<unsigned char*>(heap.allocate(4096));
  ASSERT_NE(a, nullptr);
  std::memset(a, 0, 4096);
  heap.release(a);
  EXPECT_EQ(heap.liveBlocks(), 0);
  auto* b = static_cast<unsigned char*>(heap.allocate(4096));
  EXPECT_EQ(b, a);
  for (int k = 0; k < 4096; ++k) ASSERT_EQ(b[k], 0xa5) << k;
  // Another size is a fresh block; a resized block is kept with its new
  // size.
  void* c = heap.allocate(1000);
  EXPECT_NE(c, static_cast<void*>(b));
  void* d = heap.resize(b, 8192);
  ASSERT_NE(d, nullptr);
  heap.release(d);
  EXPECT_EQ(heap.allocate(8192), d);
  heap.release(d);
  heap.release(c);
  EXPECT_EQ(heap.liveBlocks(), 0);
  // Refusals still count as requests and leave no block.
  heap.failAt = heap.requests() + 1;
  EXPECT_EQ(heap.allocate(8192), nullptr);
  EXPECT_EQ(heap.liveBlocks(), 0);
}

#ifdef VELKOR_SANITIZED
TEST(FailingAllocatorModesDeathTest, KeptBlocksArePoisoned) {
  FailingAllocator heap;
  heap.recycle = true;
  auto* a = static_cast<volatile unsigned char*>(heap.allocate(256));
  heap.release(const_cast<unsigned char*>(a));
  EXPECT_DEATH(a[10] = 1, "use-after-poison");
}
#endif

}  // namespace
}  // namespace velkor

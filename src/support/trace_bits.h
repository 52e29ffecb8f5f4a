// The listings that the t entry's bitmap turns on, read at every level.
#pragma once

namespace velkor {

// Trace bits of the t entry.
enum TraceBit : int {
  kTraceDump = 1,
  kTraceRawTrees = 2,
  kTraceMatchedTrees = 8,
  kTraceMixedUnits = 16,
  kTraceAdmittance = 32,
  kTraceResources = 64,
  kTraceGroup128 = 128,
  kTraceTerms = 256,
  kTraceNoAccumulation = 512,
  kTracePerTerm = 1024,
};

// Bits that turn on the formula headings.
constexpr int kTraceHeadingBits = 2 | 8 | 16 | 32 | 64 | 128;
// Bits that turn on the map and graph listing of a product.
constexpr int kTraceListingBits = 2 | 8 | 16 | 32 | 128;

}  // namespace velkor

// Merging signed tree products into a polynomial's ordered columns.
#pragma once

#include <cstdint>

namespace velkor {

struct PolyContext;
struct PolyRecord;

// A hash index over the terms of the polynomial being accumulated, keyed by
// power and exponent vector. While it is active, a new term goes to the end
// of its column and the columns are put in order once, when the
// accumulation ends; without it (plain path, or when the index could not
// grow) each product is placed by bisection. The index is scratch outside
// the polynomial store and comes straight from the C heap: when the heap
// refuses it, accumulation bisects, with the same result.
struct TermIndex {
  std::uint32_t* slots = nullptr;  // term index + 1 (0 empty), power, hash
  std::uint32_t capacity = 0;      // number of slots, a power of two
  std::uint32_t used = 0;
  bool active = false;
};

// Merges the product of the symbols of `symbolEdges` (`edgeSymbols` maps
// an edge to its symbol) into `target`. 0 when the product is stored (or
// skipped under trace bit 512), 1 when memory ran out, kCoefficientOutOfRange
// when a coefficient would overflow.
int accumulateTerm(PolyContext& ctx, int sign, int power, int symbolEdgeCount, const int* symbolEdges,
                   const int* edgeSymbols, PolyRecord& target);

// Starts indexed accumulation into an empty record (does nothing when the
// index cannot be allocated: accumulation then bisects).
void beginIndexedAccumulation(PolyContext& ctx);
// Ends it: puts every column of `target` in order (when `sortColumns`) and
// releases the index.
void endIndexedAccumulation(PolyContext& ctx, PolyRecord& target, bool sortColumns);
// Frees the index's slots, if any, and marks it inactive.
void releaseTermIndex(TermIndex& index);

}  // namespace velkor

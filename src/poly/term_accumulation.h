// Merging signed tree products into a polynomial's ordered columns.
#pragma once

#include <cstdint>

#include "support/capacities.h"

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
  std::uint32_t room = 0;  // the slots the block holds (capacity or more)
  // Blocks given back, kept for the next index of this context or the
  // next doubling of this one (which needs a block beside the one it
  // leaves): writing them again costs less than fresh pages from the
  // system (one fault a page, and a trim of the heap when it goes back).
  static constexpr int kSpares = 2;
  std::uint32_t* spare[kSpares] = {};
  std::uint32_t spareRoom[kSpares] = {};
};

// Merges the product of the symbols of `symbolEdges` (`edgeSymbols` maps
// an edge to its symbol) into `target`. 0 when the product is stored (or
// skipped under trace bit 512), 1 when memory ran out, kCoefficientOutOfRange
// when a coefficient would overflow.
int accumulateTerm(PolyContext& ctx, int sign, int power, int symbolEdgeCount, const int* symbolEdges,
                   const int* edgeSymbols, PolyRecord& target);

// Merges one term of another polynomial (its power, its exponents as
// `target` keeps them, and its coefficient) into `target`, exactly as
// accumulating its products one by one would: an equal term takes the sum
// of the coefficients, a new one goes where a new product would. Returns
// as accumulateTerm does.
int mergeTerm(PolyContext& ctx, int power, const std::int8_t* exponents, std::int64_t coefficient,
              PolyRecord& target);
// Appends the terms of `part`, none of which `target` holds, after those
// of `target`, each at the end of its column: what accumulating the
// products of `part` after those of `target` would store. Both records keep
// the same exponents. 0, or 1 when memory ran out.
int appendTerms(PolyContext& ctx, PolyRecord& target, const PolyRecord& part);
// Puts every column of `record` in order, as accumulation leaves them,
// sharing the columns among `jobs` threads (the caller's among them).
void orderColumns(PolyRecord& record, int jobs = 1);
// Starts indexed accumulation into a record that already holds terms (in
// any column order); without room for the index the columns are put in
// order and terms are placed by bisection.
void beginIndexedAccumulationOver(PolyContext& ctx, PolyRecord& record);

// Starts indexed accumulation into an empty record (does nothing when the
// index cannot be allocated: accumulation then bisects).
void beginIndexedAccumulation(PolyContext& ctx);
// Ends it: puts every column of `target` in order (when `sortColumns`) and
// releases the index.
void endIndexedAccumulation(PolyContext& ctx, PolyRecord& target, bool sortColumns);
// Frees the index's slots, if any, and marks it inactive.
void releaseTermIndex(TermIndex& index);
// Releases the index and the block kept for the next one.
void dropTermIndex(TermIndex& index);

}  // namespace velkor

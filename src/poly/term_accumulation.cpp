// Merges one signed tree product into a polynomial.
//
// Each power column lists term indices in strictly descending lexicographic
// order of the exponent vectors, so a product is found or placed by
// bisection. Terms never move once stored; an insertion shifts indices in
// one column only. Both blocks grow as soon as they are full, so the next
// call always has room for one more term and one more row.
#include "poly/term_accumulation.h"

#include <cstring>

#include "support/analysis_context.h"

namespace velkor {

namespace {

// Negative when a is lexicographically smaller than b, positive when it is
// larger, 0 when all slots are equal.
int compareExponents(const std::int32_t* a, const std::int32_t* b) {
  for (int slot = 0; slot < kSymbolSlots; ++slot) {
    if (a[slot] != b[slot]) return a[slot] < b[slot] ? -1 : 1;
  }
  return 0;
}

void storeTerm(AnalysisContext& ctx, PolyRecord& record, int sign) {
  Term& term = record.termlist[record.termCount];
  std::memcpy(term.exponents, ctx.workExponents, sizeof term.exponents);
  term.coefficient = sign;
  term.inverted = 0;
}

// Grows the termlist when the term just stored took its last free slot.
int growTermlistIfFull(AnalysisContext& ctx, PolyRecord& record) {
  if (record.termCount + 1 < record.termCapacity) return 0;
  if (ctx.traced(kTraceResources)) ctx.out.print("resizing termlist ");
  const std::int32_t oldCapacity = record.termCapacity;
  void* block = record.termlist;
  if (growStore(ctx, &block, &record.termCapacity, sizeof(Term)) != 0) return 1;
  record.termlist = static_cast<Term*>(block);
  std::memset(record.termlist + oldCapacity, 0,
              sizeof(Term) * static_cast<std::size_t>(record.termCapacity - oldCapacity));
  return 0;
}

// Grows the power index when a column has no spare row left.
int growPolyIfFull(AnalysisContext& ctx, PolyRecord& record, int power) {
  if (record.powerCounts[power] + 1 < record.polyRows) return 0;
  if (ctx.traced(kTraceResources)) ctx.out.print("resizing poly ");
  const std::int32_t oldRows = record.polyRows;
  void* block = record.poly;
  if (growStore(ctx, &block, &record.polyRows, sizeof(PolyRow)) != 0) return 1;
  record.poly = static_cast<PolyRow*>(block);
  std::memset(record.poly + oldRows, 0, sizeof(PolyRow) * static_cast<std::size_t>(record.polyRows - oldRows));
  return 0;
}

}  // namespace

int accumulateTerm(AnalysisContext& ctx, int sign, int power, int symbolEdgeCount, const int* symbolEdges,
                   PolyRecord& target) {
  std::int32_t* work = ctx.workExponents;
  for (int slot = 0; slot < kSymbolSlots; ++slot) work[slot] = 0;
  for (int k = 0; k < symbolEdgeCount; ++k) {
    const int edge = symbolEdges[k];
    if (edge < 0 || edge >= kEdgeSlots) continue;
    const int symbol = ctx.graph.dbranchmap[edge];
    if (symbol >= 0 && symbol < kSymbolSlots) ++work[symbol];
  }

  if (ctx.traced(kTraceTerms)) {
    ctx.out.print("%2d,%2d,%2d,%2d,%2d,%2d:", ctx.store.netlistNumber, ctx.store.traceLabel, 0, 0, power, sign);
    for (int k = 0; k < symbolEdgeCount; ++k) ctx.out.print(",%3d", symbolEdges[k]);
    ctx.out.print("\n");
  }
  if (ctx.traced(kTraceNoAccumulation)) return 0;

  if (!target.live()) return 1;
  // Tree products have at most 41 reactive edges; a power without a column
  // cannot arise and is not stored.
  if (power < 0 || power >= kPowerColumns) return 0;

  const int count = target.powerCounts[power];
  if (count == 0) {
    target.at(0, power) = target.termCount;
    storeTerm(ctx, target, sign);
    if (growTermlistIfFull(ctx, target) != 0) return 1;
    ++target.termCount;
    target.powerCounts[power] = 1;
    return 0;
  }

  int low = 0;
  int high = count - 1;
  while (low <= high) {
    const int mid = (low + high) / 2;
    Term& term = target.termlist[target.at(mid, power)];
    const int order = compareExponents(term.exponents, work);
    if (order == 0) {
      // The same product again: only the coefficient changes, and a term
      // that cancels to 0 keeps its place.
      term.coefficient =
          static_cast<std::int32_t>(static_cast<std::uint32_t>(term.coefficient) + static_cast<std::uint32_t>(sign));
      return 0;
    }
    if (order < 0)
      high = mid - 1;
    else
      low = mid + 1;
  }

  const int row = low;
  for (int r = count; r > row; --r) target.at(r, power) = target.at(r - 1, power);
  target.at(row, power) = target.termCount;
  storeTerm(ctx, target, sign);
  if (growTermlistIfFull(ctx, target) != 0) return 1;
  ++target.termCount;
  ++target.powerCounts[power];
  return growPolyIfFull(ctx, target, power);
}

}  // namespace velkor

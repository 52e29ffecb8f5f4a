// Symbolic polynomials in s: term lists and ordered power columns.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/capacities.h"

namespace velkor {

struct AnalysisContext;

struct Term {
  std::int32_t exponents[kSymbolSlots];
  std::int32_t coefficient;
  std::int32_t inverted;
};

// One row of the power index: the termlist index of the row's term in each
// power column.
struct PolyRow {
  std::int32_t column[kPowerColumns];
};

struct PolyRecord {
  Term* termlist = nullptr;
  PolyRow* poly = nullptr;
  std::int32_t powerCounts[kPowerColumns] = {};
  std::int32_t termCapacity = 0;
  std::int32_t polyRows = 0;
  std::int32_t termCount = 0;

  bool live() const { return termlist != nullptr; }
  std::int32_t& at(int row, int power) { return poly[row].column[power]; }
  std::int32_t at(int row, int power) const { return poly[row].column[power]; }
};

// Allocates an empty record (4386 terms, 102 rows); 0, or 1 when the heap
// refused (the record then holds no block).
int createPolyRecord(AnalysisContext& ctx, PolyRecord& record);
void releasePolyRecord(AnalysisContext& ctx, PolyRecord& record);
// Copies slot `source` into slot `destination`, negating the coefficients
// when sign < 0; 0, or 1 after printing why the copy failed.
int copyPolyRecord(AnalysisContext& ctx, int sign, int destination, int source);
// Grows *block of *count elements of `elementSize` bytes: doubles it, or
// when that is refused tries ever smaller increases. 0 on success with both
// written back, 1 when every attempt was refused (block and count
// unchanged). The caller zeroes the added elements.
int growStore(AnalysisContext& ctx, void** block, std::int32_t* count, std::size_t elementSize);

}  // namespace velkor

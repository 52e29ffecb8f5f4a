// Symbolic polynomials in s: term lists and ordered power columns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "support/capacities.h"

namespace velkor {

struct PolyContext;

// An exponent of one symbol. A tree product's exponent counts the tree's
// edges that carry the symbol, so it lies in 0 .. kTreeSlots (the tree
// product hands over at most that many symbol edges). The ohm-unit
// conversion replaces an exponent e by x - e, where x is the largest such
// count (or 0), so converted exponents lie within -kTreeSlots .. kTreeSlots;
// they are negative only in cancelled terms, which do not count for x.
// One signed byte holds them all.
using Exponent = std::int8_t;
static_assert(kTreeSlots <= INT8_MAX, "every exponent, converted ones included, fits an Exponent");

// Coefficients count common trees that share one product, and a network
// can have far more than 2^31 of them, so they are 64-bit. They stay within
// -kMaxCoefficient .. kMaxCoefficient, so that every one can be negated and
// its absolute value taken; a sum that would leave that range is refused
// (addCoefficient) and its function abandoned, never wrapped.
constexpr std::int64_t kMaxCoefficient = INT64_MAX;

// A coefficient as two 32-bit words: a term then needs only 4-byte
// alignment, and compact terms stay 4 bytes apart instead of 8. It reads
// and assigns as a std::int64_t.
class Coefficient {
 public:
  Coefficient() = default;
  // Implicit both ways on purpose: a coefficient is used as a number.
  Coefficient(std::int64_t value) { *this = value; }
  Coefficient& operator=(std::int64_t value) {
    std::memcpy(words_, &value, sizeof value);
    return *this;
  }
  operator std::int64_t() const {
    std::int64_t value;
    std::memcpy(&value, words_, sizeof value);
    return value;
  }

 private:
  std::uint32_t words_[2];
};
static_assert(sizeof(Coefficient) == 8 && alignof(Coefficient) == 4);

// The status of an operation that refused a coefficient out of range; the
// function or formula it worked on is then abandoned.
constexpr int kCoefficientOutOfRange = 2;

// Adds `addend` to `sum`; false, leaving `sum` as it was, when the result
// would leave -kMaxCoefficient .. kMaxCoefficient.
inline bool addCoefficient(Coefficient& sum, std::int64_t addend) {
  const std::int64_t a = sum;
  if (addend > 0 ? a > kMaxCoefficient - addend : a < -kMaxCoefficient - addend) return false;
  sum = a + addend;
  return true;
}

// A term's exponents come last, so that a record may keep only the first
// ones (those of the symbols its network has) and lay its terms closer.
struct Term {
  Coefficient coefficient;
  std::uint8_t inverted;  // set once the ohm-unit conversion has treated the term
  Exponent exponents[kSymbolSlots];
};
static_assert(sizeof(Term) <= kTermElementSize, "a term fits the plain layout's term record");
constexpr int kTermHead = static_cast<int>(sizeof(Coefficient) + sizeof(std::uint8_t));

// The distance between terms that keep `exponentCount` exponents.
constexpr std::int32_t compactTermStride(int exponentCount) { return (kTermHead + exponentCount + 3) / 4 * 4; }

// One row of the power index across all power columns: the unit in which
// the index is allocated and grown.
struct PolyRow {
  std::int32_t column[kPowerColumns];
};

struct PolyRecord {
  // Terms lie `termStride` bytes apart: sizeof(Term) on the fast path, the
  // full 416-byte term record of the plain layout on the plain path.
  Term* termlist = nullptr;
  // The power index, stored column after column: the entry of row r in
  // column p is poly[p * polyRows + r], so a column's entries are adjacent.
  std::int32_t* poly = nullptr;
  std::int32_t powerCounts[kPowerColumns] = {};
  std::int32_t termCapacity = 0;
  std::int32_t polyRows = 0;
  std::int32_t termCount = 0;
  std::int32_t termStride = sizeof(Term);
  // The exponents each term keeps: every symbol slot, or on the fast path
  // the slots up to the last symbol of the network; the others are 0.
  std::int32_t exponentCount = kSymbolSlots;
  // Bytes at the start of the termlist whose pages have been made ready to
  // be written in one go (fast path only; a hint, never needed).
  std::size_t preparedBytes = 0;

  bool live() const { return termlist != nullptr; }
  Term& term(std::int32_t index) {
    return *reinterpret_cast<Term*>(reinterpret_cast<unsigned char*>(termlist) +
                                    static_cast<std::size_t>(index) * static_cast<std::size_t>(termStride));
  }
  const Term& term(std::int32_t index) const {
    return *reinterpret_cast<const Term*>(reinterpret_cast<const unsigned char*>(termlist) +
                                          static_cast<std::size_t>(index) * static_cast<std::size_t>(termStride));
  }
  std::int32_t& at(int row, int power) {
    return poly[static_cast<std::size_t>(power) * static_cast<std::size_t>(polyRows) + static_cast<std::size_t>(row)];
  }
  std::int32_t at(int row, int power) const {
    return poly[static_cast<std::size_t>(power) * static_cast<std::size_t>(polyRows) + static_cast<std::size_t>(row)];
  }
};

// Whether a column holds a term whose coefficient has not cancelled to 0:
// only such columns are printed.
inline bool columnHasNonzeroTerm(const PolyRecord& record, int column) {
  for (int r = 0; r < record.powerCounts[column]; ++r)
    if (record.term(record.at(r, column)).coefficient != 0) return true;
  return false;
}

// Allocates an empty record (4386 terms, 102 rows); 0, or 1 when the heap
// refused (the record then holds no block).
int createPolyRecord(PolyContext& ctx, PolyRecord& record);
void releasePolyRecord(PolyContext& ctx, PolyRecord& record);
// How a copy ended: done, or which of the two blocks the heap refused
// (nothing is then held).
enum class CopyStatus { kDone, kNoTermlist, kNoPoly };
// The message line that says why a copy failed.
const char* copyFailureMessage(CopyStatus status);

// Copies `from` into `to` (released first), negating the coefficients when
// sign < 0.
CopyStatus copyPolyRecord(PolyContext& ctx, int sign, PolyRecord& to, const PolyRecord& from);
// The same copy in two steps: the blocks are reserved (where running short
// of memory shows, as for copyPolyRecord), then filled, perhaps on another
// thread, from a `from` that nothing changes in between. Until it is
// filled, `to` holds only its two blocks.
CopyStatus reservePolyCopy(PolyContext& ctx, PolyRecord& to, const PolyRecord& from);
void fillPolyCopy(bool plainPath, int sign, PolyRecord& to, const PolyRecord& from);
// Like copyPolyRecord, but when `handOver` is set and `from` holds a
// polynomial, its blocks move to `to` and `from` is left empty: nothing is
// copied. It fails exactly where and how the copy would.
CopyStatus takePolyRecord(PolyContext& ctx, int sign, PolyRecord& to, PolyRecord& from, bool handOver);
// Lays an empty record's terms closer, keeping only `exponentCount`
// exponents (at least 8, at most every slot).
void compactTerms(PolyRecord& record, int exponentCount);
// Grows *block of *count elements of `elementSize` bytes: doubles it, or
// when that is refused tries ever smaller increases. 0 on success with both
// written back, 1 when every attempt was refused (block and count
// unchanged). The caller zeroes the added elements.
int growStore(PolyContext& ctx, void** block, std::int32_t* count, std::size_t elementSize);
// Gives back the room a finished record kept for growth: its power index
// takes the stride of its fullest column and its term list the terms it
// holds. Both grow again as usual should the record be added to.
void trimPolyRecord(PolyContext& ctx, PolyRecord& record);
// Grows a record's power index (with the "resizing poly " trace) and keeps
// every column's entries; 0, or 1 when memory ran out.
int growPoly(PolyContext& ctx, PolyRecord& record);

}  // namespace velkor

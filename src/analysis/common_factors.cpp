// Ohm-unit conversion of the numerator and denominator copies, and the
// single-product factors common to both.
//
// Tree products hold every element in admittance form: the symbol of an
// r, z, l or m branch stands for the reciprocal of its value. Multiplying
// numerator and denominator by the same product of impedance symbols turns
// those symbols into the element values themselves; the power of s of each
// term follows its reactive symbols, so terms may change column.
#include "analysis/common_factors.h"

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "analysis/analysis_context.h"

namespace velkor {

namespace {

// Negative when a comes after b in a column (a is lexicographically
// smaller), positive when a comes before b, 0 when equal. Only the
// exponents that the record keeps can differ. The exponents are compared
// as signed numbers: once converted, those of a cancelled term may be
// negative. Eight at a time, to find the first that differs.
int compareExponents(const PolyRecord& record, const Term& a, const Term& b) {
  const int count = record.exponentCount;
  int k = 0;
  for (; k + 8 <= count; k += 8) {
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    std::memcpy(&x, a.exponents + k, sizeof x);
    std::memcpy(&y, b.exponents + k, sizeof y);
    if (x == y) continue;
    const std::uint64_t differ = x ^ y;
    k += (std::endian::native == std::endian::little ? std::countr_zero(differ) : std::countl_zero(differ)) / 8;
    break;
  }
  for (; k < count; ++k)
    if (a.exponents[k] != b.exponents[k]) return a.exponents[k] < b.exponents[k] ? -1 : 1;
  return 0;
}

bool sameExponents(const PolyRecord& record, const Term& a, const Term& b) {
  return std::memcmp(a.exponents, b.exponents, static_cast<std::size_t>(record.exponentCount)) == 0;
}

void removeRow(PolyRecord& record, int row, int column) {
  std::int32_t& count = record.powerCounts[column];
  for (int r = row; r + 1 < count; ++r) record.at(r, column) = record.at(r + 1, column);
  if (count > 0) record.at(count - 1, column) = 0;
  --count;
}

// The column is full when one more entry would leave no spare row; grows
// the poly then. 0, or 1 when memory ran out.
int makeRoomInColumn(AnalysisContext& ctx, PolyRecord& record, int column) {
  if (record.powerCounts[column] + 1 < record.polyRows) return 0;
  return growPoly(ctx, record);
}

// Whether the conversion has a term left to treat in the column.
bool hasUntreatedTerm(const PolyRecord& record, int column) {
  for (int r = 0; r < record.powerCounts[column]; ++r)
    if (record.term(record.at(r, column)).inverted == 0) return true;
  return false;
}

// Symbols 1 .. activeCount + analysisPassiveCount, the name slots in use,
// within the exponent vector.
int lastUsedSymbol(const AnalysisContext& ctx) {
  long last = static_cast<long>(ctx.store.activeCount) + ctx.store.analysisPassiveCount;
  if (last > kSymbolSlots - 1) last = kSymbolSlots - 1;
  if (last > kNameSlots - 1) last = kNameSlots - 1;
  return static_cast<int>(last);
}

// Converts every term and moves those whose recomputed power differs from
// their column. Terms already treated are skipped, so a term moved to a
// later column is not converted twice. Cancelled terms are converted and
// moved like the others, although they did not count for the multipliers:
// their exponents may become negative, and when their power falls outside
// the columns they stay where they are, treated. They are never printed,
// but a moved term that meets one merges into it and takes its row. 0, 1
// when the poly could not grow, or kCoefficientOutOfRange when a merge
// would overflow.
int invertAndMove(AnalysisContext& ctx, PolyRecord& record) {
  const BranchMaps& maps = ctx.maps;
  for (int c = 0; c < kPowerColumns; ++c) {
    if (!hasUntreatedTerm(record, c)) continue;

    int r = 0;
    while (r < record.powerCounts[c]) {
      std::int32_t index = record.at(r, c);
      Term& term = record.term(index);
      if (term.inverted == 1) {
        ++r;
        continue;
      }
      term.inverted = 1;
      for (int k = 0; k < record.exponentCount; ++k) {
        int x = maps.ohmExponents[k];
        if (x != 0) term.exponents[k] = static_cast<Exponent>(x - term.exponents[k]);
      }
      long q = 0;
      for (int k = 0; k < record.exponentCount; ++k)
        if (maps.powermap[k] == 1) q += term.exponents[k];
      // A nonzero term's power is never below 0 nor past the columns (no
      // network has that many reactive branches); a cancelled term's may be.
      if (q == c || q < 0 || q >= kPowerColumns) {
        ++r;
        continue;
      }
      int target = static_cast<int>(q);
      if (record.powerCounts[target] == 0) {
        record.at(0, target) = index;
        record.powerCounts[target] = 1;
      } else {
        bool merged = false;
        for (int t = 0; t < record.powerCounts[target]; ++t) {
          Term& other = record.term(record.at(t, target));
          if (other.inverted == 1 && sameExponents(record, other, term)) {
            if (!addCoefficient(other.coefficient, term.coefficient)) return kCoefficientOutOfRange;
            merged = true;
            break;
          }
        }
        if (!merged) {
          if (makeRoomInColumn(ctx, record, target) != 0) return 1;
          record.at(record.powerCounts[target], target) = index;
          ++record.powerCounts[target];
        }
      }
      removeRow(record, r, c);
    }
  }
  return 0;
}

// The symbols that the ohm-unit conversion touches and the reactive
// symbols that make up a term's power, listed once per conversion.
struct ConversionSlots {
  int ohm[kSymbolSlots];
  int ohmCount = 0;
  int reactive[kSymbolSlots];
  int reactiveCount = 0;
  // Only the slots that the record keeps: the conversion never gives a
  // slot beyond them a multiplier, since every multiplier belongs to a
  // symbol of the network.
  ConversionSlots(const BranchMaps& maps, const PolyRecord& record) {
    for (int k = 0; k < record.exponentCount; ++k) {
      if (maps.ohmExponents[k] != 0) ohm[ohmCount++] = k;
      if (maps.powermap[k] == 1) reactive[reactiveCount++] = k;
    }
  }
};

// The ohm-unit conversion of one term; returns its new power.
long invertTerm(const BranchMaps& maps, const ConversionSlots& slots, Term& term) {
  term.inverted = 1;
  for (int i = 0; i < slots.ohmCount; ++i) {
    const int k = slots.ohm[i];
    term.exponents[k] = static_cast<Exponent>(maps.ohmExponents[k] - term.exponents[k]);
  }
  long q = 0;
  for (int i = 0; i < slots.reactiveCount; ++i) q += term.exponents[slots.reactive[i]];
  return q;
}

// The power that the conversion will give a term, without converting it.
long convertedPower(const BranchMaps& maps, const ConversionSlots& slots, const Term& term) {
  long q = 0;
  for (int i = 0; i < slots.reactiveCount; ++i) {
    const int k = slots.reactive[i];
    const int x = maps.ohmExponents[k];
    q += x != 0 ? static_cast<Exponent>(x - term.exponents[k]) : term.exponents[k];
  }
  return q;
}

// The fast path's version of the moves: the same result, found through a
// hash index instead of a scan of the destination column, and with each
// column closed up once instead of after every move.
//
// A moved term merges with the first treated entry of equal exponents in
// row order of its new column. Treated entries never leave their column in
// this pass, entries treated where they stand lie above every entry moved
// in (those are appended), and each group is in row order by time of
// arrival; so the first such entry is the first one treated in place, or
// failing that the first one moved in.
class MoveIndex {
 public:
  // Scratch outside the polynomial store, straight from the C heap; when
  // the heap refuses it the conversion scans instead.
  explicit MoveIndex(std::uint32_t terms) {
    capacity_ = 1024;
    while (capacity_ < 2 * terms + 2) capacity_ *= 2;
    slots_ = static_cast<Slot*>(std::malloc(sizeof(Slot) * capacity_));
    if (slots_ != nullptr) std::memset(slots_, 0, sizeof(Slot) * capacity_);
  }
  ~MoveIndex() {
    std::free(slots_);
  }
  MoveIndex(const MoveIndex&) = delete;
  MoveIndex& operator=(const MoveIndex&) = delete;
  bool ready() const { return slots_ != nullptr; }

  // The entry of (column, exponents), or nullptr with `free` set to the
  // slot where it would go.
  struct Slot {
    std::uint32_t term;    // term index + 1; 0 for an empty slot
    std::int32_t column;
    std::uint32_t inPlace;
  };
  Slot* find(const PolyRecord& record, int column, const Term& term, Slot** free) {
    // Eight exponents at a time.
    const int count = record.exponentCount;
    std::uint64_t h = static_cast<std::uint64_t>(column) * 0x9e3779b97f4a7c15ull;
    for (int k = 0; k < count; k += 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, term.exponents + k, static_cast<std::size_t>(count - k < 8 ? count - k : 8));
      h = (h ^ word) * 0xff51afd7ed558ccdull;
      h ^= h >> 32;
    }
    h ^= h >> 29;
    std::uint32_t at = static_cast<std::uint32_t>(h) & (capacity_ - 1);
    for (; slots_[at].term != 0; at = (at + 1) & (capacity_ - 1)) {
      Slot& slot = slots_[at];
      if (slot.column == column && sameExponents(record, record.term(static_cast<std::int32_t>(slot.term - 1)), term))
        return &slot;
    }
    *free = &slots_[at];
    return nullptr;
  }

 private:
  Slot* slots_ = nullptr;
  std::uint32_t capacity_ = 0;
};

// Columns that may hold two entries of equal exponents after the
// conversion: those that receive moved terms. In any other column the
// entries were distinct and the conversion, which treats every term alike,
// maps distinct exponents to distinct ones, so the merge has nothing to
// find there.
struct MergeColumns {
  bool column[kPowerColumns] = {};
};

enum class IndexedMoves {
  kDone,         // every term converted and moved; `merge` filled
  kNoIndex,      // the index could not be allocated: nothing changed
  kOutOfMemory,  // the poly could not grow
  kCoefficientOutOfRange,  // a merge would overflow: the record is half
                           // converted and must be dropped
};

IndexedMoves invertAndMoveIndexed(AnalysisContext& ctx, PolyRecord& record, MergeColumns& merge) {
  const BranchMaps& maps = ctx.maps;
  const ConversionSlots slots(maps, record);
  // First find the columns that receive terms: only their entries are ever
  // looked up, so only they are indexed, and without any the index is not
  // needed at all.
  bool receives[kPowerColumns] = {};
  bool anyMove = false;
  for (int c = 0; c < kPowerColumns; ++c) {
    for (int r = 0; r < record.powerCounts[c]; ++r) {
      const Term& term = record.term(record.at(r, c));
      if (term.inverted == 1) continue;
      const long q = convertedPower(maps, slots, term);
      if (q != c && q >= 0 && q < kPowerColumns) {
        receives[q] = true;
        anyMove = true;
      }
    }
  }
  for (int c = 0; c < kPowerColumns; ++c)
    if (receives[c]) merge.column[c] = true;
  if (!anyMove) {
    for (int c = 0; c < kPowerColumns; ++c)
      for (int r = 0; r < record.powerCounts[c]; ++r) {
        Term& term = record.term(record.at(r, c));
        if (term.inverted == 0) invertTerm(maps, slots, term);
      }
    return IndexedMoves::kDone;
  }

  MoveIndex index(static_cast<std::uint32_t>(record.termCount));
  if (!index.ready()) return IndexedMoves::kNoIndex;
  for (int c = 0; c < kPowerColumns; ++c) {
    if (!hasUntreatedTerm(record, c)) continue;

    // Rows that stay are written back from the top (w), in their order.
    int w = 0;
    for (int r = 0; r < record.powerCounts[c]; ++r) {
      const std::int32_t termIndex = record.at(r, c);
      Term& term = record.term(termIndex);
      if (term.inverted == 1) {
        record.at(w++, c) = termIndex;
        continue;
      }
      const long q = invertTerm(maps, slots, term);
      MoveIndex::Slot* free = nullptr;
      if (q == c || q < 0 || q >= kPowerColumns) {
        if (receives[c]) {
          MoveIndex::Slot* slot = index.find(record, c, term, &free);
          if (slot == nullptr)
            *free = {static_cast<std::uint32_t>(termIndex) + 1, c, 1};
          else if (slot->inPlace == 0)
            *slot = {static_cast<std::uint32_t>(termIndex) + 1, c, 1};
        }
        record.at(w++, c) = termIndex;
        continue;
      }
      const int target = static_cast<int>(q);
      MoveIndex::Slot* slot = index.find(record, target, term, &free);
      if (slot != nullptr) {
        Term& other = record.term(static_cast<std::int32_t>(slot->term - 1));
        if (!addCoefficient(other.coefficient, term.coefficient)) return IndexedMoves::kCoefficientOutOfRange;
        continue;
      }
      if (record.powerCounts[target] > 0 && makeRoomInColumn(ctx, record, target) != 0) {
        // Leave the column whole before giving up: the rows not yet
        // visited keep their place below the ones written back.
        for (int rest = r; rest < record.powerCounts[c]; ++rest) record.at(w++, c) = record.at(rest, c);
        record.powerCounts[c] = w;
        return IndexedMoves::kOutOfMemory;
      }
      record.at(record.powerCounts[target]++, target) = termIndex;
      *free = {static_cast<std::uint32_t>(termIndex) + 1, target, 0};
    }
    record.powerCounts[c] = w;
  }
  return IndexedMoves::kDone;
}

// Merges equal terms that the moves brought into one column, looking for
// each entry among the rows above it by bisection. The column is not
// sorted first, so an equal entry off the bisection's path stays apart.
// 0, or kCoefficientOutOfRange when a merge would overflow.
int mergeByBisection(PolyRecord& record, const MergeColumns* only) {
  for (int c = 0; c < kPowerColumns; ++c) {
    if (only != nullptr && !only->column[c]) continue;
    for (int r = record.powerCounts[c] - 1; r >= 1; --r) {
      const Term& term = record.term(record.at(r, c));
      int low = 0;
      int high = r - 1;
      while (low <= high) {
        int mid = (low + high) / 2;
        Term& probe = record.term(record.at(mid, c));
        int order = compareExponents(record, probe, term);
        if (order > 0) {
          low = mid + 1;
        } else if (order < 0) {
          high = mid - 1;
        } else {
          if (!addCoefficient(probe.coefficient, term.coefficient)) return kCoefficientOutOfRange;
          removeRow(record, r, c);
          break;
        }
      }
    }
  }
  return 0;
}

std::int64_t greatestCommonDivisor(std::int64_t a, std::int64_t b) {
  while (b != 0) {
    std::int64_t rest = a % b;
    a = b;
    b = rest;
  }
  return a;
}

}  // namespace

void resetCommonFactors(AnalysisContext& ctx) { ctx.factors = CommonFactors(); }

int extractFactors(AnalysisContext& ctx, OhmUnits units, std::vector<OhmUnitFactor>& dropped) {
  PolyRecord& numerator = ctx.polyRecords[kNumeratorSlot];
  PolyRecord& denominator = ctx.polyRecords[kDenominatorSlot];
  collectOhmExponents(ctx, numerator);
  collectOhmExponents(ctx, denominator);

  if (units == OhmUnits::kMixed) {
    // The multipliers are dropped: the formula stays in mixed units.
    const int last = lastUsedSymbol(ctx);
    for (int i = 1; i <= last; ++i) {
      if (ctx.maps.ohmExponents[i] > 0) dropped.push_back(OhmUnitFactor{i, ctx.maps.ohmExponents[i]});
      ctx.maps.ohmExponents[i] = 0;
    }
  }

  if (const int status = convertToOhmUnits(ctx, numerator); status != 0) return status;
  if (const int status = convertToOhmUnits(ctx, denominator); status != 0) return status;
  collectCommonFactors(ctx, numerator);
  collectCommonFactors(ctx, denominator);
  return 0;
}

void collectOhmExponents(AnalysisContext& ctx, const PolyRecord& record) {
  BranchMaps& maps = ctx.maps;
  for (int c = 0; c < kPowerColumns; ++c) {
    for (int r = 0; r < record.powerCounts[c]; ++r) {
      const Term& term = record.term(record.at(r, c));
      if (term.coefficient == 0) continue;
      for (int i = 0; i < maps.impedanceCount && i < kNameSlots; ++i) {
        int k = maps.impedanceSymbols[i];
        if (k < 0 || k >= record.exponentCount) continue;
        if (term.exponents[k] > maps.ohmExponents[k]) maps.ohmExponents[k] = term.exponents[k];
      }
    }
  }
}

int convertToOhmUnits(AnalysisContext& ctx, PolyRecord& record) {
  MergeColumns merge;
  const IndexedMoves indexed = ctx.plainPath ? IndexedMoves::kNoIndex : invertAndMoveIndexed(ctx, record, merge);
  if (indexed == IndexedMoves::kOutOfMemory) return 1;
  if (indexed == IndexedMoves::kCoefficientOutOfRange) return kCoefficientOutOfRange;
  if (indexed == IndexedMoves::kNoIndex)
    if (const int status = invertAndMove(ctx, record); status != 0) return status;
  return mergeByBisection(record, indexed == IndexedMoves::kDone ? &merge : nullptr);
}

void collectCommonFactors(AnalysisContext& ctx, const PolyRecord& record) {
  CommonFactors& f = ctx.factors;
  // The lowest exponents of this polynomial, kept as bytes so that the
  // minimum over a term's slots is a few vector operations. Only nonzero
  // terms count, and their exponents are never negative.
  Exponent lowest[kSymbolSlots];
  std::memset(lowest, INT8_MAX, sizeof lowest);
  bool anyTerm = false;
  for (int c = 0; c < kPowerColumns; ++c) {
    if (record.powerCounts[c] <= 0 || !columnHasNonzeroTerm(record, c)) continue;
    if (c < f.minPower) f.minPower = c;
    for (int r = 0; r < record.powerCounts[c]; ++r) {
      const Term& term = record.term(record.at(r, c));
      if (term.coefficient == 0) continue;
      anyTerm = true;
      for (int k = 0; k < record.exponentCount; ++k)
        lowest[k] = term.exponents[k] < lowest[k] ? term.exponents[k] : lowest[k];
      const std::int64_t coefficient = term.coefficient;
      if (coefficient > 0) f.overallSign = 1;
      // Coefficients are never below -kMaxCoefficient: the absolute value
      // exists.
      const std::int64_t a = coefficient < 0 ? -coefficient : coefficient;
      const std::int64_t g = f.coefficientGcd;
      f.coefficientGcd = (g == 0 || g == a) ? a : greatestCommonDivisor(g, a);
    }
  }
  // The slots the record does not keep are 0 in all its terms.
  if (anyTerm)
    for (int k = 0; k < kSymbolSlots; ++k) {
      const int low = k < record.exponentCount ? lowest[k] : 0;
      if (low < f.minExponents[k]) f.minExponents[k] = low;
    }
}

}  // namespace velkor

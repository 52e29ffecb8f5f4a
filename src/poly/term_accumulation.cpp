// Merges one signed tree product into a polynomial.
//
// Each power column lists term indices in strictly descending lexicographic
// order of the exponent vectors, so a product is found or placed by
// bisection. Terms never move once stored; an insertion shifts indices in
// one column only. Both blocks grow as soon as they are full, so the next
// call always has room for one more term and one more row.
#include "poly/term_accumulation.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#include "poly/poly_context.h"
#include "support/memory_use.h"

namespace velkor {

namespace {

// Negative when a is lexicographically smaller than b, positive when it is
// larger, 0 when all slots are equal (the slots a record does not keep are
// 0 in every term).
// Accumulated exponents are never negative, so the order of their bytes
// read as unsigned is their lexicographic order.
int compareExponents(const PolyRecord& record, const Exponent* a, const Exponent* b) {
  return std::memcmp(a, b, static_cast<std::size_t>(record.exponentCount));
}

void storeTerm(PolyContext& ctx, PolyRecord& record, std::int64_t coefficient) {
  Term& term = record.term(record.termCount);
  std::memcpy(term.exponents, ctx.workExponents, static_cast<std::size_t>(record.exponentCount));
  term.coefficient = coefficient;
  term.inverted = 0;
}

// Grows the termlist when the term just stored took its last free slot.
int growTermlistIfFull(PolyContext& ctx, PolyRecord& record) {
  if (record.termCount + 1 < record.termCapacity) return 0;
  if (ctx.traced(kTraceResources)) ctx.out.print("resizing termlist ");
  const std::int32_t oldCapacity = record.termCapacity;
  void* block = record.termlist;
  if (growStore(ctx, &block, &record.termCapacity, static_cast<std::size_t>(record.termStride)) != 0) return 1;
  record.termlist = static_cast<Term*>(block);
  // Terms are written whole when stored; only the plain path clears the
  // added ones.
  if (ctx.plainPath)
    std::memset(&record.term(oldCapacity), 0,
                static_cast<std::size_t>(record.termStride) *
                    static_cast<std::size_t>(record.termCapacity - oldCapacity));
  return 0;
}

// Grows the power index when a column has no spare row left.
int growPolyIfFull(PolyContext& ctx, PolyRecord& record, int power) {
  if (record.powerCounts[power] + 1 < record.polyRows) return 0;
  return growPoly(ctx, record);
}

std::uint64_t mixBits(std::uint64_t x) {
  x += 0x9e3779b97f4a7c15ull;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

// Hash of a product: a sum over its symbols, each counted as often as its
// exponent (built from the tree's symbol edges), mixed with its power.
std::uint64_t symbolHash(int symbol) { return mixBits(static_cast<std::uint64_t>(symbol) * 131u + 7u); }

std::uint64_t finishHash(std::uint64_t sum, int power) {
  return mixBits(sum + mixBits(static_cast<std::uint64_t>(power) + 0x5bd1e995ull));
}

bool sameExponents(const PolyRecord& record, const Exponent* a, const Exponent* b) {
  return compareExponents(record, a, b) == 0;
}

// An index slot is three words: term index + 1 (0: empty), power, and the
// low 32 bits of the product's hash, which spare most exponent comparisons
// and every rehash.
constexpr std::size_t kSlotWords = 3;

// Places a term in an index table of `capacity` slots (no equal key there).
void placeInIndex(std::uint32_t* slots, std::uint32_t capacity, std::uint32_t hash, std::uint32_t term,
                  std::uint32_t power) {
  std::uint32_t at = hash & (capacity - 1);
  while (slots[kSlotWords * at] != 0) at = (at + 1) & (capacity - 1);
  slots[kSlotWords * at] = term + 1;
  slots[kSlotWords * at + 1] = power;
  slots[kSlotWords * at + 2] = hash;
}

// A block kept for reuse holds at most this many slots (12 MiB): a larger
// one goes back to the system.
constexpr std::uint32_t kMostSpareRoom = std::uint32_t{1} << 20;

// Blocks from this size on come from the system as fresh pages.
constexpr std::size_t kFreshPagesFrom = std::size_t{128} << 10;

// Empty slots for an index of `capacity`, the smallest kept block that is
// large enough if any; null when the heap refused. `room` gets the block's
// size.
std::uint32_t* emptySlots(TermIndex& index, std::uint32_t capacity, std::uint32_t& room) {
  int best = -1;
  for (int k = 0; k < TermIndex::kSpares; ++k)
    if (index.spare[k] != nullptr && index.spareRoom[k] >= capacity &&
        (best < 0 || index.spareRoom[k] < index.spareRoom[best]))
      best = k;
  if (best >= 0) {
    std::uint32_t* slots = index.spare[best];
    room = index.spareRoom[best];
    index.spare[best] = nullptr;
    index.spareRoom[best] = 0;
    std::memset(slots, 0, sizeof(std::uint32_t) * kSlotWords * capacity);
    return slots;
  }
  room = capacity;
  const std::size_t bytes = sizeof(std::uint32_t) * kSlotWords * static_cast<std::size_t>(capacity);
  auto* slots = static_cast<std::uint32_t*>(std::calloc(bytes, 1));
  // A large block comes as fresh zero pages that the first probe maps
  // read-only; the first write to each would then be a second fault, which
  // with jobs on other cores stops them all to flush the old mapping. Made
  // writable at once instead. (The first block of an index comes from the
  // heap, written already: the call would only cost its time, on every
  // function.)
  if (slots != nullptr && bytes >= kFreshPagesFrom) preparePagesForWriting(slots, bytes);
  return slots;
}

// Gives a block back: kept for a later index in place of a smaller kept
// one (or an empty place), unless it is too large.
void giveBack(TermIndex& index, std::uint32_t* slots, std::uint32_t room) {
  if (slots == nullptr) return;
  int smallest = 0;
  for (int k = 1; k < TermIndex::kSpares; ++k)
    if (index.spareRoom[k] < index.spareRoom[smallest]) smallest = k;
  if (room > kMostSpareRoom || (index.spare[smallest] != nullptr && room <= index.spareRoom[smallest])) {
    std::free(slots);
    return;
  }
  std::free(index.spare[smallest]);
  index.spare[smallest] = slots;
  index.spareRoom[smallest] = room;
}

// Doubles the index; false when the heap refused.
bool growIndex(PolyContext& ctx) {
  TermIndex& index = ctx.termIndex;
  const std::uint32_t capacity = index.capacity * 2;
  std::uint32_t room = 0;
  std::uint32_t* slots = emptySlots(index, capacity, room);
  if (slots == nullptr) return false;
  for (std::uint32_t at = 0; at < index.capacity; ++at) {
    const std::uint32_t* old = index.slots + kSlotWords * at;
    if (old[0] != 0) placeInIndex(slots, capacity, old[2], old[0] - 1, old[1]);
  }
  giveBack(index, index.slots, index.room);
  index.slots = slots;
  index.capacity = capacity;
  index.room = room;
  return true;
}

// Puts one column in strictly descending lexicographic order (heap sort in
// place: no allocation).
void sortColumn(PolyRecord& record, int power) {
  const int count = record.powerCounts[power];
  auto less = [&](int a, int b) {
    // "a before b" in the column means a is larger; the heap is built on
    // the reversed order so that the largest ends up first.
    return compareExponents(record, record.term(record.at(a, power)).exponents,
                            record.term(record.at(b, power)).exponents) > 0;
  };
  auto swapRows = [&](int a, int b) {
    const std::int32_t t = record.at(a, power);
    record.at(a, power) = record.at(b, power);
    record.at(b, power) = t;
  };
  auto siftDown = [&](int root, int end) {
    for (;;) {
      int child = 2 * root + 1;
      if (child >= end) return;
      if (child + 1 < end && less(child, child + 1)) ++child;
      if (!less(root, child)) return;
      swapRows(root, child);
      root = child;
    }
  };
  for (int start = count / 2 - 1; start >= 0; --start) siftDown(start, count);
  for (int end = count - 1; end > 0; --end) {
    swapRows(0, end);
    siftDown(0, end);
  }
}

// A column entry with the eight exponent bytes from which the column's
// terms start to differ, read as one big-endian number: comparing keys
// orders most pairs without touching the terms.
struct SortKey {
  std::uint64_t key;
  std::int32_t term;
};

// The first exponent slot at which some term of the column differs from
// its first term, at most 8 before the last kept slot so that eight bytes
// can be read.
int firstDifferingSlot(const PolyRecord& record, int power) {
  const Exponent* first = record.term(record.at(0, power)).exponents;
  int limit = record.exponentCount - 8;
  for (int r = 1; r < record.powerCounts[power] && limit > 0; ++r) {
    const Exponent* other = record.term(record.at(r, power)).exponents;
    int k = 0;
    while (k < limit && first[k] == other[k]) ++k;
    limit = k;
  }
  return limit;
}

void sortColumnByKeys(PolyRecord& record, int power, SortKey* keys) {
  const int count = record.powerCounts[power];
  const int offset = firstDifferingSlot(record, power);
  for (int r = 0; r < count; ++r) {
    const std::int32_t t = record.at(r, power);
    const Exponent* e = record.term(t).exponents + offset;
    std::uint64_t key = 0;
    for (int b = 0; b < 8; ++b) key = (key << 8) | static_cast<std::uint8_t>(e[b]);
    keys[r] = SortKey{key, t};
  }
  const std::size_t rest = static_cast<std::size_t>(record.exponentCount - offset - 8);
  std::sort(keys, keys + count, [&](const SortKey& a, const SortKey& b) {
    if (a.key != b.key) return a.key > b.key;
    return std::memcmp(record.term(a.term).exponents + offset + 8, record.term(b.term).exponents + offset + 8,
                       rest) > 0;
  });
  for (int r = 0; r < count; ++r) record.at(r, power) = keys[r].term;
}

// Orders every column. The keys are scratch from the C heap; when it
// refuses them, the columns are heap-sorted in place instead.
void sortAllColumns(PolyRecord& record) {
  int longest = 0;
  for (int power = 0; power < kPowerColumns; ++power)
    if (record.powerCounts[power] > longest) longest = record.powerCounts[power];
  if (longest < 2) return;
  auto* keys = static_cast<SortKey*>(std::malloc(sizeof(SortKey) * static_cast<std::size_t>(longest)));
  for (int power = 0; power < kPowerColumns; ++power) {
    if (record.powerCounts[power] < 2) continue;
    if (keys != nullptr)
      sortColumnByKeys(record, power, keys);
    else
      sortColumn(record, power);
  }
  std::free(keys);
}

// New terms are written one after another into pages never touched
// before, and on a virtual machine taking each page at its first write is
// costly: the pages ahead are made ready in runs instead, from 16 KiB and
// as long as what is already written, up to 1 MiB.
void prepareTermsAhead(PolyRecord& record, std::size_t needed) {
  const std::size_t run = std::clamp(record.preparedBytes, std::size_t{16} << 10, std::size_t{1} << 20);
  const std::size_t capacity =
      static_cast<std::size_t>(record.termCapacity) * static_cast<std::size_t>(record.termStride);
  const std::size_t ready = std::min(capacity, needed + run);
  if (ready > record.preparedBytes)
    preparePagesForWriting(reinterpret_cast<char*>(record.termlist) + record.preparedBytes,
                           ready - record.preparedBytes);
  record.preparedBytes = std::max(ready, needed);
}

// The hash sum of a product from its exponents: each symbol counted as
// often as its exponent, as accumulateTerm counts it from the tree's edges.
std::uint64_t symbolSumOf(const Exponent* exponents, const PolyRecord& record) {
  std::uint64_t sum = 0;
  for (int slot = 0; slot < record.exponentCount; ++slot)
    if (exponents[slot] > 0) sum += static_cast<std::uint64_t>(exponents[slot]) * symbolHash(slot);
  return sum;
}

int accumulateBisected(PolyContext& ctx, std::int64_t sign, int power, PolyRecord& target);

// Indexed accumulation: find the product through the hash index, or append
// it to its column.
int accumulateIndexed(PolyContext& ctx, std::int64_t sign, int power, std::uint64_t symbolSum, PolyRecord& target) {
  TermIndex& index = ctx.termIndex;
  const Exponent* work = ctx.workExponents;
  const std::uint32_t hash = static_cast<std::uint32_t>(finishHash(symbolSum, power));
  std::uint32_t at = hash & (index.capacity - 1);
  for (; index.slots[kSlotWords * at] != 0; at = (at + 1) & (index.capacity - 1)) {
    const std::uint32_t* slot = index.slots + kSlotWords * at;
    if (slot[2] != hash || slot[1] != static_cast<std::uint32_t>(power)) continue;
    Term& term = target.term(static_cast<std::int32_t>(slot[0] - 1));
    if (!sameExponents(target, term.exponents, work)) continue;
    return addCoefficient(term.coefficient, sign) ? 0 : kCoefficientOutOfRange;
  }
  const int count = target.powerCounts[power];
  const std::int32_t termIndex = target.termCount;
  const std::size_t needed =
      static_cast<std::size_t>(termIndex + 1) * static_cast<std::size_t>(target.termStride);
  if (needed > target.preparedBytes) prepareTermsAhead(target, needed);
  target.at(count, power) = termIndex;
  storeTerm(ctx, target, sign);
  if (growTermlistIfFull(ctx, target) != 0) return 1;
  ++target.termCount;
  ++target.powerCounts[power];
  index.slots[kSlotWords * at] = static_cast<std::uint32_t>(termIndex) + 1;
  index.slots[kSlotWords * at + 1] = static_cast<std::uint32_t>(power);
  index.slots[kSlotWords * at + 2] = hash;
  ++index.used;
  // The poly grows at the same moments as with bisection: after an
  // insertion into a column that already held terms.
  if (count > 0 && growPolyIfFull(ctx, target, power) != 0) return 1;
  if (2 * index.used > index.capacity && !growIndex(ctx)) {
    // No room for a larger index: go on by bisection over ordered columns.
    endIndexedAccumulation(ctx, target, true);
  }
  return 0;
}

}  // namespace

void beginIndexedAccumulation(PolyContext& ctx) {
  TermIndex& index = ctx.termIndex;
  releaseTermIndex(index);
  constexpr std::uint32_t kInitialSlots = 8192;
  std::uint32_t room = 0;
  std::uint32_t* slots = emptySlots(index, kInitialSlots, room);
  if (slots == nullptr) return;
  index.slots = slots;
  index.capacity = kInitialSlots;
  index.room = room;
  index.used = 0;
  index.active = true;
}

void endIndexedAccumulation(PolyContext& ctx, PolyRecord& target, bool sortColumns) {
  TermIndex& index = ctx.termIndex;
  if (!index.active) return;
  if (sortColumns && target.live()) sortAllColumns(target);
  releaseTermIndex(index);
}

void releaseTermIndex(TermIndex& index) {
  giveBack(index, index.slots, index.room);
  index.slots = nullptr;
  index.capacity = 0;
  index.room = 0;
  index.used = 0;
  index.active = false;
}

void dropTermIndex(TermIndex& index) {
  releaseTermIndex(index);
  for (int k = 0; k < TermIndex::kSpares; ++k) {
    std::free(index.spare[k]);
    index.spare[k] = nullptr;
    index.spareRoom[k] = 0;
  }
}

int accumulateTerm(PolyContext& ctx, int sign, int power, int symbolEdgeCount, const int* symbolEdges,
                   const int* edgeSymbols, PolyRecord& target) {
  Exponent* work = ctx.workExponents;
  for (int slot = 0; slot < kSymbolSlots; ++slot) work[slot] = 0;
  std::uint64_t symbolSum = 0;
  for (int k = 0; k < symbolEdgeCount; ++k) {
    const int edge = symbolEdges[k];
    if (edge < 0 || edge >= kEdgeSlots) continue;
    const int symbol = edgeSymbols[edge];
    if (symbol >= 0 && symbol < kSymbolSlots) {
      ++work[symbol];
      symbolSum += symbolHash(symbol);
    }
  }

  if (ctx.traced(kTraceTerms)) {
    ctx.out.print("%2d,%2d,%2d,%2d,%2d,%2d:", ctx.netlistNumber, ctx.traceLabel, 0, 0, power, sign);
    for (int k = 0; k < symbolEdgeCount; ++k) ctx.out.print(",%3d", symbolEdges[k]);
    ctx.out.print("\n");
  }
  if (ctx.traced(kTraceNoAccumulation)) return 0;

  if (!target.live()) return 1;
  // Tree products have at most 41 reactive edges; a power without a column
  // cannot arise and is not stored.
  if (power < 0 || power >= kPowerColumns) return 0;

  if (ctx.termIndex.active) return accumulateIndexed(ctx, sign, power, symbolSum, target);
  return accumulateBisected(ctx, sign, power, target);
}

int mergeTerm(PolyContext& ctx, int power, const Exponent* exponents, std::int64_t coefficient, PolyRecord& target) {
  if (!target.live()) return 1;
  if (power < 0 || power >= kPowerColumns) return 0;
  Exponent* work = ctx.workExponents;
  for (int slot = 0; slot < kSymbolSlots; ++slot) work[slot] = 0;
  std::memcpy(work, exponents, static_cast<std::size_t>(target.exponentCount));
  if (ctx.termIndex.active) return accumulateIndexed(ctx, coefficient, power, symbolSumOf(work, target), target);
  return accumulateBisected(ctx, coefficient, power, target);
}

void orderColumns(PolyRecord& record, int jobs) {
  if (!record.live()) return;
  if (jobs <= 1) {
    sortAllColumns(record);
    return;
  }
  // The longest columns first, each to the thread with the fewest terms so
  // far; the columns are apart, and the terms are only read.
  int order[kPowerColumns];
  for (int p = 0; p < kPowerColumns; ++p) order[p] = p;
  std::sort(order, order + kPowerColumns, [&](int a, int b) { return record.powerCounts[a] > record.powerCounts[b]; });
  std::vector<std::vector<int>> shares(static_cast<std::size_t>(jobs));
  std::vector<std::int64_t> load(static_cast<std::size_t>(jobs), 0);
  for (int p : order) {
    if (record.powerCounts[p] < 2) continue;
    const auto least = static_cast<std::size_t>(std::min_element(load.begin(), load.end()) - load.begin());
    shares[least].push_back(p);
    load[least] += record.powerCounts[p];
  }
  auto sortShare = [&record](const std::vector<int>& columns) {
    if (columns.empty()) return;
    auto* keys = static_cast<SortKey*>(
        std::malloc(sizeof(SortKey) * static_cast<std::size_t>(record.powerCounts[columns.front()])));
    for (int p : columns) {
      if (keys != nullptr)
        sortColumnByKeys(record, p, keys);
      else
        sortColumn(record, p);
    }
    std::free(keys);
  };
  std::vector<std::thread> helpers;
  for (std::size_t j = 1; j < shares.size(); ++j) {
    try {
      helpers.emplace_back(sortShare, std::cref(shares[j]));
    } catch (const std::system_error&) {
      sortShare(shares[j]);  // no thread to be had: sorted here
    }
  }
  sortShare(shares[0]);
  for (std::thread& helper : helpers) helper.join();
}

int appendTerms(PolyContext& ctx, PolyRecord& target, const PolyRecord& part) {
  if (!target.live()) return 1;
  if (!part.live() || part.termCount == 0) return 0;
  if (part.termStride != target.termStride || part.exponentCount != target.exponentCount) return 1;
  const std::size_t stride = static_cast<std::size_t>(target.termStride);
  // Room for every term and row, and one more of each, as accumulation
  // always keeps.
  while (static_cast<std::int64_t>(target.termCount) + part.termCount + 1 >= target.termCapacity) {
    void* block = target.termlist;
    if (growStore(ctx, &block, &target.termCapacity, stride) != 0) return 1;
    target.termlist = static_cast<Term*>(block);
  }
  for (;;) {
    bool fits = true;
    for (int power = 0; power < kPowerColumns; ++power)
      if (static_cast<std::int64_t>(target.powerCounts[power]) + part.powerCounts[power] + 1 >= target.polyRows)
        fits = false;
    if (fits) break;
    if (growPoly(ctx, target) != 0) return 1;
  }
  std::memcpy(&target.term(target.termCount), part.termlist, stride * static_cast<std::size_t>(part.termCount));
  for (int power = 0; power < kPowerColumns; ++power) {
    const int base = target.powerCounts[power];
    for (int r = 0; r < part.powerCounts[power]; ++r) target.at(base + r, power) = part.at(r, power) + target.termCount;
    target.powerCounts[power] += part.powerCounts[power];
  }
  target.termCount += part.termCount;
  target.preparedBytes = std::max(target.preparedBytes, stride * static_cast<std::size_t>(target.termCount));
  return 0;
}

void beginIndexedAccumulationOver(PolyContext& ctx, PolyRecord& record) {
  beginIndexedAccumulation(ctx);
  TermIndex& index = ctx.termIndex;
  for (int power = 0; power < kPowerColumns && index.active; ++power) {
    for (int r = 0; r < record.powerCounts[power]; ++r) {
      const std::int32_t t = record.at(r, power);
      const auto hash = static_cast<std::uint32_t>(finishHash(symbolSumOf(record.term(t).exponents, record), power));
      placeInIndex(index.slots, index.capacity, hash, static_cast<std::uint32_t>(t), static_cast<std::uint32_t>(power));
      ++index.used;
      if (2 * index.used > index.capacity && !growIndex(ctx)) {
        releaseTermIndex(index);
        break;
      }
    }
  }
  // Without an index the terms are placed by bisection, which needs the
  // columns in order.
  if (!index.active && record.live()) sortAllColumns(record);
}

namespace {

int accumulateBisected(PolyContext& ctx, std::int64_t sign, int power, PolyRecord& target) {
  const Exponent* work = ctx.workExponents;
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
    Term& term = target.term(target.at(mid, power));
    const int order = compareExponents(target, term.exponents, work);
    if (order == 0) {
      // The same product again: only the coefficient changes, and a term
      // that cancels to 0 keeps its place.
      return addCoefficient(term.coefficient, sign) ? 0 : kCoefficientOutOfRange;
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

}  // namespace

}  // namespace velkor

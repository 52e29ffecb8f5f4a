#include "poly/poly_store.h"

#include <cstring>

#include "poly/poly_context.h"
#include "support/memory_use.h"

namespace velkor {

namespace {

// Lower 32 bits of an address, as the growth trace prints it.
unsigned traceAddress(const void* block) {
  return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(block) & 0xffffffffu);
}

}  // namespace

const char* copyFailureMessage(CopyStatus status) {
  switch (status) {
    case CopyStatus::kNoTermlist: return "can't allocate space for termlist\n";
    case CopyStatus::kNoPoly: return "can't allocate space for poly\n";
    case CopyStatus::kDone: break;
  }
  return "";
}

PolyContext::~PolyContext() { dropTermIndex(termIndex); }

int createPolyRecord(PolyContext& ctx, PolyRecord& record) {
  releasePolyRecord(ctx, record);
  const std::int32_t stride = ctx.plainPath ? static_cast<std::int32_t>(kTermElementSize) : sizeof(Term);
  std::size_t termBytes = static_cast<std::size_t>(stride) * kInitialTermCapacity;
  std::size_t rowBytes = sizeof(PolyRow) * kInitialPolyRows;
  auto* terms = static_cast<Term*>(ctx.alloc.allocate(termBytes));
  if (terms == nullptr) return 1;
  auto* rows = static_cast<std::int32_t*>(ctx.alloc.allocate(rowBytes));
  if (rows == nullptr) {
    ctx.alloc.release(terms);
    return 1;
  }
  // Terms are written whole when they are stored and rows are read only
  // below their column's count, so only the plain path clears the blocks
  // (the fast path leaves untouched pages unmapped).
  if (ctx.plainPath) {
    std::memset(terms, 0, termBytes);
    std::memset(rows, 0, rowBytes);
  }
  record.termlist = terms;
  record.poly = rows;
  record.termCapacity = kInitialTermCapacity;
  record.termStride = stride;
  record.exponentCount = kSymbolSlots;
  record.polyRows = kInitialPolyRows;
  record.termCount = 0;
  record.preparedBytes = 0;
  for (auto& count : record.powerCounts) count = 0;
  return 0;
}

void releasePolyRecord(PolyContext& ctx, PolyRecord& record) {
  if (record.termlist != nullptr) ctx.alloc.release(record.termlist);
  if (record.poly != nullptr) ctx.alloc.release(record.poly);
  record.termlist = nullptr;
  record.poly = nullptr;
}

namespace {

// The two blocks of a copy of `from`; nothing is held when one is refused.
CopyStatus allocateCopy(PolyContext& ctx, const PolyRecord& from, Term** terms, std::int32_t** rows) {
  std::size_t termBytes = static_cast<std::size_t>(from.termStride) * static_cast<std::size_t>(from.termCapacity);
  std::size_t rowBytes = sizeof(PolyRow) * static_cast<std::size_t>(from.polyRows);
  *terms = static_cast<Term*>(ctx.alloc.allocate(termBytes));
  if (*terms == nullptr) return CopyStatus::kNoTermlist;
  *rows = static_cast<std::int32_t*>(ctx.alloc.allocate(rowBytes));
  if (*rows == nullptr) {
    ctx.alloc.release(*terms);
    return CopyStatus::kNoPoly;
  }
  return CopyStatus::kDone;
}

// Coefficients stay within -kMaxCoefficient .. kMaxCoefficient, so each
// one can be negated.
void negateCoefficients(PolyRecord& record, std::int32_t count) {
  for (std::int32_t t = 0; t < count; ++t) {
    Term& term = record.term(t);
    term.coefficient = -static_cast<std::int64_t>(term.coefficient);
  }
}

}  // namespace

CopyStatus reservePolyCopy(PolyContext& ctx, PolyRecord& to, const PolyRecord& from) {
  releasePolyRecord(ctx, to);
  Term* terms = nullptr;
  std::int32_t* rows = nullptr;
  const CopyStatus status = allocateCopy(ctx, from, &terms, &rows);
  if (status != CopyStatus::kDone) return status;
  to.termlist = terms;
  to.poly = rows;
  return CopyStatus::kDone;
}

void fillPolyCopy(bool plainPath, int sign, PolyRecord& to, const PolyRecord& from) {
  Term* terms = to.termlist;
  std::int32_t* rows = to.poly;
  const std::size_t rowBytes = sizeof(PolyRow) * static_cast<std::size_t>(from.polyRows);
  // The plain path copies both blocks whole; the fast path copies the terms
  // in use and each column's entries, which is all that is ever read.
  const std::int32_t termsToCopy = plainPath ? from.termCapacity : from.termCount;
  const std::size_t termBytes = static_cast<std::size_t>(from.termStride) * static_cast<std::size_t>(termsToCopy);
  preparePagesForWriting(terms, termBytes);
  if (plainPath) {
    std::memcpy(rows, from.poly, rowBytes);
  } else {
    const std::size_t stride = static_cast<std::size_t>(from.polyRows);
    for (int p = 0; p < kPowerColumns; ++p)
      if (from.powerCounts[p] > 0)
        std::memcpy(rows + static_cast<std::size_t>(p) * stride, from.poly + static_cast<std::size_t>(p) * stride,
                    sizeof(std::int32_t) * static_cast<std::size_t>(from.powerCounts[p]));
  }
  std::memcpy(terms, from.termlist, termBytes);
  to.termStride = from.termStride;
  to.exponentCount = from.exponentCount;
  if (sign < 0) negateCoefficients(to, termsToCopy);
  to.polyRows = from.polyRows;
  to.termCapacity = from.termCapacity;
  std::memcpy(to.powerCounts, from.powerCounts, sizeof to.powerCounts);
  to.termCount = from.termCount;
  to.preparedBytes = 0;
}

CopyStatus copyPolyRecord(PolyContext& ctx, int sign, PolyRecord& to, const PolyRecord& from) {
  const CopyStatus status = reservePolyCopy(ctx, to, from);
  if (status == CopyStatus::kDone) fillPolyCopy(ctx.plainPath, sign, to, from);
  return status;
}

CopyStatus takePolyRecord(PolyContext& ctx, int sign, PolyRecord& to, PolyRecord& from, bool handOver) {
  if (!handOver || &to == &from || !from.live()) return copyPolyRecord(ctx, sign, to, from);
  releasePolyRecord(ctx, to);
  // The blocks of a copy are still requested, so that running short of
  // memory fails at the same request and prints the same as a copy would;
  // they go back untouched (pages never written cost nothing).
  Term* terms = nullptr;
  std::int32_t* rows = nullptr;
  const CopyStatus status = allocateCopy(ctx, from, &terms, &rows);
  if (status != CopyStatus::kDone) return status;
  ctx.alloc.release(terms);
  ctx.alloc.release(rows);
  to = from;
  from.termlist = nullptr;
  from.poly = nullptr;
  if (sign < 0) negateCoefficients(to, to.termCount);
  return CopyStatus::kDone;
}

void compactTerms(PolyRecord& record, int exponentCount) {
  if (record.termCount != 0) return;
  if (exponentCount < 8) exponentCount = 8;
  if (exponentCount > kSymbolSlots) exponentCount = kSymbolSlots;
  const std::int32_t stride = compactTermStride(exponentCount);
  if (stride >= record.termStride) return;
  record.exponentCount = exponentCount;
  record.termStride = stride;
}

int growStore(PolyContext& ctx, void** block, std::int32_t* count, std::size_t elementSize) {
  bool trace = ctx.traced(kTraceResources);
  const std::int64_t length = *count;
  if (trace) ctx.out.print("orig size =%d, orig ptr =0x%08x\n", *count, traceAddress(*block));
  auto attempt = [&](std::int64_t n) -> bool {
    if (n > INT32_MAX) return false;
    void* grown = ctx.alloc.resize(*block, static_cast<std::size_t>(n) * elementSize);
    if (grown == nullptr) return false;
    if (trace) ctx.out.print("num of elements =%d, pointer =0x%08x\n", static_cast<int>(n), traceAddress(grown));
    *block = grown;
    *count = static_cast<std::int32_t>(n);
    return true;
  };
  if (attempt(2 * length)) return 0;
  for (std::int64_t n = (length + 2 * length) / 2; n > length; n = (n + length) / 2)
    if (attempt(n)) return 0;
  if (trace) ctx.out.print("resize failed for insufficient memory\n");
  return 1;
}

int growPoly(PolyContext& ctx, PolyRecord& record) {
  if (ctx.traced(kTraceResources)) ctx.out.print("resizing poly ");
  const std::int32_t oldRows = record.polyRows;
  void* block = record.poly;
  if (growStore(ctx, &block, &record.polyRows, sizeof(PolyRow)) != 0) return 1;
  record.poly = static_cast<std::int32_t*>(block);
  // Spread the columns to their new places, the last first, so that no
  // column is overwritten before it has moved.
  const std::size_t from = static_cast<std::size_t>(oldRows);
  const std::size_t to = static_cast<std::size_t>(record.polyRows);
  for (int p = kPowerColumns - 1; p > 0; --p) {
    const std::size_t moved = ctx.plainPath ? from : static_cast<std::size_t>(record.powerCounts[p]);
    if (moved > 0) std::memmove(record.poly + p * to, record.poly + p * from, sizeof(std::int32_t) * moved);
  }
  // Entries at and below a column's count mean nothing; only the plain
  // path clears the added rows.
  if (ctx.plainPath)
    for (int p = 0; p < kPowerColumns; ++p)
      std::memset(record.poly + p * to + from, 0, sizeof(std::int32_t) * (to - from));
  return 0;
}

void trimPolyRecord(PolyContext& ctx, PolyRecord& record) {
  if (!record.live()) return;
  // Room of less than this is left alone: it costs little, and small
  // records keep the sizes they have always had.
  constexpr std::size_t kWorthTrimming = std::size_t{1} << 20;
  std::int32_t rows = 1;
  for (std::int32_t count : record.powerCounts)
    if (count > rows) rows = count;
  if (sizeof(PolyRow) * static_cast<std::size_t>(record.polyRows - rows) >= kWorthTrimming) {
    // Each column moves down to its place at the smaller stride, the first
    // first, so that none is overwritten before it has moved.
    const std::size_t from = static_cast<std::size_t>(record.polyRows);
    const std::size_t to = static_cast<std::size_t>(rows);
    for (int p = 1; p < kPowerColumns; ++p) {
      const std::size_t moved = static_cast<std::size_t>(record.powerCounts[p]);
      if (moved > 0) std::memmove(record.poly + p * to, record.poly + p * from, sizeof(std::int32_t) * moved);
    }
    void* smaller = ctx.alloc.resize(record.poly, sizeof(PolyRow) * to);
    if (smaller != nullptr) record.poly = static_cast<std::int32_t*>(smaller);
    record.polyRows = rows;
  }
  const std::int32_t terms = record.termCount > 0 ? record.termCount : 1;
  if (static_cast<std::size_t>(record.termStride) * static_cast<std::size_t>(record.termCapacity - terms) >=
      kWorthTrimming) {
    void* smaller = ctx.alloc.resize(record.termlist, static_cast<std::size_t>(record.termStride) * terms);
    if (smaller != nullptr) {
      record.termlist = static_cast<Term*>(smaller);
      record.termCapacity = terms;
    }
  }
  record.preparedBytes = 0;
}

}  // namespace velkor

// The printed formula of one two-port parameter: numerator and denominator
// grouped by powers of s, one line per term, with every factor common to
// both polynomials divided out.
#include "render/text_renderer.h"

#include <cstdint>

#include "analysis/analysis_context.h"
#include "analysis/common_factors.h"
#include "model/parameter_table.h"

namespace velkor {

namespace {

constexpr int kUnset = 2147483647;

// " name   " for exponent 1, " name^e " (exponent left-aligned in two
// characters) for 2 and more.
void printSymbolField(AnalysisContext& ctx, int symbol, std::int64_t exponent) {
  const char* name = symbol < kNameSlots ? ctx.store.branchNames[symbol] : "";
  if (exponent == 1)
    ctx.out.print(" %s   ", name);
  else
    ctx.out.print(" %s^%-2lld", name, static_cast<long long>(exponent));
}

bool columnHasNonzeroTerm(const PolyRecord& record, int column) {
  for (int r = 0; r < record.powerCounts[column]; ++r)
    if (record.term(record.at(r, column)).coefficient != 0) return true;
  return false;
}

// Appends `value` in decimal, right-aligned in `width` characters (printf's
// "%*lld"), or left-aligned when `leftAlign` is set ("%-*lld").
char* appendInteger(char* at, std::int64_t value, int width, bool leftAlign) {
  char digits[24];
  int n = 0;
  std::uint64_t magnitude = value < 0 ? 0u - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10u);
    magnitude /= 10u;
  } while (magnitude != 0);
  if (value < 0) digits[n++] = '-';
  int pad = width > n ? width - n : 0;
  if (!leftAlign)
    for (; pad > 0; --pad) *at++ = ' ';
  while (n > 0) *at++ = digits[--n];
  if (leftAlign)
    for (; pad > 0; --pad) *at++ = ' ';
  return at;
}

// A term line is formatted by hand into one buffer and written at once:
// millions of them are printed for large circuits. The layout is that of
// the formats "%3lld", " %s   " and " %s^%-2lld".
void printTerm(AnalysisContext& ctx, const Term& term, int exponentCount, int relativePower) {
  const CommonFactors& f = ctx.factors;
  std::int64_t v = static_cast<std::int64_t>(term.coefficient) * f.overallSign / f.coefficientGcd;
  bool perTerm = ctx.traced(kTracePerTerm);
  if (perTerm)
    ctx.out.print("%2d,%2d,%2d,%2d,%2d:", ctx.store.netlistNumber, ctx.store.traceLabel, ctx.polySide, relativePower,
                  v < 0 ? -1 : 1);
  // Longest line: the lead, a 20-character coefficient, and every symbol
  // slot with a 12-character name and a 20-character exponent.
  char line[9 + 20 + kSymbolSlots * (kMaxNameLength + 23) + 4];
  char* at = line;
  if (!perTerm)
    for (int k = 0; k < 9; ++k) *at++ = ' ';
  if (v > 1 || v < 0) {
    at = appendInteger(at, v, 3, false);
  } else {
    *at++ = ' ';
    *at++ = ' ';
    *at++ = perTerm ? '1' : ' ';
  }
  bool anySymbol = false;
  // Slots past those the term keeps are 0, and no lowest exponent is below
  // 0, so they print nothing.
  for (int k = 0; k < exponentCount; ++k) {
    std::int64_t d = static_cast<std::int64_t>(term.exponents[k]) - f.minExponents[k];
    if (d <= 0) continue;
    anySymbol = true;
    *at++ = ' ';
    const char* name = k < kNameSlots ? ctx.store.branchNames[k] : "";
    for (int c = 0; c < kMaxNameLength && name[c] != '\0'; ++c) *at++ = name[c];
    if (d == 1) {
      *at++ = ' ';
      *at++ = ' ';
      *at++ = ' ';
    } else {
      *at++ = '^';
      at = appendInteger(at, d, 2, true);
    }
  }
  if (!anySymbol && v == 1) {
    *at++ = ' ';
    *at++ = '1';
  }
  *at++ = '\n';
  ctx.out.write(line, static_cast<std::size_t>(at - line));
}

}  // namespace

int printFormula(AnalysisContext& ctx, int sign, int numeratorTopofun, int denominatorTopofun, LastUse lastUse) {
  if (numeratorTopofun < 0 || numeratorTopofun >= kTopofunCount || denominatorTopofun < 0 ||
      denominatorTopofun >= kTopofunCount)
    return 1;
  if (ctx.traced(kTraceHeadingBits))
    ctx.out.print("Topological formula: %c(%s, %1d-trees) / (%s, %1d-trees)\n", sign > 0 ? ' ' : '-',
                  topofunNames[numeratorTopofun], topofunTreeOrder(numeratorTopofun), topofunNames[denominatorTopofun],
                  topofunTreeOrder(denominatorTopofun));

  PolyRecord& numerator = ctx.polyRecords[kNumeratorSlot];
  PolyRecord& denominator = ctx.polyRecords[kDenominatorSlot];
  // The plain path always works on copies. The fast path takes over a
  // function that nothing needs afterwards; when numerator and denominator
  // are the same function, the numerator is a copy.
  const bool takeNumerator = !ctx.plainPath && lastUse.numerator && numeratorTopofun != denominatorTopofun;
  const bool takeDenominator = !ctx.plainPath && lastUse.denominator;
  if (takePolyRecord(ctx, sign, numerator, ctx.polyRecords[numeratorTopofun], takeNumerator) != 0) return 1;
  if (takePolyRecord(ctx, 1, denominator, ctx.polyRecords[denominatorTopofun], takeDenominator) != 0) {
    releasePolyRecord(ctx, numerator);
    return 1;
  }

  if (ctx.traced(kTraceNoAccumulation)) {
    releasePolyRecord(ctx, numerator);
    releasePolyRecord(ctx, denominator);
    ctx.out.print("\n End:\n\n");
    return 0;
  }

  resetCommonFactors(ctx);
  if (extractFactors(ctx) != 0) {
    ctx.out.print("insufficient memory to complete processing\n");
    ctx.out.print("\n Numerator:\n");
    ctx.out.print("\n Denominator:\n");
    ctx.out.print("\n End:\n\n");
    releasePolyRecord(ctx, numerator);
    releasePolyRecord(ctx, denominator);
    return 1;
  }

  ctx.out.print("\n Numerator:\n");
  ctx.polySide = 0;
  printPolynomial(ctx, numerator);
  ctx.out.print("\n Denominator:\n");
  ctx.polySide = 1;
  printPolynomial(ctx, denominator);

  releasePolyRecord(ctx, numerator);
  releasePolyRecord(ctx, denominator);
  ctx.out.print("\n End:\n\n");
  return 0;
}

void printPolynomial(AnalysisContext& ctx, const PolyRecord& record) {
  CommonFactors& f = ctx.factors;
  if (f.coefficientGcd == 0) f.coefficientGcd = 1;

  if (ctx.traced(kTraceAdmittance)) {
    ctx.out.print("common factors to cancel in all terms of both num and denom:\n");
    ctx.out.print("%s%d ", f.overallSign > 0 ? "+" : "-", f.coefficientGcd);
    // With no nonzero term anywhere the lowest exponents keep their start
    // values and there is nothing to list.
    for (int k = 0; k < kSymbolSlots; ++k) {
      int e = f.minExponents[k];
      if (e > 0 && e != kUnset) printSymbolField(ctx, k, e);
    }
    ctx.out.print("\n");
  }

  bool anyGroup = false;
  if (record.live()) {
    for (int p = 0; p < kPowerColumns; ++p) {
      if (record.powerCounts[p] <= 0 || !columnHasNonzeroTerm(record, p)) continue;
      anyGroup = true;
      int relativePower = p - f.minPower;
      ctx.out.print("\n + s^%-2d (\n", relativePower);
      for (int r = 0; r < record.powerCounts[p]; ++r) {
        const Term& term = record.term(record.at(r, p));
        if (term.coefficient != 0) printTerm(ctx, term, record.exponentCount, relativePower);
      }
      ctx.out.print("        )");
    }
  }
  if (!anyGroup) ctx.out.print("        0");
  ctx.out.print("\n");
}

}  // namespace velkor

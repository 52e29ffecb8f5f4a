// The printed formula of one two-port parameter: numerator and denominator
// grouped by powers of s, one line per term, with every factor common to
// both polynomials divided out.
#include "render/text_renderer.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/analysis_context.h"
#include "model/parameter_table.h"
#include "render/approximation_text.h"
#include "render/numeric_text.h"
#include "support/capacities.h"
#include "support/piece_writer.h"
#include "support/trace_bits.h"

namespace velkor {

namespace {

constexpr int kUnset = 2147483647;

const std::string& nameOf(const FinishedFormula& formula, int symbol) {
  static const std::string kNone;
  return symbol >= 0 && static_cast<std::size_t>(symbol) < formula.symbols.size()
             ? formula.symbols[static_cast<std::size_t>(symbol)]
             : kNone;
}

// " name   " for exponent 1, " name^e " (exponent left-aligned in two
// characters) for 2 and more.
void printSymbolField(Output& out, const std::string& name, long long exponent) {
  if (exponent == 1)
    out.print(" %s   ", name.c_str());
  else
    out.print(" %s^%-2lld", name.c_str(), exponent);
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
void printTerm(Output& out, const FinishedFormula& formula, const TermView& term, int side) {
  const std::int64_t v = term.coefficient;
  const bool perTerm = formula.trace.traced(kTracePerTerm);
  if (perTerm)
    out.print("%2d,%2d,%2d,%2d,%2d:", formula.trace.netlistNumber, formula.trace.traceLabel, side, term.power,
              term.negative() ? -1 : 1);
  // Longest line: the lead, a 20-character coefficient, and every symbol
  // slot with a 12-character name and a 20-character exponent.
  char line[9 + 20 + kSymbolSlots * (kMaxNameLength + 23) + 4];
  char* at = line;
  if (!perTerm)
    for (int k = 0; k < 9; ++k) *at++ = ' ';
  if (term.real != nullptr) {
    // A real coefficient (elements at their values) is always written, in
    // six significant digits, right-aligned in 12 characters.
    const std::string number = formatNumber(term.real->value);
    for (std::size_t pad = number.size(); pad < 12; ++pad) *at++ = ' ';
    for (std::size_t c = 0; c < number.size() && c < 20; ++c) *at++ = number[c];
  } else if (v > 1 || v < 0) {
    at = appendInteger(at, v, 3, false);
  } else {
    *at++ = ' ';
    *at++ = ' ';
    *at++ = perTerm ? '1' : ' ';
  }
  const int count = term.factorCount < kSymbolSlots ? term.factorCount : kSymbolSlots;
  for (int i = 0; i < count; ++i) {
    const FormulaFactor& factor = term.factors[i];
    *at++ = ' ';
    const std::string& name = nameOf(formula, factor.symbol);
    for (std::size_t c = 0; c < name.size() && c < static_cast<std::size_t>(kMaxNameLength); ++c) *at++ = name[c];
    if (factor.exponent == 1) {
      *at++ = ' ';
      *at++ = ' ';
      *at++ = ' ';
    } else {
      *at++ = '^';
      at = appendInteger(at, factor.exponent, 2, true);
    }
  }
  if (count == 0 && v == 1 && term.real == nullptr) {
    *at++ = ' ';
    *at++ = '1';
  }
  *at++ = '\n';
  out.write(line, static_cast<std::size_t>(at - line));
}

// A term under its "+ s^k (" group, which opens (closing the one before)
// when the term's power is not that of the term before.
void printGrouped(Output& out, const FinishedFormula& formula, const TermView& term, int side, bool& anyGroup,
                  int& group) {
  if (!anyGroup || term.power != group) {
    if (anyGroup) out.print("        )");
    anyGroup = true;
    group = term.power;
    out.print("\n + s^%-2d (\n", group);
  }
  printTerm(out, formula, term, side);
}

}  // namespace

void TextRenderer::formulaStarted(const FinishedFormula& formula) {
  if (!formula.heading.empty()) out_.print(" Function:\n %s\n", formula.heading.c_str());
  if (formula.trace.traced(kTraceHeadingBits))
    out_.print("Topological formula: %c(%s, %1d-trees) / (%s, %1d-trees)\n", formula.sign > 0 ? ' ' : '-',
               topofunNames[formula.numeratorTopofun], topofunTreeOrder(formula.numeratorTopofun),
               topofunNames[formula.denominatorTopofun], topofunTreeOrder(formula.denominatorTopofun));
}

void TextRenderer::formulaFinished(const FinishedFormula& formula) {
  switch (formula.outcome) {
    case FormulaOutcome::kFailedCopy:
      out_.write(formula.message.data(), formula.message.size());
      return;
    case FormulaOutcome::kSkipped:
      out_.print("\n End:\n\n");
      return;
    case FormulaOutcome::kNoFormula:
      out_.print("\n");
      return;
    case FormulaOutcome::kApproximated:
      if (formula.approximation != nullptr) printApproximation(formula, *formula.approximation);
      return;
    case FormulaOutcome::kFailedConversion:
    case FormulaOutcome::kDone:
      break;
  }
  if (formula.units == OhmUnits::kMixed) {
    out_.print("these ohm-unit factors modify all terms of both num and denom:\n");
    for (const OhmUnitFactor& factor : formula.droppedOhmUnits)
      printSymbolField(out_, nameOf(formula, factor.symbol), factor.exponent);
    out_.print("\n");
    out_.print("note that s*L, s*M, and R represent s/L, s/M, and 1/R in the following function:\n");
  }
  if (!formula.valuesInFormula.empty()) printValuesInFormula(formula);
  if (formula.outcome == FormulaOutcome::kFailedConversion) {
    out_.write(formula.message.data(), formula.message.size());
    out_.print("\n Numerator:\n");
    out_.print("\n Denominator:\n");
    out_.print("\n End:\n\n");
    return;
  }
  printFraction(formula, formula.numerator, formula.denominator);
  if (formula.approximation != nullptr) printApproximation(formula, *formula.approximation);
}

// " At values: r1 = 1000, c2 = 1e-09, ..." over lines of at most 79
// characters: the elements written as numbers in the formula below.
void TextRenderer::printValuesInFormula(const FinishedFormula& formula) {
  std::string line = " At values:";
  for (std::size_t k = 0; k < formula.valuesInFormula.size(); ++k) {
    const FinishedFormula::ValueInFormula& v = formula.valuesInFormula[k];
    std::string item = " " + v.name + " = " + formatNumber(v.value) + (k + 1 < formula.valuesInFormula.size() ? "," : "");
    if (line.size() + item.size() > 79) {
      out_.print("%s\n", line.c_str());
      line = "           ";
    }
    line += item;
  }
  out_.print("%s\n", line.c_str());
}

void TextRenderer::printFraction(const FinishedFormula& formula, const PolynomialView* numerator,
                                 const PolynomialView* denominator) {
  out_.print("\n Numerator:\n");
  printPolynomial(formula, numerator, 0);
  out_.print("\n Denominator:\n");
  printPolynomial(formula, denominator, 1);
  out_.print("\n End:\n\n");
}

// Under a heading of its own: what the approximation is, then its terms in
// the formula's layout (the listings of the exact formula are not repeated).
void TextRenderer::printApproximation(const FinishedFormula& formula, const Approximation& approximation) {
  out_.print(" Approximation:\n %s\n", formula.heading.empty() ? formula.name.c_str() : formula.heading.c_str());
  out_.putText(approximationText(approximation).c_str());
  if (!approximation.simplified()) {
    out_.print("\n");
    return;
  }
  FinishedFormula shown = formula;
  shown.trace.factors = nullptr;
  printFraction(shown, &approximation.numerator, &approximation.denominator);
}

void TextRenderer::printPolynomial(const FinishedFormula& formula, const PolynomialView* polynomial, int side) {
  const CommonFactors* f = formula.trace.factors;
  if (formula.trace.traced(kTraceAdmittance) && f != nullptr) {
    out_.print("common factors to cancel in all terms of both num and denom:\n");
    out_.print("%s%lld ", f->overallSign > 0 ? "+" : "-",
               static_cast<long long>(f->coefficientGcd == 0 ? 1 : f->coefficientGcd));
    // With no nonzero term anywhere the lowest exponents keep their start
    // values and there is nothing to list.
    for (int k = 0; k < kSymbolSlots; ++k) {
      const int e = f->minExponents[k];
      if (e > 0 && e != kUnset) printSymbolField(out_, nameOf(formula, k), e);
    }
    out_.print("\n");
  }

  bool anyGroup = false;
  const std::size_t positions = polynomial != nullptr ? polynomial->positions() : 0;
  if (formula.pieces != nullptr && formula.pieceTerms > 0 && positions >= 2 * formula.pieceTerms) {
    anyGroup = printInPieces(formula, *polynomial, positions, side);
  } else if (polynomial != nullptr) {
    int group = 0;
    polynomial->forEachTerm([&](const TermView& term) { printGrouped(out_, formula, term, side, anyGroup, group); });
  }
  out_.print(anyGroup ? "        )" : "        0");
  out_.print("\n");
}

// The terms of a long polynomial printed in pieces by the formula's piece
// writer, the same bytes as printed whole. Whether any term was written.
bool TextRenderer::printInPieces(const FinishedFormula& formula, const PolynomialView& polynomial,
                                 std::size_t positions, int side) {
  const std::size_t size = formula.pieceTerms;
  const std::size_t count = (positions + size - 1) / size;
  // By piece: whether a term was printed up to its end.
  std::vector<char> anyAtEnd(count, 0);
  bool anyWritten = false;
  formula.pieces->write(
      out_, count,
      [&](std::size_t k, Output& text) {
        int group = 0;
        bool anyGroup = false;
        polynomial.forEachTermIn(k * size, std::min(positions, (k + 1) * size), anyGroup, group,
                                 [&](const TermView& term) { printGrouped(text, formula, term, side, anyGroup, group); });
        anyAtEnd[k] = anyGroup ? 1 : 0;
      },
      [&](std::size_t k) {
        anyWritten = anyAtEnd[k] != 0;
        // The printing phase's steps, its signal and its time bound, on the
        // meter's own thread.
        return formula.meter == nullptr || formula.meter->steps(size);
      });
  return anyWritten;
}

int printFormula(AnalysisContext& ctx, int sign, int numeratorTopofun, int denominatorTopofun, LastUse lastUse) {
  FinishedFormula formula;
  formula.sign = sign;
  formula.numeratorTopofun = numeratorTopofun;
  formula.denominatorTopofun = denominatorTopofun;
  TextRenderer text(ctx.out);
  return finishFormula(ctx, formula, text, lastUse);
}

}  // namespace velkor

// The formulas as LaTeX: a complete document (article with amsmath) or the
// equations alone, for pasting. One display per parameter, numerator and
// denominator grouped by powers of s (both negated when the denominator
// would start negative: render/formula_signs.h); a formula too wide for one
// line is written as N/D with each polynomial broken over lines where the
// next term would pass the text width.
#pragma once

#include <string>
#include <utility>

#include "render/formula_document.h"
#include "support/output.h"

namespace velkor {

struct Approximation;

// A symbol or parameter name typeset: the element letter, the rest as a
// subscript (r1 as r_{1}, cpi2 as c_{\mathrm{pi2}}, r_load as
// r_{\mathrm{load}}), special characters escaped.
std::string latexName(const std::string& name);

// An upper estimate of the width in points (at 10 pt) of math-mode text as
// this renderer writes it; long sums are broken by it.
double latexWidth(const std::string& math);

class LatexDocument final : public FormulaDocument {
 public:
  // `bodyOnly`: the equations alone, without preamble and headings.
  LatexDocument(Output& out, bool bodyOnly) : out_(out), bodyOnly_(bodyOnly) {}
  void beginRun() override;
  void beginNetlist(const NetlistRecord& netlist) override;
  void endNetlist(const NetlistRecord&) override {}
  void endRun() override;
  void formulaStarted(const FinishedFormula&) override {}
  void formulaFinished(const FinishedFormula& formula) override;
  void message(std::string_view) override {}
  void listing(std::string_view) override {}

  void addToParameters(ParameterExtra extra) override { extra_ = std::move(extra); }

  // The width a line of an equation may take (points, at 10 pt: the
  // article's text width, 345 pt, less room for the name's column), the
  // width given to " = ", and the indent of a continued line.
  static constexpr double kLineWidthPt = 300;
  static constexpr double kEqualsWidthPt = 16;
  static constexpr double kContinuationIndentPt = 10;

 private:
  // The approximation's caption and its equation, after the formula or
  // in its place.
  void writeApproximation(const FinishedFormula& formula, const std::string& name, const Approximation& approximation);
  void writeEquation(const FinishedFormula& formula, const std::string& name, const PolynomialView& numerator,
                     const PolynomialView& denominator);
  void writePolynomial(const FinishedFormula& formula, const PolynomialView& polynomial, Output* out,
                       double* width);

  Output& out_;
  bool bodyOnly_;
  ParameterExtra extra_;  // the numbers after each formula (--eval), as LaTeX
};

}  // namespace velkor

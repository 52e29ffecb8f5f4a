// The formulas as LaTeX: a complete document (article with amsmath) or the
// equations alone, for pasting. One display per parameter, numerator and
// denominator grouped by powers of s; long polynomials are broken over
// lines a few terms at a time.
#pragma once

#include <string>

#include "render/formula_document.h"
#include "support/output.h"

namespace velkor {

struct Approximation;

// A symbol or parameter name typeset: the element letter, the rest as a
// subscript (r1 as r_{1}, cpi2 as c_{\mathrm{pi2}}), special characters
// escaped.
std::string latexName(const std::string& name);

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

  // Terms per line of a broken polynomial, and the most terms a formula
  // may have to be written as one fraction.
  static constexpr int kTermsPerLine = 4;
  static constexpr int kTermsInOneFraction = 8;

 private:
  // The approximation's caption and its equation, after the formula or
  // in its place.
  void writeApproximation(const FinishedFormula& formula, const std::string& name, const Approximation& approximation);
  void writeEquation(const FinishedFormula& formula, const std::string& name, const PolynomialView& numerator,
                     const PolynomialView& denominator);
  void writePolynomial(const FinishedFormula& formula, const PolynomialView& polynomial, bool broken);

  Output& out_;
  bool bodyOnly_;
};

}  // namespace velkor

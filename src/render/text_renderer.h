// The text output of the formulas: each parameter's heading, numerator and
// denominator grouped by powers of s, one line per term, with the listings
// that the trace bits ask for beside them.
#pragma once

#include <memory>

#include "analysis/approximation.h"
#include "analysis/formula_finishing.h"
#include "analysis/formula_sink.h"
#include "support/output.h"

namespace velkor {

struct AnalysisContext;

class TextRenderer final : public FormulaSink {
 public:
  explicit TextRenderer(Output& out) : out_(out) {}
  void formulaStarted(const FinishedFormula& formula) override;
  void formulaFinished(const FinishedFormula& formula) override;
  void message(std::string_view text) override { out_.write(text.data(), text.size()); }
  void listing(std::string_view text) override { out_.write(text.data(), text.size()); }
  std::unique_ptr<FormulaSink> printingInto(Output& text) const override {
    return std::make_unique<TextRenderer>(text);
  }

 private:
  void printValuesInFormula(const FinishedFormula& formula);
  void printFraction(const FinishedFormula& formula, const PolynomialView* numerator,
                     const PolynomialView* denominator);
  void printApproximation(const FinishedFormula& formula, const Approximation& approximation);
  void printPolynomial(const FinishedFormula& formula, const PolynomialView* polynomial, int side);
  bool printInPieces(const FinishedFormula& formula, const PolynomialView& polynomial, std::size_t positions, int side);
  Output& out_;
};

// Finishes and prints the formula sign * numerator / denominator of two
// evaluated functions without a heading; 0 when it was printed, 1 when not.
int printFormula(AnalysisContext& ctx, int sign, int numeratorTopofun, int denominatorTopofun,
                 LastUse lastUse = LastUse{});

}  // namespace velkor

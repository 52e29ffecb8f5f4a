// LaTeX output: names typeset with their element letter and a subscript,
// special characters escaped, and a long polynomial broken over lines with
// coefficients 1 and -1 folded into the sign.
#include <gtest/gtest.h>

#include "analysis/finished_formula.h"
#include "render/latex_document.h"
#include "support/output.h"

namespace velkor {
namespace {

TEST(LatexNames, LetterAndSubscriptWithSpecialCharactersEscaped) {
  EXPECT_EQ(latexName("r1"), "r_{1}");
  EXPECT_EQ(latexName("cpi2"), "c_{\\mathrm{pi2}}");
  EXPECT_EQ(latexName("R"), "R");
  EXPECT_EQ(latexName("g21"), "g_{21}");
  EXPECT_EQ(latexName("r_a&b"), "r_{\\mathrm{a\\&b}}");  // the underscore marks the subscript
  EXPECT_EQ(latexName("z{1}^%"), "z_{\\mathrm{\\{1\\}\\wedge \\%}}");
}

TEST(LatexDocument, GroupsByPowersFoldsUnitCoefficientsAndBreaksLongPolynomials) {
  OwnedPolynomial numerator;
  numerator.terms = {{0, -1, {{1, 1}}}, {1, 2, {{1, 1}, {2, 2}}}};
  OwnedPolynomial denominator;
  // Nine short terms fit on a line; a sum wider than the text breaks where
  // the next term would pass it.
  for (int k = 0; k < 9; ++k) denominator.terms.push_back({1, k % 2 == 0 ? 1 : -1, {{2, 1}}});
  for (int k = 0; k < 9; ++k) denominator.terms.push_back({2, -3, {{1, 2}, {2, 3}}});
  FinishedFormula formula;
  formula.name = "g21";
  formula.symbols = {"", "r1", "c2"};
  formula.numerator = &numerator;
  formula.denominator = &denominator;
  StringOutput out;
  LatexDocument body(out, true);
  body.formulaFinished(formula);
  EXPECT_EQ(out.text(),
            "\n\\begin{align*}\n"
            "g_{21} &= \\frac{N}{D},\\quad\\text{where}\\\\\n"
            "N &= -r_{1} + 2\\,s\\,r_{1}\\,c_{2}^{2}\\\\\n"
            "D &= s\\bigl(c_{2} - c_{2} + c_{2} - c_{2} + c_{2} - c_{2} + c_{2} - c_{2} + c_{2}\\bigr) + "
            "s^{2}\\bigl(-3\\,r_{1}^{2}\\,c_{2}^{3}\\\\\n"
            "  &\\quad  - 3\\,r_{1}^{2}\\,c_{2}^{3} - 3\\,r_{1}^{2}\\,c_{2}^{3} - 3\\,r_{1}^{2}\\,c_{2}^{3} - "
            "3\\,r_{1}^{2}\\,c_{2}^{3} - 3\\,r_{1}^{2}\\,c_{2}^{3} - 3\\,r_{1}^{2}\\,c_{2}^{3}\\\\\n"
            "  &\\quad  - 3\\,r_{1}^{2}\\,c_{2}^{3} - 3\\,r_{1}^{2}\\,c_{2}^{3}\\bigr)\n"
            "\\end{align*}\n");
}

}  // namespace
}  // namespace velkor

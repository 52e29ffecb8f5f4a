#include "render/mathml_formula.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "render/formula_signs.h"
#include "render/numeric_text.h"
#include "render/svg_plots.h"

namespace velkor {

namespace {

int termCount(const PolynomialView& polynomial) {
  int count = 0;
  polynomial.forEachTerm([&](const TermView&) { ++count; });
  return count;
}

std::string powerOfS(int power) {
  if (power == 1) return "<mi>s</mi>";
  return "<msup><mi>s</mi><mn>" + std::to_string(power) + "</mn></msup>";
}

// The polynomial as a sequence of pieces, one term each, that the page
// wraps like words: groups "(t + t + ...) s^k" in ascending power (the
// opening parenthesis goes with a group's first term, the closing one and
// the power of s with its last), at most `shown` terms, then the count of
// the others.
std::string polynomialPieces(const PolynomialView& polynomial, const std::vector<std::string>& symbols, int shown) {
  std::string pieces;
  int written = 0, total = 0;
  int groupPower = 0;
  std::vector<std::string> group;  // the terms of the open group, each with its sign
  // A piece's leading sign is spaced as between terms, not as a prefix.
  auto piece = [&](std::string content) {
    for (const char* sign : {"<mo>+</mo>", "<mo>&#x2212;</mo>"})
      if (content.rfind(sign, 0) == 0) content.insert(3, " lspace=\"0\" rspace=\"0.22em\"");
    pieces += "<math><mrow>" + content + "</mrow></math>";
  };
  auto closeGroup = [&] {
    if (group.empty()) return;
    const bool wrap = group.size() > 1 && groupPower != 0;
    const std::string power = groupPower == 0 ? "" : "<mo>&#x2062;</mo>" + powerOfS(groupPower);
    for (std::size_t k = 0; k < group.size(); ++k) {
      std::string content;
      const bool negative = group[k].rfind("<mo>&#x2212;</mo>", 0) == 0;
      // The sign before the group, then the parenthesis, then the term's own sign.
      if (k == 0 && !pieces.empty() && (wrap || !negative)) content += "<mo>+</mo>";
      if (k == 0 && wrap) content += "<mo>(</mo>";
      if (k > 0 && !negative) content += "<mo>+</mo>";
      content += group[k];
      if (k + 1 == group.size()) content += (wrap ? "<mo>)</mo>" : "") + power;
      piece(content);
    }
    group.clear();
  };
  polynomial.forEachTerm([&](const TermView& term) {
    ++total;
    if (written >= shown) return;
    if (!group.empty() && term.power != groupPower) closeGroup();
    groupPower = term.power;
    std::string t;
    std::int64_t c = term.coefficient;
    bool negative = term.negative();
    std::uint64_t magnitude = c < 0 ? 0 - static_cast<std::uint64_t>(c) : static_cast<std::uint64_t>(c);
    // A real coefficient (elements at their values) in six significant digits.
    const std::string number =
        term.real != nullptr ? formatNumber(std::fabs(term.real->value)) : std::to_string(magnitude);
    if (negative) t += "<mo>&#x2212;</mo>";
    bool needNumber = number != "1" || term.factorCount == 0;
    if (needNumber) t += "<mn>" + number + "</mn>";
    for (int f = 0; f < term.factorCount; ++f) {
      if (needNumber || f > 0) t += "<mo>&#x2062;</mo>";
      const FormulaFactor& factor = term.factors[f];
      std::string name = mathmlName(symbols[static_cast<std::size_t>(factor.symbol)]);
      if (factor.exponent != 1) name = "<msup>" + name + "<mn>" + std::to_string(factor.exponent) + "</mn></msup>";
      t += name;
    }
    group.push_back(t);
    ++written;
  });
  closeGroup();
  if (total == 0) piece("<mn>0</mn>");
  if (total > written) piece("<mo>+</mo><mtext>&#x2026; (" + std::to_string(total - written) + " more terms)</mtext>");
  return pieces;
}

}  // namespace

std::string mathmlName(const std::string& name) {
  // The element letter, the rest as subscript, as in the LaTeX output: the
  // product of two multi-letter names (rpi ro) stays readable.
  const std::size_t split = 1;
  if (name.size() <= split || !std::isalpha(static_cast<unsigned char>(name[0])))
    return "<mi>" + escapeXml(name) + "</mi>";
  // An underscore after the letter only marks the subscript, as in LaTeX.
  std::string rest = name.substr(name.size() > split + 1 && name[split] == '_' ? split + 1 : split);
  bool digits = true;
  for (char c : rest) digits = digits && std::isdigit(static_cast<unsigned char>(c));
  return "<msub><mi>" + escapeXml(name.substr(0, split)) + "</mi>" +
         (digits ? "<mn>" + rest + "</mn>" : "<mi>" + escapeXml(rest) + "</mi>") + "</msub>";
}

std::string mathmlFormula(const std::string& parameter, const PolynomialView& numerator,
                          const PolynomialView& denominator, const std::vector<std::string>& symbols, int termLimit,
                          bool approximated) {
  int shown = termLimit;
  if (termCount(numerator) + termCount(denominator) > termLimit) shown = termLimit / 2;
  std::string name = mathmlName(parameter);
  if (approximated) name = "<mover accent=\"true\">" + name + "<mo>~</mo></mover>";
  const bool negate = negatedForDisplay(numerator, denominator);
  return "<div class=\"fx\"><math class=\"lhs\"><mrow>" + name +
         "<mo>=</mo></mrow></math><div class=\"frac\"><div class=\"num\">" +
         polynomialPieces(SignedPolynomial(numerator, negate), symbols, shown) + "</div><div class=\"den\">" +
         polynomialPieces(SignedPolynomial(denominator, negate), symbols, shown) + "</div></div></div>";
}

}  // namespace velkor

#include "render/mathml_formula.h"

#include <cctype>
#include <cstdlib>

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

// The polynomial as a row: groups "(t + t + ...) s^k" in ascending power,
// at most `shown` terms, then the count of the others.
std::string polynomialRow(const PolynomialView& polynomial, const std::vector<std::string>& symbols, int shown) {
  std::string row;
  int written = 0, total = 0;
  int groupPower = 0, groupTerms = 0;
  std::string group;
  auto closeGroup = [&] {
    if (groupTerms == 0) return;
    bool wrap = groupTerms > 1 && groupPower != 0;
    if (!row.empty() && (wrap || group.rfind("<mo>&#x2212;</mo>", 0) != 0)) row += "<mo>+</mo>";
    if (wrap) row += "<mrow><mo>(</mo>" + group + "<mo>)</mo></mrow>";
    else row += group;
    if (groupPower != 0) row += "<mo>&#x2062;</mo>" + powerOfS(groupPower);
    group.clear();
    groupTerms = 0;
  };
  polynomial.forEachTerm([&](const TermView& term) {
    ++total;
    if (written >= shown) return;
    if (groupTerms > 0 && term.power != groupPower) closeGroup();
    groupPower = term.power;
    std::string t;
    std::int64_t c = term.coefficient;
    bool negative = c < 0;
    std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(c) : static_cast<std::uint64_t>(c);
    if (negative) t += "<mo>&#x2212;</mo>";
    else if (groupTerms > 0) t += "<mo>+</mo>";
    bool needNumber = magnitude != 1 || term.factorCount == 0;
    if (needNumber) t += "<mn>" + std::to_string(magnitude) + "</mn>";
    for (int f = 0; f < term.factorCount; ++f) {
      if (needNumber || f > 0) t += "<mo>&#x2062;</mo>";
      const FormulaFactor& factor = term.factors[f];
      std::string name = mathmlName(symbols[static_cast<std::size_t>(factor.symbol)]);
      if (factor.exponent != 1) name = "<msup>" + name + "<mn>" + std::to_string(factor.exponent) + "</mn></msup>";
      t += name;
    }
    group += t;
    ++groupTerms;
    ++written;
  });
  closeGroup();
  if (total == 0) return "<mn>0</mn>";
  if (total > written)
    row += "<mo>+</mo><mtext>&#x2026; (" + std::to_string(total - written) + " more terms)</mtext>";
  return row;
}

}  // namespace

std::string mathmlName(const std::string& name) {
  // The element letter, the rest as subscript, as in the LaTeX output: the
  // product of two multi-letter names (rpi ro) stays readable.
  const std::size_t split = 1;
  if (name.size() <= split || !std::isalpha(static_cast<unsigned char>(name[0])))
    return "<mi>" + escapeXml(name) + "</mi>";
  std::string rest = name.substr(split);
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
  return "<math display=\"block\"><mrow>" + name + "<mo>=</mo><mfrac><mrow>" +
         polynomialRow(numerator, symbols, shown) + "</mrow><mrow>" + polynomialRow(denominator, symbols, shown) +
         "</mrow></mfrac></mrow></math>";
}

}  // namespace velkor

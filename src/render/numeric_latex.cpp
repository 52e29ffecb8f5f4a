#include "render/numeric_latex.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "render/latex_document.h"
#include "render/numeric_text.h"

namespace velkor {

namespace {

std::string complexNumber(std::complex<long double> value) {
  if (value.imag() == 0) return latexNumber(value.real());
  std::string text = value.real() == 0 ? std::string() : latexNumber(value.real());
  const long double im = value.imag();
  text += im < 0 ? (text.empty() ? "-" : " - ") : (text.empty() ? "" : " + ");
  return text + latexNumber(std::fabs(im)) + "\\,j";
}

// The polynomial as terms "c s^k", broken over lines by width.
std::string numericSum(const NumericPolynomial& polynomial, long double sign) {
  std::string out;
  double onLine = 0;
  bool any = false;
  for (std::size_t k = 0; k < polynomial.coefficients.size(); ++k) {
    const long double c = sign * polynomial.coefficients[k];
    if (c == 0) continue;
    const int power = polynomial.lowestPower + static_cast<int>(k);
    std::string term = any ? (c < 0 ? " - " : " + ") : (c < 0 ? "-" : "");
    const std::string number = latexNumber(std::fabs(c));
    if (power == 0 || number != "1") term += number + (power == 0 ? "" : "\\,");
    if (power != 0) term += power == 1 ? "s" : "s^{" + std::to_string(power) + "}";
    const double w = latexWidth(term);
    if (onLine > 0 && onLine + w > LatexDocument::kLineWidthPt - LatexDocument::kContinuationIndentPt) {
      out += "\\\\\n  &\\quad ";
      onLine = 0;
    }
    out += term;
    onLine += w;
    any = true;
  }
  return any ? out : "0";
}

std::string rootList(const std::vector<PolynomialRoot>& roots) {
  if (roots.empty()) return "none";
  std::string out;
  for (std::size_t k = 0; k < roots.size(); ++k) {
    const PolynomialRoot& root = roots[k];
    if (k > 0) out += ", ";
    if (!root.reliable) {
      out += "ill-conditioned near $" + complexNumber(root.value) + "$";
      continue;
    }
    out += "$" + complexNumber(root.value) + "$";
    if (root.isComplex() && root.value.imag() > 0)
      out += " ($f_0 = " + latexNumber(hertz(root.naturalFrequency())) + "$~Hz, $Q = " +
             latexNumber(root.quality()) + "$)";
  }
  return out + " rad/s";
}

}  // namespace

std::string latexNumber(long double value, int digits) {
  std::string text = formatNumber(value, digits);
  if (text == "inf" || text == "-inf") return text.size() == 4 ? "-\\infty" : "\\infty";
  if (text == "nan") return "\\text{nan}";
  const std::size_t e = text.find('e');
  if (e == std::string::npos) return text;
  const int exponent = std::stoi(text.substr(e + 1));
  std::string mantissa = text.substr(0, e);
  return (mantissa == "1" ? "" : mantissa == "-1" ? "-" : mantissa + "\\cdot ") + "10^{" +
         std::to_string(exponent) + "}";
}

std::string numericLatex(const NumericSummary& summary, const std::string& name, bool bodyOnly) {
  if (!summary.complete()) {
    if (bodyOnly) return {};
    std::string text = "\n\\noindent Numeric: no value for";
    for (const std::string& symbol : summary.missing) text += " $" + latexName(symbol) + "$";
    return text + ".\n";
  }
  const NumericFormula& f = summary.formula;
  // Negated as the formula is when the denominator starts negative.
  const std::size_t first = f.denominator.firstNonzero();
  const long double sign =
      first < f.denominator.coefficients.size() && f.denominator.coefficients[first] < 0 ? -1.0L : 1.0L;
  std::string text = "\n\\begin{align*}\n" + name + " &\\approx \\frac{N}{D},\\quad\\text{where}\\\\\nN &= " +
                     numericSum(f.numerator, sign) + "\\\\\nD &= " + numericSum(f.denominator, sign) +
                     "\n\\end{align*}\n";
  if (bodyOnly) return text;
  const LowFrequencyBehaviour& low = summary.lowFrequency;
  text += "\n\\noindent DC value: ";
  if (!low.defined)
    text += "undefined (the denominator is 0)";
  else if (low.power == 0)
    text += "$" + latexNumber(low.gain) + "$";
  else
    text += std::string(low.power > 0 ? "0" : "infinite") + "; at low frequencies $" + latexNumber(low.gain) +
            "\\,s^{" + std::to_string(low.power) + "}$";
  text += ".\\\\\nZeros: " + rootList(summary.zeros) + ".\\\\\nPoles: " + rootList(summary.poles) + ".\n";
  return text;
}

}  // namespace velkor

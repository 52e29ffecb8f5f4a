#include "render/numeric_text.h"

#include <cmath>
#include <cstdio>

namespace velkor {

namespace {

constexpr int kColumn = 14;  // where values start, after " denominator: "
constexpr int kRootColumn = 25;

void pad(std::string& line, std::size_t width) {
  if (line.size() < width) line.append(width - line.size(), ' ');
  else line += ' ';
}

void coefficientLines(std::string& text, const char* label, const NumericPolynomial& polynomial) {
  std::string line = std::string(" ") + label;
  if (polynomial.isZero()) {
    pad(line, kColumn + 1);
    text += line + "0\n";
    return;
  }
  bool first = true;
  for (std::size_t k = 0; k < polynomial.coefficients.size(); ++k) {
    if (polynomial.coefficients[k] == 0 && k < polynomial.firstNonzero()) continue;
    if (!first) line.clear();
    pad(line, kColumn + 1);
    line += "s^" + std::to_string(polynomial.lowestPower + static_cast<int>(k));
    pad(line, kColumn + 6);
    text += line + formatNumber(polynomial.coefficients[k]) + "\n";
    first = false;
  }
}

void rootLines(std::string& text, const char* label, const std::vector<PolynomialRoot>& roots) {
  std::string line = std::string(" ") + label;
  pad(line, kColumn + 1);
  if (roots.empty()) {
    text += line + "none\n";
    return;
  }
  std::string indent(kColumn + 1, ' ');
  line += "rad/s";
  pad(line, kColumn + 1 + kRootColumn);
  line += "Hz";
  pad(line, kColumn + 1 + 2 * kRootColumn);
  line += "f0 Hz";
  pad(line, kColumn + 1 + 2 * kRootColumn + 14);
  text += line + "Q\n";
  for (const PolynomialRoot& root : roots) {
    line = indent;
    if (!root.reliable) {
      text += line + "ill-conditioned, near " + formatComplex(root.value, 3) + " rad/s (relative uncertainty " +
              formatNumber(root.relativeUncertainty, 2) + ")\n";
      continue;
    }
    line += formatComplex(root.value);
    pad(line, kColumn + 1 + kRootColumn);
    line += formatComplex(root.value / (2 * 3.14159265358979323846264338327950288L));
    if (root.isComplex()) {
      pad(line, kColumn + 1 + 2 * kRootColumn);
      line += formatNumber(hertz(root.naturalFrequency()));
      pad(line, kColumn + 1 + 2 * kRootColumn + 14);
      line += formatNumber(root.quality());
    }
    text += line + "\n";
  }
}

}  // namespace

std::string formatNumber(long double value, int digits) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  if (value == 0) return "0";  // also for -0
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*Lg", digits, value);
  return buffer;
}

std::string formatComplex(std::complex<long double> value, int digits) {
  if (value.imag() == 0) return formatNumber(value.real(), digits);
  std::string text = value.real() == 0 ? std::string() : formatNumber(value.real(), digits);
  long double im = value.imag();
  if (text.empty())
    text = im < 0 ? "-" : "";
  else
    text += im < 0 ? " - " : " + ";
  return text + formatNumber(std::fabs(im), digits) + "j";
}

std::string numericText(const NumericSummary& summary) {
  std::string text;
  if (!summary.complete()) {
    text = " Numeric: no value for";
    for (const std::string& name : summary.missing) text += " " + name;
    return text + "\n";
  }
  if (summary.indeterminate)
    return " Numeric: none, the network's equations are singular at the values for every s (0/0)\n";
  if (summary.circuit) {
    text += " Numeric (nodal analysis, no formula):\n";
  } else {
    text += " Numeric:\n";
    coefficientLines(text, "numerator:", summary.formula.numerator);
    coefficientLines(text, "denominator:", summary.formula.denominator);
  }
  std::string line = " dc:";
  pad(line, kColumn + 1);
  const LowFrequencyBehaviour& low = summary.lowFrequency;
  if (!low.defined) {
    line += "undefined (the denominator is 0)";
  } else if (low.power == 0) {
    line += formatNumber(low.gain);
  } else {
    line += low.power > 0 ? "0" : "infinite";
    line += ", at low frequencies " + formatNumber(low.gain) + " s^" + std::to_string(low.power);
  }
  text += line + "\n";
  rootLines(text, "zeros:", summary.zeros);
  rootLines(text, "poles:", summary.poles);
  return text;
}

}  // namespace velkor

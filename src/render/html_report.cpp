#include "render/html_report.h"

#include <algorithm>
#include <cctype>

#include "render/numeric_text.h"
#include "render/svg_plots.h"

namespace velkor {

namespace {

const char* const kStyle = R"(
body{margin:0;background:#fafafa;color:#1a1a1a;font:16px/1.45 "DejaVu Sans",Arial,sans-serif}
main{max-width:1000px;margin:0 auto;padding:16px 24px}
h1{font-size:1.6em;margin:.4em 0}
h2{font-size:1.25em;margin:1.2em 0 .4em;border-bottom:1px solid #ccc}
h3{font-size:1.05em;margin:1em 0 .3em}
pre{background:#fff;border:1px solid #ddd;padding:8px;overflow-x:auto;font-size:.9em}
table{border-collapse:collapse;margin:.4em 0;background:#fff}
th,td{border:1px solid #ddd;padding:3px 8px;text-align:left;font-variant-numeric:tabular-nums}
th{background:#f0f0f0}
.scroll{overflow-x:auto;max-width:100%}
.formula{overflow-x:auto;background:#fff;border:1px solid #ddd;padding:8px;margin:.4em 0}
.formula math{font-size:1.15em}
.fx{display:flex;align-items:center;gap:.4em}
.fx .lhs{flex:none}
.frac{flex:0 1 auto;min-width:0;display:flex;flex-direction:column}
.num,.den{display:flex;flex-wrap:wrap;justify-content:center;align-items:baseline;column-gap:.3em;
  row-gap:.2em;padding:.15em .2em;max-height:38vh;overflow-y:auto}
.num{border-bottom:1.5px solid #1a1a1a}
table{max-width:100%}
td{overflow-wrap:anywhere}
.pair{display:grid;grid-template-columns:1fr 1fr;gap:12px}
.pair>div{min-width:0}
.label{margin:.2em 0;font-size:.9em;color:#444}
.heading{font-family:"DejaVu Sans Mono",monospace;font-size:.9em}
.note{color:#8a3a00}
figure{margin:.6em 0}
figure svg{width:100%;height:auto;max-width:800px;display:block;border:1px solid #ddd;background:#fff}
@media (max-width:600px){
  body{font-size:14px}
  main{padding:8px}
  th,td{padding:2px 4px;font-size:.92em}
  .formula{padding:6px 4px}
  .pair{grid-template-columns:1fr}
  figure{overflow-x:auto}
  figure svg{width:640px;max-width:none}
}
)";

// Names compared with their runs of digits as numbers: c2 before c10.
bool naturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (da && db) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      // Leading zeros skipped; then the longer run is the larger number.
      std::size_t si = i, sj = j;
      while (si + 1 < ei && a[si] == '0') ++si;
      while (sj + 1 < ej && b[sj] == '0') ++sj;
      if (ei - si != ej - sj) return ei - si < ej - sj;
      int order = a.compare(si, ei - si, b, sj, ej - sj);
      if (order != 0) return order < 0;
      i = ei;
      j = ej;
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j];
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

std::string cell(const std::string& text, const char* tag = "td") {
  return std::string("<") + tag + ">" + escapeXml(text) + "</" + tag + ">";
}

std::string coefficientTable(const NumericSummary& numeric) {
  const NumericFormula& f = numeric.formula;
  std::size_t rows = std::max(f.numerator.coefficients.size(), f.denominator.coefficients.size());
  // Negated as the typeset formula is when the denominator starts negative.
  const std::size_t first = f.denominator.firstNonzero();
  const long double sign =
      first < f.denominator.coefficients.size() && f.denominator.coefficients[first] < 0 ? -1.0L : 1.0L;
  std::string html = "<div class=\"scroll\"><table class=\"coefficients\"><tr>" + cell("power of s", "th") +
                     cell("numerator", "th") + cell("denominator", "th") + "</tr>\n";
  for (std::size_t k = 0; k < rows; ++k) {
    auto value = [&](const NumericPolynomial& p) {
      return k < p.coefficients.size() ? formatNumber(sign * p.coefficients[k] + 0.0L, 7) : std::string("0");
    };
    html += "<tr>" + cell("s^" + std::to_string(f.numerator.lowestPower + static_cast<int>(k))) +
            cell(value(f.numerator)) + cell(value(f.denominator)) + "</tr>\n";
  }
  return html + "</table></div>\n";
}

std::string rootTable(const char* title, const std::vector<PolynomialRoot>& roots) {
  std::string html = std::string("<h3>") + title + "</h3>\n";
  if (roots.empty()) return html + "<p>none</p>\n";
  bool repeated = std::any_of(roots.begin(), roots.end(), [](const PolynomialRoot& r) { return r.multiplicity > 1; });
  html += "<div class=\"scroll\"><table class=\"roots\"><tr>" + cell("rad/s", "th") + cell("Hz", "th") +
          cell("f0 (Hz)", "th") + cell("Q", "th") + (repeated ? cell("multiplicity", "th") : "") + "</tr>\n";
  for (const PolynomialRoot& root : roots) {
    if (!root.reliable) {
      html += std::string("<tr><td colspan=\"") + (repeated ? "5" : "4") + "\" class=\"note\">ill-conditioned, near " +
              escapeXml(formatComplex(root.value, 3)) + " rad/s (relative uncertainty " +
              escapeXml(formatNumber(root.relativeUncertainty, 2)) + ")</td></tr>\n";
      continue;
    }
    html += "<tr>" + cell(formatComplex(root.value)) + cell(formatComplex(root.value / (2 * 3.14159265358979323846L))) +
            cell(root.isComplex() ? formatNumber(hertz(root.naturalFrequency())) : "") +
            cell(root.isComplex() ? formatNumber(root.quality()) : "") +
            (repeated ? cell(root.multiplicity > 1 ? multiplicityWord(root.multiplicity) : "") : "") + "</tr>\n";
  }
  return html + "</table></div>\n";
}

std::string lowFrequencyText(const LowFrequencyBehaviour& low) {
  if (!low.defined) return "undefined (the denominator is 0)";
  if (low.power == 0) return formatNumber(low.gain);
  return std::string(low.power > 0 ? "0" : "infinite") + "; at low frequencies " + formatNumber(low.gain) +
         " s^" + std::to_string(low.power);
}

std::string formulaSection(const ReportFormula& formula) {
  const NumericSummary& numeric = formula.numeric;
  std::string html = "<section class=\"parameter\">\n<h3>" + escapeXml(numeric.name) + "</h3>\n";
  if (!formula.heading.empty()) html += "<p class=\"heading\">" + escapeXml(formula.heading) + "</p>\n";
  if (!formula.atValues.empty()) html += "<p class=\"note\">At values: " + escapeXml(formula.atValues) + "</p>\n";
  if (!formula.approximationMathml.empty()) {
    // Exact and approximated side by side (one above the other on a narrow
    // screen).
    html += "<div class=\"pair\">\n<div><p class=\"label\">Exact</p><div class=\"formula\">" + formula.mathml +
            "</div></div>\n<div><p class=\"label\">Approximation: " + escapeXml(formula.approximationCaption) +
            "</p><div class=\"formula approximation\">" + formula.approximationMathml + "</div></div>\n</div>\n";
  } else if (numeric.circuit) {
    html += "<p class=\"note\">No formula: the numbers come from nodal analysis at the values.</p>\n";
  } else {
    html += "<div class=\"formula\">" + formula.mathml + "</div>\n";
    if (!formula.approximationCaption.empty())
      html += "<p class=\"note\">Approximation: " + escapeXml(formula.approximationCaption) + "</p>\n";
  }
  if (!numeric.complete()) {
    html += "<p class=\"note\">No numbers: no value for";
    for (const std::string& name : numeric.missing) html += " " + escapeXml(name);
    return html + ".</p>\n</section>\n";
  }
  if (numeric.indeterminate)
    return html + "<p class=\"note\">No numbers: the network's equations are singular at the values for every "
                  "frequency (0/0).</p>\n</section>\n";
  html += "<p>DC value: " + escapeXml(lowFrequencyText(numeric.lowFrequency)) + "</p>\n";
  if (!numeric.circuit) html += coefficientTable(numeric);
  html += rootTable("Zeros", numeric.zeros);
  html += rootTable("Poles", numeric.poles);
  return html + "</section>\n";
}

}  // namespace

std::string htmlReport(const ReportInput& input) {
  std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                     "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
                     escapeXml(input.title) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n<main>\n";
  html += "<h1>" + escapeXml(input.title) + "</h1>\n";
  html += "<section>\n<h2>Element values</h2>\n";
  if (input.values == nullptr || input.values->empty()) {
    html += "<p>none given</p>\n";
  } else {
    html += "<div class=\"scroll\"><table class=\"values\"><tr>" + cell("name", "th") + cell("value", "th") +
            cell("from", "th") + "</tr>\n";
    // In natural order (c2 before c10), in engineering notation.
    std::vector<const std::pair<const std::string, ElementValue>*> sorted;
    for (const auto& entry : input.values->all()) sorted.push_back(&entry);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto* a, const auto* b) { return naturalLess(a->first, b->first); });
    for (const auto* entry : sorted)
      html += "<tr>" + cell(entry->first) + cell(engineering(entry->second.value, 10)) + cell(entry->second.origin) +
              "</tr>\n";
    html += "</table></div>\n";
    if (!input.unusedValues.empty()) {
      html += "<p class=\"note\">In no netlist:";
      for (const std::string& name : input.unusedValues) html += " " + escapeXml(name);
      html += "</p>\n";
    }
  }
  html += "</section>\n";
  if (!input.inputText.empty())
    html += "<section>\n<h2>Input</h2>\n<pre>" + escapeXml(input.inputText) + "</pre>\n</section>\n";
  for (std::size_t k = 0; k < input.netlists.size(); ++k) {
    const ReportNetlist& netlist = input.netlists[k];
    html += "<section class=\"netlist\">\n<h2>Results";
    if (input.netlists.size() > 1) html += " of netlist " + std::to_string(k + 1);
    html += "</h2>\n";
    if (!netlist.text.empty()) html += "<pre>" + escapeXml(netlist.text) + "</pre>\n";
    for (const ReportFormula& formula : netlist.formulas) html += formulaSection(formula);
    html += "</section>\n";
  }
  if (!input.bodeSvg.empty())
    html += "<section>\n<h2>Bode plot</h2>\n<figure class=\"plot\">" + input.bodeSvg + "</figure>\n</section>\n";
  if (!input.poleZeroSvg.empty())
    html += "<section>\n<h2>Pole-zero map</h2>\n<figure class=\"plot\">" + input.poleZeroSvg + "</figure>\n</section>\n";
  return html + "</main>\n</body>\n</html>\n";
}

}  // namespace velkor

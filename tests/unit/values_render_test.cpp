// Numeric renderers: the --eval text block, CSV, SVG plots, MathML and the
// report page (the browser checks look at how they are drawn).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include <regex>

#include "analysis/frequency_response.h"
#include "analysis/numeric_summary.h"
#include "input/netlist_titles.h"
#include "render/bode_csv.h"
#include "render/latex_document.h"
#include "render/html_report.h"
#include "render/mathml_formula.h"
#include "render/numeric_text.h"
#include "render/svg_plots.h"

namespace velkor {
namespace {

using Term = OwnedPolynomial::Term;

// g21 = 1 / (1 + s r1 c1), as a formula prints it.
struct RcLowPass {
  OwnedPolynomial numerator, denominator;
  std::vector<std::string> symbols{"r1", "c1"};
  RcLowPass() {
    numerator.terms = {Term{0, 1, {}}};
    denominator.terms = {Term{0, 1, {}}, Term{1, 1, {{0, 1}, {1, 1}}}};
  }
  NumericSummary summary(const ElementValues& values) const {
    return numericSummary("g21", numerator, denominator, symbols, values);
  }
};

ElementValues rcValues() {
  ElementValues values;
  values.set("r1=1k");
  values.set("c1=1u");
  return values;
}

TEST(NumericText, BlockLayoutAndMissingValues) {
  RcLowPass rc;
  EXPECT_EQ(numericText(rc.summary(rcValues())),
            " Numeric:\n"
            " numerator:    s^0  1\n"
            " denominator:  s^0  1\n"
            "               s^1  0.001\n"
            " dc:           1\n"
            " zeros:        none\n"
            " poles:        rad/s                    Hz                       f0 Hz         Q\n"
            "               -1000                    -159.155\n");
  ElementValues partial;
  partial.set("c1=1u");
  EXPECT_EQ(numericText(rc.summary(partial)), " Numeric: no value for r1\n");
  EXPECT_EQ(formatComplex({-707.1067811865L, 707.1067811865L}), "-707.107 + 707.107j");
  EXPECT_EQ(formatComplex({0, -2}), "-2j");
  EXPECT_EQ(siLabel(0.1L), "100m");
  EXPECT_EQ(siLabel(2.5e6L), "2.5M");
}

TEST(BodeOutput, CsvColumnsAndSvgCurves) {
  RcLowPass rc;
  NumericSummary summary = rc.summary(rcValues());
  std::vector<long double> grid = logFrequencyGrid({1, 1e5L, 6});
  std::vector<FrequencyResponse> responses{frequencyResponse(summary.formula, grid, "g21"),
                                           frequencyResponse(summary.formula, grid, "a<b")};
  std::string csv = bodeCsv(grid, responses);
  EXPECT_EQ(csv.substr(0, csv.find('\n')), "frequency_Hz,g21_magnitude_dB,g21_phase_deg,a<b_magnitude_dB,a<b_phase_deg");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 7);
  EXPECT_NE(csv.find("\n100000,-55.96"), std::string::npos);  // 20 log10(1/sqrt(1 + (200 pi)^2))

  std::string svg = bodeSvg(grid, responses, "Bode & co");
  EXPECT_EQ(svg.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
  EXPECT_EQ(std::count(svg.begin(), svg.end(), '<') - std::count(svg.begin(), svg.end(), '>'), 0);
  auto count = [&](const std::string& what) {
    std::ptrdiff_t n = 0;
    for (std::size_t at = svg.find(what); at != std::string::npos; at = svg.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("class=\"curve\""), 4);  // magnitude and phase of each
  EXPECT_EQ(count(">a&lt;b</text>"), 1);   // legend, escaped
  EXPECT_EQ(count(">Bode &amp; co<"), 2);  // title element and heading
  EXPECT_EQ(count(">frequency (Hz)</text>"), 1);
  EXPECT_EQ(count(">100k</text>"), 2);     // decade labels under both panels
}

// A curve deeper than the magnitude axis leaves the frame where it crosses
// its bottom edge; it is never drawn along the edge, where it would read as
// a level.
TEST(BodeOutput, CurveBelowTheAxisLeavesTheFrame) {
  std::vector<long double> grid = logFrequencyGrid({1, 1e5L, 6});
  FrequencyResponse deep{"g21", false, ResponseUnit::kRatio, {0, -150, -400, -500, -150, 0}, {0, 0, 0, 0, 0, 0}};
  const std::string svg = bodeSvg(grid, {deep}, "deep");
  const std::size_t frameAt = svg.find("<rect class=\"frame\"");
  ASSERT_NE(frameAt, std::string::npos);
  double frameTop = 0, frameHeight = 0;
  ASSERT_EQ(std::sscanf(svg.c_str() + svg.find(" y=\"", frameAt), " y=\"%lf\"", &frameTop), 1);
  ASSERT_EQ(std::sscanf(svg.c_str() + svg.find(" height=\"", frameAt), " height=\"%lf\"", &frameHeight), 1);
  const double bottom = frameTop + frameHeight;
  // The magnitude panel's polylines: the first curves of the picture.
  std::vector<std::vector<double>> ys;
  for (std::size_t at = svg.find("class=\"curve"); at != std::string::npos && ys.size() < 2;
       at = svg.find("class=\"curve", at + 1)) {
    std::istringstream points(svg.substr(svg.find("points=\"", at) + 8));
    ys.emplace_back();
    double x = 0, y = 0;
    char comma = 0;
    while (points >> x >> comma >> y && comma == ',') ys.back().push_back(y);
  }
  ASSERT_EQ(ys.size(), 2u);  // broken where it is out of the frame
  for (const auto& piece : ys) {
    int onEdge = 0;
    for (double y : piece) {
      EXPECT_LE(y, bottom + 0.01);
      onEdge += std::fabs(y - bottom) < 0.01;
    }
    EXPECT_EQ(onEdge, 1);  // the crossing alone
  }
}

TEST(PoleZeroMap, MarkersForReliableRootsOnly) {
  PolynomialRoot pole{{-1000, 500}, 0, true}, conjugate{{-1000, -500}, 0, true}, vague{{-5, 0}, 0.1L, false};
  PolynomialRoot zero{{0, 0}, 0, true};
  std::string svg = poleZeroSvg({PoleZeroSet{"g21", {zero}, {pole, conjugate, vague}}}, "map");
  std::ptrdiff_t crosses = 0;
  for (std::size_t at = svg.find("<path d=\"M"); at != std::string::npos; at = svg.find("<path d=\"M", at + 1)) ++crosses;
  EXPECT_EQ(crosses, 3);  // the unreliable one faded
  EXPECT_NE(svg.find("opacity=\"0.55\"><title>pole of g21: ill-conditioned"), std::string::npos);
  EXPECT_NE(svg.find("<circle cx=\""), std::string::npos);
}

TEST(Mathml, GroupsNamesAndLongFormulas) {
  RcLowPass rc;
  // One MathML piece per term, wrapped by the page under a fraction bar.
  EXPECT_EQ(mathmlFormula("g21", rc.numerator, rc.denominator, rc.symbols),
            "<div class=\"fx\"><math class=\"lhs\"><mrow><msub><mi>g</mi><mn>21</mn></msub><mo>=</mo></mrow></math>"
            "<div class=\"frac\"><div class=\"num\"><math><mrow><mn>1</mn></mrow></math></div><div class=\"den\">"
            "<math><mrow><mn>1</mn></mrow></math><math><mrow><mo lspace=\"0\" rspace=\"0.22em\">+</mo><msub><mi>r</mi>"
            "<mn>1</mn></msub><mo>&#x2062;</mo><msub><mi>c</mi><mn>1</mn></msub><mo>&#x2062;</mo><mi>s</mi></mrow>"
            "</math></div></div></div>");
  EXPECT_EQ(mathmlName("Y0"), "<msub><mi>Y</mi><mn>0</mn></msub>");
  // The element letter alone, as in the LaTeX output: r_pi r_o reads as a
  // product where "rpiro" would not.
  EXPECT_EQ(mathmlName("rload"), "<msub><mi>r</mi><mi>load</mi></msub>");
  EXPECT_EQ(mathmlName("x"), "<mi>x</mi>");
  EXPECT_EQ(mathmlName("r_load"), "<msub><mi>r</mi><mi>load</mi></msub>");
  EXPECT_EQ(mathmlName("q1b"), "<msub><mi>q</mi><mi>1b</mi></msub>");

  OwnedPolynomial big;
  for (int k = 0; k < 500; ++k) big.terms.push_back(Term{k / 100, k % 2 ? -2 : 1, {{0, 2}}});
  std::string math = mathmlFormula("g21", big, rc.denominator, rc.symbols, 300);
  EXPECT_NE(math.find("(350 more terms)"), std::string::npos);  // 150 of its 500 terms shown
  EXPECT_NE(math.find("<mo>(</mo><msup><msub><mi>r</mi>"), std::string::npos);
}

TEST(HtmlReport, SelfContainedPage) {
  RcLowPass rc;
  ElementValues values = rcValues();
  ReportInput input;
  input.title = "velkor report";
  input.values = &values;
  input.unusedValues = {"r9"};
  input.netlists.push_back(ReportNetlist{"r1 1 2 c1 2 0 f 1 0 2 0 p g21 end", {}});
  input.netlists[0].formulas.push_back(
      ReportFormula{"g( 2, 0; 1, 0)", mathmlFormula("g21", rc.numerator, rc.denominator, rc.symbols),
                    rc.summary(values), {}, {}});
  input.bodeSvg = "<svg xmlns=\"http://www.w3.org/2000/svg\"></svg>";
  std::string html = htmlReport(input);
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_FALSE(std::regex_search(html, std::regex("(src|href)=")));  // nothing fetched
  for (const char* part : {"<td>r1</td><td>1k</td><td>--set</td>", "In no netlist: r9", "<pre>r1 1 2 c1",
                           "<div class=\"num\">", "<td>-1000</td><td>-159.155</td>", "<h2>Bode plot</h2>"})
    EXPECT_NE(html.find(part), std::string::npos) << part;
  EXPECT_EQ(html.find("Pole-zero map"), std::string::npos);
}

// What a typeset formula and the report show of a netlist: its title, the
// values in engineering notation in natural order, and a formula whose
// denominator starts negative shown negated in MathML and LaTeX alike.
TEST(TypesetFormula, TitlesValuesAndSigns) {
  for (const auto& [input, titles] : std::vector<std::pair<std::string, std::vector<std::string>>>{
           {"{Band-pass,\n  Q = 100} r1 1 2 {second} end", {"Band-pass, Q = 100"}},
           {"r1 1 2 END {next {nested} one} c1 1 0 end", {"", "next {nested} one"}},
           {"r1 1 2 end\n  \n", {""}},
           {"{only a comment}", {"only a comment"}}})
    EXPECT_EQ(netlistTitles(input), titles) << input;
  EXPECT_EQ(joinedTitle({"", "first", "second"}), "first; second");
  EXPECT_EQ(joinedTitle({"a long title of many words"}, 15), "a long title...");
  for (const auto& [value, text] : std::vector<std::pair<long double, std::string>>{
           {4700, "4.7k"}, {10e-9L, "10n"}, {22.508e-9L, "22.508n"}, {999.9999999L, "1k"}, {1, "1"}, {-0.5L, "-500m"},
           {1e15L, "1e+15"}})
    EXPECT_EQ(engineering(value), text) << text;

  ElementValues values;
  for (const char* setting : {"c10=1n", "c2=2n", "c1=3n", "r1=4.7k"}) values.set(setting);
  ReportInput input;
  input.values = &values;
  std::string html = htmlReport(input);
  EXPECT_LT(html.find("<td>c1</td>"), html.find("<td>c2</td>"));
  EXPECT_LT(html.find("<td>c2</td>"), html.find("<td>c10</td>"));
  EXPECT_NE(html.find("<td>4.7k</td>"), std::string::npos);

  // g21 = -u / (-1 - s r1 c1): shown as u / (1 + s r1 c1).
  OwnedPolynomial numerator, denominator;
  numerator.terms = {Term{0, -1, {{2, 1}}}};
  denominator.terms = {Term{0, -1, {}}, Term{1, -1, {{0, 1}, {1, 1}}}};
  const std::vector<std::string> symbols{"r1", "c1", "u"};
  std::string math = mathmlFormula("g21", numerator, denominator, symbols);
  EXPECT_EQ(math.find("&#x2212;"), std::string::npos) << math;
  FinishedFormula formula;
  formula.name = "g21";
  formula.symbols = symbols;
  formula.numerator = &numerator;
  formula.denominator = &denominator;
  StringOutput out;
  LatexDocument(out, true).formulaFinished(formula);
  EXPECT_NE(out.text().find("\\frac{u}{1 + s\\,r_{1}\\,c_{1}}"), std::string::npos) << out.text();
  // A mixed lowest group keeps its signs.
  denominator.terms = {Term{0, -1, {}}, Term{0, 1, {{0, 1}}}};
  EXPECT_NE(mathmlFormula("g21", numerator, denominator, symbols).find("&#x2212;"), std::string::npos);
}

}  // namespace
}  // namespace velkor

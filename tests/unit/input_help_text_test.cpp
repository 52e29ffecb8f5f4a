// Help text: its fixed opening, the limits, the parameter summary drawn from
// the parameter table, and the layout of its closing sections.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "analysis/analysis_context.h"
#include "input/help_text.h"

namespace velkor {
namespace {

std::string helpText() {
  StringSource none("");
  StringOutput out;
  HeapAllocator heap;
  auto ctx = std::make_unique<AnalysisContext>(none, out, heap);
  printHelp(*ctx);
  return out.text();
}

std::string between(const std::string& text, const std::string& from, const std::string& to) {
  std::size_t start = text.find(from);
  if (start == std::string::npos) return "<missing " + from + ">";
  start += from.size();
  std::size_t stop = text.find(to, start);
  if (stop == std::string::npos) return "<missing " + to + ">";
  return text.substr(start, stop - start);
}

TEST(HelpText, OpeningAndAuthorshipBanner) {
  const std::string text = helpText();
  const std::string opening =
      "\n\nhelp:\nusage:\nvelkor <inputfile >outputfile\n\nsymbolic linear network analysis program";
  EXPECT_EQ(text.substr(0, opening.size()), opening);
  EXPECT_NE(text.find("\nMayeda's method for active networks is implemented using a\n"
                      "modified Chan's implementation of Minty's algorithm for evaluating\n"
                      "spanning trees of network graphs."),
            std::string::npos);
  EXPECT_NE(text.find("\nnetworks must be established by alternate models."), std::string::npos);
}

TEST(HelpText, LimitsFollowTheResourceBurden) {
  EXPECT_EQ(between(helpText(), "for s and F parameters:\n", "\n\nparameter summary:\n"),
            "branch name list 90\nnode list 35\npassive edges 60\nactive edges 30\n");
}

TEST(HelpText, ParameterSummaryListsTheTwentyFourNonScatteringRows) {
  struct Row {
    const char* parameter;
    const char* ratio;
    const char* condition;
    char sign;
    const char* formula;
  };
  const Row rows[] = {
      {"g11", "i1/v1", "i2 = 0", ' ', "V/Wijij"},      {"g12", "i1/i2", "v1 = 0", '-', "Wklij/Wijij"},
      {"g21", "v2/v1", "i2 = 0", ' ', "Wijkl/Wijij"},  {"g22", "v2/i2", "v1 = 0", ' ', "Uijkl/Wijij"},
      {"h11", "v1/i1", "v2 = 0", ' ', "Uijkl/Wklkl"},  {"h12", "v1/v2", "i1 = 0", ' ', "Wklij/Wklkl"},
      {"h21", "i2/i1", "v2 = 0", '-', "Wijkl/Wklkl"},  {"h22", "i2/v2", "i1 = 0", ' ', "V/Wklkl"},
      {"y11", "i1/v1", "v2 = 0", ' ', "Wklkl/Uijkl"},  {"y12", "i1/v2", "v1 = 0", '-', "Wklij/Uijkl"},
      {"y21", "i2/v1", "v2 = 0", '-', "Wijkl/Uijkl"},  {"y22", "i2/v2", "v1 = 0", ' ', "Wijij/Uijkl"},
      {"z11", "v1/i1", "i2 = 0", ' ', "Wijij/V"},      {"z12", "v1/i2", "i1 = 0", ' ', "Wklij/V"},
      {"z21", "v2/i1", "i2 = 0", ' ', "Wijkl/V"},      {"z22", "v2/i2", "i1 = 0", ' ', "Wklkl/V"},
      {"A21", "v1/v2", "i2 = 0", ' ', "Wijij/Wijkl"},  {"B21", "v1/-i2", "v2 = 0", ' ', "Uijkl/Wijkl"},
      {"C21", "i1/v2", "i2 = 0", ' ', "V/Wijkl"},      {"D21", "i1/-i2", "v2 = 0", ' ', "Wklkl/Wijkl"},
      {"a12", "v2/v1", "i1 = 0", ' ', "Wklkl/Wklij"},  {"b12", "v2/-i1", "v1 = 0", ' ', "Uijkl/Wklij"},
      {"c12", "i2/v1", "i1 = 0", ' ', "V/Wklij"},      {"d12", "i2/-i1", "v1 = 0", ' ', "Wijij/Wklij"},
  };
  std::string expected;
  for (const Row& r : rows)
    expected += std::string(" ") + r.parameter + " = " + r.ratio + " for " + r.condition +
                "; topological formula: " + r.sign + r.formula + "\n";
  EXPECT_EQ(between(helpText(), "s11, s12, s21, s22, F11, F12, F21, F22.\n", "\n\n") + "\n", expected);
}

TEST(HelpText, TermsReferencesAndSamplesLayout) {
  const std::string text = helpText();
  // Terms of use: eleven lines, the first two empty.
  std::string terms = between(text, " d12 = i2/-i1 for v1 = 0; topological formula:  Wijij/Wklij\n", "\nreferences:\n");
  EXPECT_EQ(std::count(terms.begin(), terms.end(), '\n'), 11);
  EXPECT_EQ(terms.substr(0, 2), "\n\n");
  // Seven reference lines, then the samples.
  std::string references = between(text, "\nreferences:\n", "\n\nsample netlists--");
  EXPECT_EQ(std::count(references.begin(), references.end(), '\n'), 7);
  EXPECT_NE(references.find("1953"), std::string::npos);
  const std::string samples = "sample netlists-- copy and paste to a file to use as input to see output\n\n{";
  EXPECT_NE(text.find(samples), std::string::npos);
  EXPECT_NE(text.find("\nsee IRE Transactions on Circuit Theory,\nCT-2, pp 74-85 (March 1955).\n"),
            std::string::npos);
  const std::string last = "{vcis, positive feedback}\ngmvcis 2 0 0 3\nrin 1 3\nrf 2 3\nf 1 0 2 0\np g21\nend\n\n";
  ASSERT_GE(text.size(), last.size());
  EXPECT_EQ(text.substr(text.size() - last.size()), last);
}

}  // namespace
}  // namespace velkor

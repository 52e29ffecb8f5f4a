// The two passes of the analysis of one netlist: which functions are
// evaluated, in which order, and which headings are printed.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "support/run_helpers.h"

namespace velkor {
namespace {

using velkor::testing::runMasked;

// Names of the functions evaluated, in order, taken from the evaluator's
// heading lines (trace bit 64 turns them on).
std::vector<std::string> evaluations(const std::string& text) {
  static const std::regex line(R"(\nTopological formula: \((\w+), \d-trees\) \n)");
  std::vector<std::string> names;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), line); it != std::sregex_iterator(); ++it)
    names.push_back((*it)[1]);
  return names;
}

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

const char kLadder[] = "r1 1 2\nc1 2 0\nr2 2 3\nc2 3 0\nf 1 0 3 0\n";

TEST(SequencerPasses, AllParametersEvaluateEachFunctionOncePerPass) {
  std::string text = runMasked(std::string(kLadder) + "t 64\nend\n");
  std::vector<std::string> expected = {"V",     "Wijij", "Wklij", "Wijkl", "Uijkl", "Wklkl",
                                       "Wklkl", "Uijkl", "Wklij", "Wijkl", "Wijij", "V"};
  EXPECT_EQ(evaluations(text), expected);
  std::size_t embedded = text.find("entered s-param\n");
  ASSERT_NE(embedded, std::string::npos);
  EXPECT_EQ(count(text, "entered s-param"), 1);
  std::string first = text.substr(0, embedded);
  std::string second = text.substr(embedded);
  EXPECT_EQ(count(first, " Function:\n"), 24);
  EXPECT_EQ(count(first, " End:\n"), 24);
  EXPECT_EQ(count(second, " Function:\n"), 8);
  EXPECT_EQ(count(second, " for Y0 normalization\n"), 8);
  // Headings in table order within each pass.
  EXPECT_LT(first.find(" g( 1, 0; 1, 0) = i( 1, 0)/v( 1, 0) for i( 3, 0)=0\n"),
            first.find(" d( 1, 0; 3, 0) = i( 3, 0)/-i( 1, 0) for v( 1, 0)=0\n"));
  EXPECT_LT(second.find(" s( 1, 0; 1, 0) for Y0 normalization\n"),
            second.find(" F( 3, 0; 3, 0) for Y0 normalization\n"));
  // The first pass evaluates everything before it prints anything.
  EXPECT_LT(first.rfind("Topological formula: (Wklkl, 2-trees) \n"), first.find(" Function:\n"));
}

TEST(SequencerPasses, SharedFunctionIsEvaluatedOnceAndDuplicatesPrintOnce) {
  std::string text = runMasked(std::string(kLadder) + "p z11 p z22 p z22\nt 64\nend\n");
  EXPECT_EQ(evaluations(text), (std::vector<std::string>{"Wijij", "V", "Wklkl"}));
  EXPECT_EQ(count(text, " Function:\n"), 2);
  EXPECT_NE(text.find(" Function:\n z( 1, 0; 1, 0) = v( 1, 0)/i( 1, 0) for i( 3, 0)=0\n"), std::string::npos);
  EXPECT_NE(text.find(" Function:\n z( 3, 0; 3, 0) = v( 3, 0)/i( 3, 0) for i( 1, 0)=0\n"), std::string::npos);
  EXPECT_EQ(text.find("entered s-param"), std::string::npos);
}

TEST(SequencerPasses, HeadingsShowTheTypedPortLabels) {
  std::string net = "r1 3 7\nr2 9 10\nr3 3 9\nr4 7 10\nf 3 7 9 10\n";
  std::string text = runMasked(net + "p g21\nend\n");
  EXPECT_NE(text.find(" Function:\n g( 9, 10; 3, 7) = v( 9, 10)/v( 3, 7) for i( 9, 10)=0\n"), std::string::npos)
      << text;
  text = runMasked(net + "p s21\nend\n");
  EXPECT_NE(text.find(" Function:\n s( 9, 10; 3, 7) for Y0 normalization\n"), std::string::npos) << text;
}

TEST(SequencerPasses, OnlyScatteringRowsSkipTheFirstPass) {
  std::string text = runMasked(std::string(kLadder) + "p s21 p f12\nt 64\nend\n");
  std::size_t embedded = text.find("entered s-param\n");
  ASSERT_NE(embedded, std::string::npos);
  EXPECT_EQ(text.find("Topological formula:"), embedded + 16);  // nothing evaluated before
  EXPECT_EQ(text.find(" Function:"), text.find(" Function:\n s( 3, 0; 1, 0) for Y0 normalization\n"));
  // s21 needs Wijkl and Uijkl, F12 Wklkl and Wijkl: three evaluations.
  EXPECT_EQ(evaluations(text), (std::vector<std::string>{"Wijkl", "Uijkl", "Wklkl"}));
  EXPECT_EQ(count(text, " Function:\n"), 2);
}

TEST(SequencerPasses, NormalizationWordFollowsTheNEntry) {
  EXPECT_NE(runMasked(std::string(kLadder) + "n 1\np s11\nend\n").find(" s( 1, 0; 1, 0) for Z0 normalization\n"),
            std::string::npos);
  EXPECT_NE(runMasked(std::string(kLadder) + "n 5\np s11\nend\n").find(" s( 1, 0; 1, 0) for unity normalization\n"),
            std::string::npos);
}

TEST(SequencerPasses, EmbeddingAnnouncedOncePerNetlistThatAsksForIt) {
  std::string text =
      runMasked(std::string(kLadder) + "p s11 p s22\nend\n" + kLadder + "p y11\nend\n" + kLadder + "p f21\nend\n");
  EXPECT_EQ(count(text, "entered s-param\n"), 2);
  std::size_t secondNetlist = text.find(" y( 1, 0; 1, 0)");
  ASSERT_NE(secondNetlist, std::string::npos);
  EXPECT_LT(text.find("entered s-param\n"), secondNetlist);
  EXPECT_GT(text.rfind("entered s-param\n"), secondNetlist);
}

}  // namespace
}  // namespace velkor

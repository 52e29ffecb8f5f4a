// The wave-converting circuit: what it adds to the store, its listing, and
// the scattering parameters that the printed formulas give for a network
// whose answer is known.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "analysis/analysis_context.h"
#include "analysis/scattering_embedding.h"
#include "input/netlist_reader.h"
#include "support/run_helpers.h"

namespace velkor {
namespace {

using velkor::testing::runMasked;

struct Reader {
  explicit Reader(const std::string& netlist)
      : source(netlist), ctx(std::make_unique<AnalysisContext>(source, output, heap)) {
    ctx->store.netlistNumber = 0;
    status = readNetlist(*ctx);
  }
  StringSource source;
  StringOutput output;
  HeapAllocator heap;
  std::unique_ptr<AnalysisContext> ctx;
  int status = 1;
};

TEST(EmbeddingCircuit, AddsTheCircuitAndMovesThePlusTerminals) {
  Reader r("r1 1 0\nz1 1 2\nr2 2 0\nf 1 0 2 0\nn 1\nend\n");
  ASSERT_EQ(r.status, 0);
  NetworkStore& s = r.ctx->store;
  NetworkStore before = s;
  const int j = s.portNodes[1], l = s.portNodes[3];
  ASSERT_EQ(j, l);
  r.output.clear();
  embedScatteringPorts(*r.ctx);
  EXPECT_EQ(r.output.text(), "");  // the sequencer announces the embedding

  EXPECT_EQ(s.nodeCount, before.nodeCount + 8);
  EXPECT_EQ(s.passiveCount, before.passiveCount + 8);
  EXPECT_EQ(s.activeCount, before.activeCount + 4);
  EXPECT_EQ(s.nameCount, before.nameCount + 12);
  EXPECT_EQ(s.opampcnt, before.opampcnt + 4);
  EXPECT_EQ(s.analysisPassiveCount, s.passiveCount);
  EXPECT_EQ(s.treeSize, s.nodeCount - 1);
  // E1 takes the old auxiliary node's number, E5 comes four later.
  EXPECT_EQ(s.portNodes[0], before.nodeCount);
  EXPECT_EQ(s.portNodes[1], j);
  EXPECT_EQ(s.portNodes[2], before.nodeCount + 4);
  EXPECT_EQ(s.portNodes[3], l);
  for (int p = 0; p < 4; ++p) EXPECT_EQ(s.portLabels[p], before.portLabels[p]);
  EXPECT_STREQ(s.branchNames[before.nameCount + 11], "Z0");
  EXPECT_STREQ(s.branchNames[before.nameCount + 12], "Z0");

  EXPECT_EQ(s.passiveEdges[1].node1, s.nodeCount);
  EXPECT_EQ(s.passiveEdges[1].node2, 1);

  // Both Z0 branches share the first one's symbol, an impedance symbol.
  const BranchMaps& m = r.ctx->maps;
  int z0 = before.nameCount + 11;
  EXPECT_EQ(m.branchmap[z0 + 1], z0);
  bool listed = false;
  for (int n = 0; n < m.impedanceCount; ++n) listed = listed || m.impedanceSymbols[n] == z0;
  EXPECT_TRUE(listed);
}

TEST(EmbeddingCircuit, ListingWithDistinctReferenceTerminalsAndY0Branches) {
  std::string text = runMasked("r1 1 2\nr2 3 4\nr3 1 3\nf 1 2 3 4\np s21\nt 1\nend\n");
  const char* expected =
      "entered s-param\n"
      "Internal representation of data including generated elements and reassigned node#s:\n"
      "this includes embedding circuitry for evaluating scattering parameters.\n"
      "edge,name,node#'s...\n"
      "  1 x 13 1\n  2 r1 1 2\n  3 r2 3 4\n  4 r3 1 3\n"
      "  5 a 5 7\n  6 a 8 7\n  7 a 8 2\n  8 a 9 11\n  9 a 11 12\n 10 a 12 4\n"
      " 11 Y0 6 1\n 12 Y0 10 3\n"
      " 13 o 6 2 5 6\n 14 o 7 2 1 8\n 15 o 10 4 9 10\n 16 o 11 4 3 12\n"
      " 17 f 5 2 9 4\n"
      "internal node#  input node#:\n"
      "             1    1\n             2    2\n             3    3\n             4    4\n"
      "             5    1000\n             6    1001\n             7    1002\n             8    1003\n"
      "             9    1004\n            10    1005\n            11    1006\n            12    1007\n"
      "            13    0\n"
      "\nedge namelist: index, value\n"
      "  1, x\n  2, r1\n  3, r2\n  4, r3\n  5, o\n  6, o\n  7, o\n  8, o\n"
      "  9, a\n 10, a\n 11, a\n 12, a\n 13, a\n 14, a\n 15, Y0\n 16, Y0\n"
      "\n"
      " Function:\n s( 3, 4; 1, 2) for Y0 normalization\n";
  EXPECT_NE(text.find(expected), std::string::npos) << text;
}

// A printed polynomial evaluated at given symbol values (all resistive, so
// only the s^0 group may occur).
struct Rational {
  std::int64_t num = 0;
  std::int64_t den = 1;
};

std::int64_t evaluatePolynomial(const std::string& block, const std::map<std::string, std::int64_t>& values) {
  std::istringstream lines(block);
  std::string line;
  std::int64_t sum = 0;
  while (std::getline(lines, line)) {
    if (line.rfind("         ", 0) != 0 || line.find(')') != std::string::npos) continue;
    std::istringstream words(line);
    std::string word;
    std::int64_t term = 1;
    bool first = true;
    while (words >> word) {
      bool number = word.find_first_not_of("-0123456789") == std::string::npos;
      if (number) {
        term *= first ? std::stoll(word) : 1;
      } else {
        std::size_t caret = word.find('^');
        std::string name = word.substr(0, caret);
        int exponent = caret == std::string::npos ? 1 : std::stoi(word.substr(caret + 1));
        for (int n = 0; n < exponent; ++n) term *= values.at(name);
      }
      first = false;
    }
    sum += term;
  }
  return sum;
}

Rational printedValue(const std::string& text, const std::string& heading,
                      const std::map<std::string, std::int64_t>& values) {
  std::size_t at = text.find(heading);
  EXPECT_NE(at, std::string::npos) << heading;
  if (at == std::string::npos) return {};
  std::size_t num = text.find(" Numerator:\n", at);
  std::size_t den = text.find(" Denominator:\n", num);
  std::size_t end = text.find(" End:\n", den);
  EXPECT_EQ(text.find(" + s^1", num), text.find(" + s^1", end));  // resistive: s^0 only
  return {evaluatePolynomial(text.substr(num, den - num), values),
          evaluatePolynomial(text.substr(den, end - den), values)};
}

TEST(EmbeddingCircuit, WiringCheckAtUnityNormalization) {
  std::string text = runMasked(
      "ra 1 0\nrb 1 2\nrc 2 0\nf 1 0 2 0\nn 2\n"
      "p s11 p s12 p s21 p s22 p f11 p f12 p f21 p f22\nend\n");
  const std::map<std::string, std::int64_t> ohms = {{"ra", 1}, {"rb", 1}, {"rc", 2}};
  struct Expected {
    const char* heading;
    std::int64_t num, den;
  } cases[] = {
      {" s( 1, 0; 1, 0) for unity", -3, 13}, {" s( 1, 0; 2, 0) for unity", 4, 13},
      {" s( 2, 0; 1, 0) for unity", 4, 13},  {" s( 2, 0; 2, 0) for unity", -1, 13},
      {" F( 1, 0; 1, 0) for unity", 1, 4},   {" F( 1, 0; 2, 0) for unity", -3, 4},
      {" F( 2, 0; 1, 0) for unity", 1, 4},   {" F( 2, 0; 2, 0) for unity", 13, 4},
  };
  for (const Expected& c : cases) {
    Rational v = printedValue(text, c.heading, ohms);
    ASSERT_NE(v.den, 0) << c.heading;
    EXPECT_EQ(v.num * c.den, c.num * v.den) << c.heading << " printed " << v.num << "/" << v.den;
  }
}

}  // namespace
}  // namespace velkor

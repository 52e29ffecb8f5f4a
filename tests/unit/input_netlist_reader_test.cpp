// Netlist reader: echo, element models, requests, messages, limits, and
// input that must never crash or write past a table. The reader is driven
// directly, without the analysis, so only its own output is compared.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/analysis_context.h"
#include "input/netlist_reader.h"
#include "model/branch_maps.h"
#include "model/internal_listing.h"

namespace velkor {
namespace {

using namespace std::string_literals;

const std::string kHeading = "\ninput data:\n";

std::string limitMessage(const char* what, int count, int limit) {
  return "number of "s + what + "(= " + std::to_string(count) + ") exceeds limit of " + std::to_string(limit) +
         "\n or improper input applied\n";
}

// Reads netlists until the reader returns nonzero; keeps the output of each
// call and the store as the last call left it.
class Reader {
 public:
  explicit Reader(std::string input)
      : source_(std::move(input)), ctx_(std::make_unique<AnalysisContext>(source_, output_, heap_)) {}

  // Reads one netlist; returns the reader's result and its output.
  int next(std::string& text) {
    output_.clear();
    int result = readNetlist(*ctx_);
    text = output_.text();
    return result;
  }
  // Reads everything; the outputs of all calls, the last one refused.
  std::vector<std::string> all() {
    std::vector<std::string> texts;
    std::string text;
    for (int guard = 0; guard < 1000; ++guard) {
      int result = next(text);
      texts.push_back(text);
      if (result != 0) break;
    }
    return texts;
  }
  AnalysisContext& ctx() { return *ctx_; }
  NetworkStore& store() { return ctx_->store; }

 private:
  StringSource source_;
  StringOutput output_;
  HeapAllocator heap_;
  std::unique_ptr<AnalysisContext> ctx_;
};

void expectPassive(const NetworkStore& s, int i, int name, int node1, int node2) {
  SCOPED_TRACE("passive edge " + std::to_string(i));
  EXPECT_EQ(s.passiveEdges[i].name, name);
  EXPECT_EQ(s.passiveEdges[i].node1, node1);
  EXPECT_EQ(s.passiveEdges[i].node2, node2);
}

void expectActive(const NetworkStore& s, int i, int name, int outPlus, int outMinus, int inPlus, int inMinus) {
  SCOPED_TRACE("active edge " + std::to_string(i));
  EXPECT_EQ(s.activeEdges[i].name, name);
  EXPECT_EQ(s.activeEdges[i].outPlus, outPlus);
  EXPECT_EQ(s.activeEdges[i].outMinus, outMinus);
  EXPECT_EQ(s.activeEdges[i].inPlus, inPlus);
  EXPECT_EQ(s.activeEdges[i].inMinus, inMinus);
}

void expectNames(const NetworkStore& s, const std::vector<std::string>& names) {
  ASSERT_EQ(s.nameCount, static_cast<int>(names.size()));
  for (int i = 1; i <= s.nameCount; ++i) EXPECT_EQ(s.branchNames[i], names[i - 1]) << "slot " << i;
}

void expectLabels(const NetworkStore& s, const std::vector<int>& labels) {
  ASSERT_EQ(s.nodeCount, static_cast<int>(labels.size()));
  for (int i = 1; i <= s.nodeCount; ++i) EXPECT_EQ(s.nodeList[i], labels[i - 1]) << "node " << i;
}

// Every table count stays inside its table.
void expectInsideTables(const NetworkStore& s) {
  EXPECT_LT(s.nameCount, kNameSlots);
  EXPECT_LT(s.passiveCount, kPassiveEdgeSlots);
  EXPECT_LT(s.activeCount, kActiveEdgeSlots);
  EXPECT_LT(s.nodeCount, kNodeSlots);
}

TEST(NetlistReader, InternalRepresentationOfTheVcvsExample) {
  Reader reader("r1 1 3, rf 2 3, u1 2 0 0 3, f 1 0 2 0, t 1, end");
  std::string text;
  ASSERT_EQ(reader.next(text), 0);
  EXPECT_EQ(text, kHeading +
                      "r1 1 3, rf 2 3, u1 2 0 0 3, f 1 0 2 0, t 1, end\n\n"
                      "Internal representation of data including generated elements and reassigned node#s:\n"
                      "edge,name,node#'s...\n"
                      "  1 x 6 1\n"
                      "  2 r1 1 2\n"
                      "  3 rf 3 2\n"
                      "  4 a 4 3\n"
                      "  5 u1 4 5 5 2\n"
                      "  6 o 3 5 5 4\n"
                      "  7 f 1 5 3 5\n"
                      "internal node#  input node#:\n"
                      "             1    1\n"
                      "             2    3\n"
                      "             3    2\n"
                      "             4    1000\n"
                      "             5    0\n"
                      "             6    0\n"
                      "\nedge namelist: index, value\n"
                      "  1, x\n"
                      "  2, r1\n"
                      "  3, rf\n"
                      "  4, u1\n"
                      "  5, o\n"
                      "  6, a\n"
                      "\n");
  const NetworkStore& s = reader.store();
  EXPECT_EQ(s.analysisPassiveCount, 4);
  EXPECT_EQ(s.treeSize, 5);
  EXPECT_EQ(s.opampcnt, 1);
  EXPECT_EQ(s.portLabels[0], 1);
  EXPECT_EQ(s.portLabels[1], 0);
  // The maps are built: both generated names are classified.
  EXPECT_EQ(reader.ctx().maps.fmap[5], kClassNullor);
  EXPECT_EQ(reader.ctx().maps.fmap[6], kClassUnit);

  // The embedded form of the listing adds its second line.
  StringOutput out;
  StringSource none("");
  HeapAllocator heap;
  auto other = std::make_unique<AnalysisContext>(none, out, heap);
  other->store = s;
  printInternalRepresentation(other->out, other->store, true);
  const std::string opening =
      "Internal representation of data including generated elements and reassigned node#s:\n"
      "this includes embedding circuitry for evaluating scattering parameters.\n"
      "edge,name,node#'s...\n"
      "  1 x 6 1\n";
  EXPECT_EQ(out.text().substr(0, opening.size()), opening);
}

TEST(NetlistReader, OnePortTwoPortAndGyratorModels) {
  Reader reader("g7 10 20 rx 20 30 GMx 10 20 30 40 opamp 40 30 20 10 gyx 10 20 30 40 f 10 20 30 40 end");
  std::string text;
  ASSERT_EQ(reader.next(text), 0);
  const NetworkStore& s = reader.store();
  expectNames(s, {"x", "g7", "rx", "GMx", "opamp", "gyx", "gyx"});
  expectLabels(s, {10, 20, 30, 40, 0});
  ASSERT_EQ(s.passiveCount, 3);
  expectPassive(s, 1, 1, 5, 1);
  expectPassive(s, 2, 2, 1, 2);
  expectPassive(s, 3, 3, 2, 3);
  ASSERT_EQ(s.activeCount, 4);
  expectActive(s, 1, 4, 1, 2, 3, 4);
  expectActive(s, 2, 5, 4, 3, 2, 1);
  expectActive(s, 3, 6, 1, 2, 3, 4);
  expectActive(s, 4, 7, 4, 3, 1, 2);  // the copy: -in, +in, +out, -out
  EXPECT_EQ(s.opampcnt, 1);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(s.portNodes[i], i + 1);
}

TEST(NetlistReader, VoltageAndCurrentControlledModels) {
  {
    Reader reader("u7 10 20 30 40 f 10 20 30 40 end");
    std::string text;
    ASSERT_EQ(reader.next(text), 0);
    const NetworkStore& s = reader.store();
    // Lookups G1, -out, +in, -in, +out.
    expectLabels(s, {1000, 20, 30, 40, 10, 0});
    expectNames(s, {"x", "u7", "o", "a"});
    expectActive(s, 1, 2, 1, 2, 3, 4);
    expectActive(s, 2, 3, 5, 2, 2, 1);
    expectPassive(s, 2, 4, 1, 5);
    EXPECT_EQ(s.opampcnt, 1);
  }
  {
    Reader reader("b7 10 20 30 40 f 10 20 30 40 end");
    std::string text;
    ASSERT_EQ(reader.next(text), 0);
    const NetworkStore& s = reader.store();
    // Lookups -out, +out, G1, -in, +in.
    expectLabels(s, {20, 10, 1000, 40, 30, 0});
    expectNames(s, {"x", "b7", "o", "a"});
    expectActive(s, 1, 2, 1, 2, 3, 4);
    expectActive(s, 2, 3, 3, 4, 4, 5);
    expectPassive(s, 2, 4, 5, 3);
    EXPECT_EQ(s.opampcnt, 1);
  }
  {
    Reader reader("rm7 10 20 30 40 f 10 20 30 40 end");
    std::string text;
    ASSERT_EQ(reader.next(text), 0);
    const NetworkStore& s = reader.store();
    // Lookups +in, G1, G2, -out, -in, +out.
    expectLabels(s, {30, 1000, 1001, 20, 40, 10, 0});
    expectNames(s, {"x", "rm7", "a", "o", "o", "a"});
    ASSERT_EQ(s.passiveCount, 3);
    expectPassive(s, 2, 2, 1, 2);
    expectPassive(s, 3, 6, 6, 3);
    ASSERT_EQ(s.activeCount, 3);
    expectActive(s, 1, 3, 3, 4, 5, 2);
    expectActive(s, 2, 4, 6, 4, 4, 3);
    expectActive(s, 3, 5, 2, 5, 5, 1);
    EXPECT_EQ(s.opampcnt, 2);
  }
}

TEST(NetlistReader, MutualInductanceModel) {
  Reader reader("m7 10 20 30 40 f 10 20 30 40 end");
  std::string text;
  ASSERT_EQ(reader.next(text), 0);
  const NetworkStore& s = reader.store();
  // G1, G2, +in, G3, G4, +out, G5, G6, -in, -out, then the auxiliary node.
  expectLabels(s, {1000, 1001, 30, 1002, 1003, 10, 1004, 1005, 40, 20, 0});
  expectNames(s, {"x", "m7", "a", "o", "o", "a", "m7", "a", "o", "o", "a"});
  ASSERT_EQ(s.passiveCount, 5);
  expectPassive(s, 2, 2, 3, 4);
  expectPassive(s, 3, 6, 6, 5);
  expectPassive(s, 4, 7, 2, 7);
  expectPassive(s, 5, 11, 1, 8);
  ASSERT_EQ(s.activeCount, 6);
  expectActive(s, 1, 3, 5, 2, 1, 4);
  expectActive(s, 2, 4, 6, 2, 2, 5);
  expectActive(s, 3, 5, 4, 1, 1, 3);
  expectActive(s, 4, 8, 8, 9, 10, 7);
  expectActive(s, 5, 9, 1, 9, 9, 8);
  expectActive(s, 6, 10, 7, 10, 10, 2);
  EXPECT_EQ(s.opampcnt, 4);
  // Both passive edges of the model carry the user's name: one symbol.
  EXPECT_EQ(reader.ctx().maps.branchmap[7], 2);
  EXPECT_EQ(reader.ctx().maps.powermap[7], 1);
}

TEST(NetlistReader, FirstOneOrTwoCharactersChooseTheEntry) {
  Reader reader("gmax 1 2 3 4 rmain 1 2 3 4 gx 1 2 Z 1 2 Lq 1 2 F 1 2 3 4 T 64 N 1 n 2 t 0 exit");
  std::string text;
  ASSERT_EQ(reader.next(text), 0);
  const NetworkStore& s = reader.store();
  EXPECT_EQ(s.activeCount, 1 + 3);
  EXPECT_EQ(s.passiveCount, 1 + 2 + 3);
  EXPECT_EQ(s.normalization, 2);  // later entries overwrite earlier ones
  EXPECT_EQ(s.traceBits, 0);
}

TEST(NetlistReader, ParameterRequests) {
  struct Case {
    const char* entries;
    std::vector<int> rows;
  };
  const std::vector<Case> cases = {
      {"", {}},  // no p entry: all 32
      {"p a", {20}},
      {"p A21", {16}},
      {"p Y12", {9}},
      {"P y12", {9}},
      {"p F21", {30}},
      {"p f21", {30}},
      {"p a p b p G21", {2, 20, 21}},
      {"p xyz", {}},
      {"p a21 p A12 p G1", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entries);
    Reader reader("r 1 2 f 1 2 1 2 "s + c.entries + " end");
    std::string text;
    ASSERT_EQ(reader.next(text), 0);
    for (int row = 0; row < kParameterCount; ++row) {
      bool wanted = std::string(c.entries).empty();
      for (int r : c.rows) wanted = wanted || r == row;
      EXPECT_EQ(reader.store().requestFlags[row], wanted ? 1 : 0) << "row " << row;
    }
  }
}

// The exact message texts are pinned by the reader_* golden pairs; these
// check what the reader keeps and how far it reads.
TEST(NetlistReader, MessagesThatLetReadingGoOn) {
  Reader reader("resistorWithLongName 1 2\nr2 2 1000\np xyz\np gainparameterword\nf 1 2 1 2 end");
  std::string text;
  ASSERT_EQ(reader.next(text), 0);
  // A parameter word is never truncated.
  EXPECT_NE(text.find("\np gainparameterword gainparameterword does not match"), std::string::npos);
  const NetworkStore& s = reader.store();
  EXPECT_STREQ(s.branchNames[2], "resistorWith");
  // The refused label is joined to node 1, the node of label 1.
  expectPassive(s, 3, 3, 2, 1);
  for (int flag : s.requestFlags) EXPECT_EQ(flag, 0);
}

TEST(NetlistReader, HelpEntryEndsTheRunAfterTheEchoSoFar) {
  Reader reader("r1 1 2\nh\nr2 3 4\n");
  std::string text;
  ASSERT_EQ(reader.next(text), 1);
  EXPECT_EQ(text.substr(0, kHeading.size() + 16), kHeading + "r1 1 2\nh\n\nhelp:\n");
  EXPECT_EQ(text.find("r2 3 4"), std::string::npos);  // nothing after h is read
}

TEST(NetlistReader, CountsJustBelowTheLimitsAreAccepted) {
  std::string text;
  std::string resistors;
  for (int i = 1; i <= 58; ++i) resistors += "r" + std::to_string(i) + " 1 2\n";
  Reader onePorts(resistors + "f 1 2 1 2 end");
  ASSERT_EQ(onePorts.next(text), 0);
  EXPECT_EQ(onePorts.store().passiveCount, 59);

  std::string gms;
  for (int i = 1; i <= 29; ++i) gms += "gm" + std::to_string(i) + " 1 2 3 4\n";
  Reader twoPorts(gms + "f 1 2 3 4 end");
  ASSERT_EQ(twoPorts.next(text), 0);
  EXPECT_EQ(twoPorts.store().activeCount, 29);

  // 33 input nodes and the auxiliary node.
  std::string nodes;
  for (int i = 0; i < 32; ++i)
    nodes += "r" + std::to_string(i) + " " + std::to_string(i) + " " + std::to_string(i + 1) + "\n";
  Reader manyNodes(nodes + "f 0 1 2 3\nend\n");
  ASSERT_EQ(manyNodes.next(text), 0);
  EXPECT_EQ(manyNodes.store().nodeCount, 34);
}

// Seventeen resistors r0 .. r16 over the labels 0 .. 33: 34 nodes.
std::string thirtyFourNodes() {
  std::string input;
  for (int i = 0; i < 17; ++i)
    input += "r" + std::to_string(i) + " " + std::to_string(2 * i) + " " + std::to_string(2 * i + 1) + "\n";
  return input;
}

TEST(NetlistReader, NodeListFullInTheMiddleOfAnEntry) {
  // The u entry's generated node makes 35, its four new labels are refused
  // one by one and joined to node 1, then the node limit stops the reading.
  Reader reader(thirtyFourNodes() + "u1 100 101 102 103\nf 0 1 2 3\nend\n");
  std::string text;
  ASSERT_EQ(reader.next(text), 1);
  const std::string full = limitMessage("nodes", 35, 34);
  EXPECT_EQ(text.substr(text.size() - 18 - 5 * full.size()),
            "u1 100 101 102 103" + full + full + full + full + full);
  const NetworkStore& s = reader.store();
  EXPECT_EQ(s.nodeCount, 35);
  expectActive(s, 1, 19, 35, 1, 1, 1);
  expectActive(s, 2, 20, 1, 1, 1, 35);
  expectPassive(s, 19, 21, 35, 1);
}

TEST(NetlistReader, MutualInductanceAtTheActiveLimitStaysInsideTheTables) {
  // 58 one-ports and 29 gm leave one entry; an m entry then overshoots
  // every count by its own size before the limits stop the reading.
  std::string input;
  for (int i = 1; i <= 58; ++i) input += "r" + std::to_string(i) + " 1 2\n";
  for (int i = 1; i <= 29; ++i) input += "gm" + std::to_string(i) + " 1 2 3 4\n";
  Reader reader(input + "m1 5 6 7 8\nf 1 2 3 4\nend\n");
  std::string text;
  ASSERT_EQ(reader.next(text), 1);
  const NetworkStore& s = reader.store();
  expectInsideTables(s);
  EXPECT_EQ(s.passiveCount, 63);
  EXPECT_EQ(s.activeCount, 35);
  EXPECT_EQ(s.nameCount, 98);
  // The last record of the m model is complete.
  expectActive(s, 35, 97, 11, 14, 14, 6);
  const std::string tail = "m1 5 6 7 8" + limitMessage("one-port elements", 63, 59);
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);

  // With active edges only, the two-port limit reports the overshoot.
  std::string gms;
  for (int i = 1; i <= 29; ++i) gms += "gm" + std::to_string(i) + " 1 2 3 4\n";
  Reader activeOnly(gms + "m1 1 2 3 4\nend\n");
  ASSERT_EQ(activeOnly.next(text), 1);
  EXPECT_EQ(activeOnly.store().activeCount, 35);
  expectInsideTables(activeOnly.store());
  const std::string activeTail = "m1 1 2 3 4" + limitMessage("two-port elements", 35, 29);
  EXPECT_EQ(text.substr(text.size() - activeTail.size()), activeTail);
}

TEST(NetlistReader, NetlistsAfterAnEndEntryAreIndependent) {
  Reader reader("u1 5 6 7 8 f 5 6 7 8 p none t 64 end\n\nu2 9 9 9 9 f 9 9 9 9 p none end,");
  std::string text;
  ASSERT_EQ(reader.next(text), 0);
  EXPECT_EQ(reader.store().netlistNumber, 1);
  ASSERT_EQ(reader.next(text), 0);
  // The separators after the first end entry are echoed after the heading.
  EXPECT_EQ(text.substr(0, kHeading.size() + 4), kHeading + "\n\nu2");
  const NetworkStore& s = reader.store();
  EXPECT_EQ(s.netlistNumber, 2);
  EXPECT_EQ(s.traceBits, 0);
  expectLabels(s, {1000, 9, 0});
  expectNames(s, {"x", "u2", "o", "a"});
  EXPECT_EQ(s.passiveCount, 2);
  EXPECT_EQ(s.activeCount, 2);
  EXPECT_EQ(s.opampcnt, 1);
  // End of input: the pending comma is echoed after the next heading.
  ASSERT_EQ(reader.next(text), 1);
  EXPECT_EQ(text, kHeading + ",");
}

TEST(NetlistReader, PortDesignatorFirstNumbersItsLabelsFirst) {
  Reader reader("f 7 5 3 1 r1 1 3 r2 5 7 end");
  std::string text;
  ASSERT_EQ(reader.next(text), 0);
  expectLabels(reader.store(), {7, 5, 3, 1, 0});
  for (int i = 0; i < 4; ++i) EXPECT_EQ(reader.store().portNodes[i], i + 1);
  expectPassive(reader.store(), 2, 2, 4, 3);
}

TEST(NetlistReader, EndOfInputInsideAnEntryStoresNothing) {
  for (const char* input : {"u1 1 2 3", "f 1 2", "p", "t", "r1 1 {2 end", "m1 1 2 3 {4}"}) {
    SCOPED_TRACE(input);
    Reader reader(input);
    std::string text;
    ASSERT_EQ(reader.next(text), 1);
    EXPECT_EQ(text.find("exceeds"), std::string::npos);
    EXPECT_EQ(reader.store().nameCount, 1);
    EXPECT_EQ(reader.store().nodeCount, 0);
  }
}

TEST(NetlistReader, StrangeBytesAreReadWithoutHarm) {
  std::string text;
  {
    // A NUL ends a word's text; a word that begins with NUL is empty.
    Reader reader("r1\0junk 1 2 f 1 2 1 2 end"s);
    ASSERT_EQ(reader.next(text), 0);
    EXPECT_STREQ(reader.store().branchNames[2], "r1");
    EXPECT_EQ(text, kHeading + "r1 1 2 f 1 2 1 2 end\n\n");
    Reader empty("\0x 1 2"s);
    ASSERT_EQ(empty.next(text), 1);
    EXPECT_EQ(text, kHeading + "unrecognized element prefix-- '': must be r,l,c,g,y,z,gm,gy,o,u,b,rm,m,n,f,e\n"
                               "h as input prints help\n");
  }
  {
    Reader reader("r\xe9\xff 1\xff 2 } 3 4");
    ASSERT_EQ(reader.next(text), 1);
    EXPECT_EQ(text, kHeading + "r\xe9\xff 1 2 }unrecognized element prefix-- '}': must be "
                               "r,l,c,g,y,z,gm,gy,o,u,b,rm,m,n,f,e\nh as input prints help\n");
  }
  {
    // Labels past 32 bits stay at 2^32 - 1 and are refused like it; the n
    // value still wraps.
    Reader reader("r1 4294967296 99999999999999999999 f 0 0 0 0 n 4294967298 end");
    ASSERT_EQ(reader.next(text), 0);
    EXPECT_EQ(text, kHeading +
                        "r1 4294967295 4294967295node label 4294967295 must be less than 1000\n"
                        "node label 4294967295 must be less than 1000\n"
                        " f 0 0 0 0 n 2 end\n\n");
    EXPECT_EQ(reader.store().normalization, 2);
    expectLabels(reader.store(), {0, 0});
  }
  {
    // A word of 100,000 characters: 127 form the word, the next is dropped,
    // the rest are skipped by the number reader.
    Reader reader("r" + std::string(99999, 'x') + " 1 2 f 1 2 1 2 end");
    ASSERT_EQ(reader.next(text), 0);
    EXPECT_EQ(text, kHeading + "following branch name was truncated to 12 characters:\nr" + std::string(12, 'x') +
                        " 1 2 f 1 2 1 2 end\n\n");
    EXPECT_EQ(reader.store().passiveCount, 2);
  }
  {
    Reader reader("r1 1 2 {never closed f 1 2 1 2 end");
    ASSERT_EQ(reader.next(text), 1);
    EXPECT_EQ(text, kHeading + "r1 1 2 {never closed f 1 2 1 2 end");
  }
}

TEST(NetlistReader, ArbitraryBytesNeverEscapeTheTables) {
  // A fixed pseudo-random stream of netlist-like and arbitrary bytes.
  const std::string alphabet = "rlcgyzmobuefpnthRGMOUB0123456789 \n,;{}\0\xff\x80x-."s;
  std::uint32_t seed = 12345;
  auto random = [&seed](std::uint32_t bound) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % bound;
  };
  for (int round = 0; round < 300; ++round) {
    std::string input;
    std::uint32_t size = 50 + random(3000);
    for (std::uint32_t i = 0; i < size; ++i) {
      input += random(8) == 0 ? static_cast<char>(random(256)) : alphabet[random(alphabet.size())];
    }
    Reader reader(input);
    for (const std::string& text : reader.all()) ASSERT_FALSE(text.empty());
    expectInsideTables(reader.store());
  }
}

TEST(NetlistReader, HelpSamplesReadBackWithoutMessagesAndEchoExactly) {
  Reader help("h");
  std::string text;
  ASSERT_EQ(help.next(text), 1);
  const std::string marker = "sample netlists-- copy and paste to a file to use as input to see output\n\n";
  std::size_t at = text.find(marker);
  ASSERT_NE(at, std::string::npos);
  const std::string samples = text.substr(at + marker.size());

  Reader reader(samples);
  std::vector<std::string> texts = reader.all();
  ASSERT_EQ(texts.size(), 27u);  // 26 netlists, then end of input
  std::string echo;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::string& t = texts[i];
    ASSERT_EQ(t.substr(0, kHeading.size()), kHeading);
    std::size_t end = t.size();
    if (i + 1 < texts.size()) {
      ASSERT_EQ(t.substr(t.size() - 5), "end\n\n") << "netlist " << i + 1;
      end -= 2;
    }
    echo += t.substr(kHeading.size(), end - kHeading.size());
  }
  EXPECT_EQ(echo, samples);
}

}  // namespace
}  // namespace velkor

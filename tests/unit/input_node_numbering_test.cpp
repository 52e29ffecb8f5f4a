// Node numbering: labels in order of first use, generated nodes, refusals.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "analysis/analysis_context.h"
#include "input/node_numbering.h"
#include "support/run_helpers.h"

namespace velkor {
namespace {

class NodeNumberingTest : public ::testing::Test {
 protected:
  NodeNumberingTest() : ctx_(std::make_unique<AnalysisContext>(source_, output_, heap_)) {
    ctx_->store.reset();
  }
  NetworkStore& store() { return ctx_->store; }

  StringSource source_{""};
  StringOutput output_;
  HeapAllocator heap_;
  std::unique_ptr<AnalysisContext> ctx_;
};

TEST_F(NodeNumberingTest, LabelsNumberedInOrderOfFirstUse) {
  EXPECT_EQ(lookupNode(*ctx_, 999), 1);
  EXPECT_EQ(lookupNode(*ctx_, 0), 2);
  EXPECT_EQ(lookupNode(*ctx_, 999), 1);
  EXPECT_EQ(lookupNode(*ctx_, 5), 3);
  EXPECT_EQ(store().nodeCount, 3);
  EXPECT_EQ(store().nodeList[1], 999);
  EXPECT_EQ(store().nodeList[2], 0);
  EXPECT_EQ(store().nodeList[3], 5);
  EXPECT_EQ(output_.text(), "");
}

TEST_F(NodeNumberingTest, GeneratedNodesShareTheSequence) {
  EXPECT_EQ(lookupNode(*ctx_, 5), 1);
  EXPECT_EQ(lookupNode(*ctx_, 7), 2);
  EXPECT_EQ(newNode(*ctx_), 3);
  EXPECT_EQ(newNode(*ctx_), 4);
  EXPECT_EQ(store().nodeList[3], 1000);
  EXPECT_EQ(store().nodeList[4], 1001);
  // A generated label is never taken for an input label.
  EXPECT_EQ(lookupNode(*ctx_, 1000), 1);
  EXPECT_EQ(store().nodeCount, 4);
}

TEST_F(NodeNumberingTest, LabelsAbove999AreJoinedToNodeOne) {
  EXPECT_EQ(lookupNode(*ctx_, 1000), 1);
  EXPECT_EQ(lookupNode(*ctx_, 123456), 1);
  // A digit string that wrapped to a negative int is refused as well.
  EXPECT_EQ(lookupNode(*ctx_, -1), 1);
  EXPECT_EQ(store().nodeCount, 0);
  EXPECT_EQ(output_.text(),
            "node label 1000 must be less than 1000\n"
            "node label 123456 must be less than 1000\n"
            "node label 4294967295 must be less than 1000\n");
}

// Whole runs: a label past 32 bits, however long, is refused exactly as the
// label 4294967295 is (joined to node 1, also at a port), never wrapped
// into the range of valid labels.
TEST(NodeLabelRuns, LabelsPast32BitsAreRefusedAsTheLargestOne) {
  auto run = [](const std::string& big, const std::string& huge) {
    return testing::runMasked("r1 1 0\nr2 " + big + " 0\nc1 1 0\nf 1 0 " + huge + " 0\np z11\np g21\nend\n");
  };
  const std::string typed = run("4294967295", "4294967295");
  EXPECT_EQ(run("4294967296", "99999999999999999999"), typed);
  EXPECT_EQ(run("0004294967296", "9" + std::string(5000, '9')), typed);
  const std::string message = "node label 4294967295 must be less than 1000\n";
  const std::size_t first = typed.find(message);
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(typed.find(message, first + 1), std::string::npos);
}

TEST_F(NodeNumberingTest, NewLabelRefusedAt35Nodes) {
  for (int label = 0; label < 35; ++label) ASSERT_EQ(lookupNode(*ctx_, label), label + 1);
  EXPECT_EQ(output_.text(), "");
  EXPECT_EQ(lookupNode(*ctx_, 10), 11);  // known labels are still found
  EXPECT_EQ(lookupNode(*ctx_, 500), 1);
  EXPECT_EQ(store().nodeCount, 35);
  EXPECT_EQ(output_.text(), "number of nodes(= 35) exceeds limit of 34\n or improper input applied\n");
  // Generated nodes may go on up to index 43, never past the table.
  for (int n = 36; n <= 43; ++n) ASSERT_EQ(newNode(*ctx_), n);
  output_.clear();
  EXPECT_EQ(newNode(*ctx_), 1);
  EXPECT_EQ(store().nodeCount, 43);
  EXPECT_LT(store().nodeCount, kNodeSlots);
  EXPECT_EQ(store().nodeList[43], 1007);
  EXPECT_EQ(output_.text(), "number of nodes(= 43) exceeds limit of 42\n or improper input applied\n");
}

}  // namespace
}  // namespace velkor

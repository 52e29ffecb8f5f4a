// Several jobs print exactly what one job prints, on both paths: every
// golden netlist and random netlists with every function cut into
// subtrees, and circuits large enough to be cut by default.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "crosscheck/crosscheck.h"
#include "driver/program_driver.h"
#include "support/failing_allocator.h"
#include "support/output.h"
#include "support/char_source.h"
#include "support/run_helpers.h"
#include "support/stop_flag.h"
#include "trees/tree_context.h"

namespace velkor::testing {
namespace {

std::string runWith(const std::string& input, int jobs, bool plain, int splitAbove) {
  RunOptions options;
  options.jobs = jobs;
  options.plainPath = plain;
  options.splitAbove = splitAbove;
  return maskOutput(runOnString(input, options));
}

// Runs `input` with 1, 2 and 4 jobs on both paths and expects one output
// per path.
void expectSameForEveryJobCount(const std::string& input, int splitAbove, const std::string& what) {
  for (bool plain : {false, true}) {
    const std::string one = runWith(input, 1, plain, splitAbove);
    for (int jobs : {2, 4})
      ASSERT_EQ(runWith(input, jobs, plain, splitAbove), one)
          << what << ": " << jobs << " jobs" << (plain ? ", plain path" : "") << "\n"
          << input;
  }
}

TEST(ParallelJobs, GoldenNetlistsPrintTheSameBytes) {
  int netlists = 0;
  for (const auto& entry : std::filesystem::directory_iterator(VELKOR_GOLDEN_DIR)) {
    if (entry.path().extension() != ".net") continue;
    expectSameForEveryJobCount(readFile(entry.path().string()), 0, entry.path().filename().string());
    ++netlists;
  }
  EXPECT_GT(netlists, 20);
}

TEST(ParallelJobs, RandomNetlistsPrintTheSameBytes) {
  using namespace velkor::crosscheck;
  Random random(2512);
  const ElementKind kinds[] = {ElementKind::Transconductor, ElementKind::Gyrator,     ElementKind::OpAmp,
                               ElementKind::VoltageGain,    ElementKind::CurrentGain, ElementKind::Transresistor,
                               ElementKind::Mutual};
  NetlistShape shape;
  shape.maxNodes = 6;
  shape.maxExtraOnePorts = 4;
  shape.maxTwoPorts = 3;
  int round = 0;
  for (ElementKind kind : kinds) {
    std::string input;
    for (int k = 0; k < 3; ++k, ++round) input += netlistText(randomNetlist(random, kind, round % 3, true, shape));
    expectSameForEveryJobCount(input, 0, "random netlists, round " + std::to_string(round));
  }
}

// A ladder of transconductance stages with resistive and capacitive
// coupling: its functions have tens of thousands of common trees, so that
// they are cut into many subtrees with the default setting.
std::string stageLadder(int stages) {
  std::string text = "{ladder of " + std::to_string(stages) + " stages}\n";
  for (int k = 1; k <= stages; ++k) {
    const std::string in = std::to_string(2 * k - 1), mid = std::to_string(2 * k), out = std::to_string(2 * k + 1);
    text += "r" + std::to_string(k) + "a " + in + " " + mid + "\n";
    text += "c" + std::to_string(k) + "a " + mid + " 0\n";
    text += "r" + std::to_string(k) + "b " + mid + " 0\n";
    text += "c" + std::to_string(k) + "b " + in + " " + out + "\n";
    text += "gm" + std::to_string(k) + " " + out + " 0 " + mid + " 0\n";
    text += "r" + std::to_string(k) + "c " + out + " 0\n";
  }
  text += "f 1 0 " + std::to_string(2 * stages + 1) + " 0\nend\n";
  return text;
}

TEST(ParallelJobs, LargeFunctionsCutIntoSubtreesPrintTheSameBytes) {
  const std::string input = stageLadder(4);
  RunStatistics statistics;
  RunOptions options;
  options.statistics = &statistics;
  const std::string one = maskOutput(runOnString(input, options));
  EXPECT_GT(statistics.acceptedTrees, 100000u) << "too small to be cut";
  for (int jobs : {2, 3}) {
    options.jobs = jobs;
    RunStatistics parallel;
    options.statistics = &parallel;
    ASSERT_EQ(maskOutput(runOnString(input, options)), one) << jobs << " jobs";
    EXPECT_EQ(parallel.acceptedTrees, statistics.acceptedTrees);
    EXPECT_EQ(parallel.terms, statistics.terms);
    EXPECT_EQ(parallel.functions, statistics.functions);
  }
}

TEST(ParallelJobs, AStopAskedForBeforehandEndsEveryJob) {
  StopFlag stop{2};
  RunOptions options;
  options.interruptFlag = &stop;
  const std::string input = stageLadder(3);
  const std::string one = maskOutput(runOnString(input, options));
  options.jobs = 2;
  EXPECT_EQ(maskOutput(runOnString(input, options)), one);
}

// Requests refused from the k-th on, while jobs accumulate and merge: the
// function that meets the refusal is abandoned with the messages of one
// job, the rest of the run goes on, and every block comes back.
TEST(ParallelJobs, RefusedRequestsInAnyJobEndTheFunctionWithTheUsualMessages) {
  const std::string input = stageLadder(3);
  int abandoned = 0;
  for (std::uint64_t failAt = 2; failAt <= 40; failAt += 2) {
    StringSource source(input);
    StringOutput output;
    FailingAllocator alloc;
    alloc.concurrent = true;
    alloc.failAt = failAt;
    alloc.failAfter = true;
    RunOptions options;
    options.jobs = 2;
    options.splitAbove = 0;
    runProgram(source, output, alloc, options);
    EXPECT_EQ(alloc.liveBlocks(), 0) << "refused from request " << failAt;
    const std::string& text = output.text();
    EXPECT_NE(text.find("{elapsed time:"), std::string::npos) << "refused from request " << failAt;
    const std::size_t report = text.find("insufficient memory for combining admittance terms\nraw i-trees  evaluated:");
    if (report == std::string::npos) continue;
    ++abandoned;
    EXPECT_NE(text.find("insufficient memory to buffer common trees; remainder of function evaluation skipped\n",
                        report),
              std::string::npos);
  }
  EXPECT_GT(abandoned, 5);
}

}  // namespace
}  // namespace velkor::testing

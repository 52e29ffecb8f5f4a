// Several jobs print exactly what one job prints, on both paths: every
// golden netlist and random netlists with every function cut into
// subtrees, and circuits large enough to be cut by default.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/approximation_generation.h"
#include "analysis/element_values.h"
#include "crosscheck/crosscheck.h"
#include "driver/program_driver.h"
#include "support/failing_allocator.h"
#include "support/job_pool.h"
#include "support/output.h"
#include "support/char_source.h"
#include "support/run_helpers.h"
#include "support/address_sanitizer.h"
#include "support/stop_flag.h"
#include "trees/tree_context.h"

namespace velkor::testing {
namespace {

// Under the thread sanitizer (about ten times slower) every third golden
// netlist, and a smaller ladder cut at a smaller size.
#ifdef VELKOR_TSAN
constexpr int kGoldenStride = 3;
constexpr int kLadderStages = 3;
constexpr int kLadderSplitAbove = 500;
constexpr std::uint64_t kLadderTrees = 1000;
#else
constexpr int kGoldenStride = 1;
constexpr int kLadderStages = 4;
constexpr int kLadderSplitAbove = 16384;
constexpr std::uint64_t kLadderTrees = 100000;
#endif

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
  std::vector<std::filesystem::path> paths;
  for (const auto& entry : std::filesystem::directory_iterator(VELKOR_GOLDEN_DIR))
    if (entry.path().extension() == ".net") paths.push_back(entry.path());
  std::sort(paths.begin(), paths.end());
  EXPECT_GT(paths.size(), 20u);
  for (std::size_t k = 0; k < paths.size(); k += kGoldenStride)
    expectSameForEveryJobCount(readFile(paths[k].string()), 0, paths[k].filename().string());
}

TEST(ParallelJobs, RandomNetlistsPrintTheSameBytes) {
  using namespace velkor::crosscheck;
  Random random(2512);
  NetlistShape shape;
  shape.maxNodes = 6;
  shape.maxExtraOnePorts = 4;
  shape.maxTwoPorts = 3;
  int round = 0;
  for (ElementKind kind : kTwoPortKinds) {
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

// Every parameter: the pass's functions are shared out whole among the
// jobs; g11 alone: its two functions are far apart in size, and cut into
// subtrees.
TEST(ParallelJobs, LargeFunctionsSharedOutOrCutPrintTheSameBytes) {
  const struct {
    const char* request;
    std::uint64_t trees;  // at least, in all
  } runs[] = {{"", kLadderTrees}, {"p g11\n", kLadderTrees / 10}};
  for (const auto& [request, trees] : runs) {
    std::string input = stageLadder(kLadderStages);
    input.insert(input.rfind("end\n"), request);
    RunStatistics statistics;
    RunOptions options;
    options.splitAbove = kLadderSplitAbove;
    options.statistics = &statistics;
    const std::string one = maskOutput(runOnString(input, options));
    EXPECT_GT(statistics.acceptedTrees, trees) << "too small to be cut";
    for (int jobs : {2, 3}) {
      options.jobs = jobs;
      RunStatistics parallel;
      options.statistics = &parallel;
      ASSERT_EQ(maskOutput(runOnString(input, options)), one) << jobs << " jobs, request '" << request << "'";
      EXPECT_EQ(parallel.acceptedTrees, statistics.acceptedTrees);
      EXPECT_EQ(parallel.terms, statistics.terms);
      EXPECT_EQ(parallel.functions, statistics.functions);
    }
  }
}

// Approximation during generation: the searches (each shared, however
// small), the exact response on the error grid and the refinements of its
// peaks are worked out by the jobs side by side.
TEST(ParallelJobs, ApproximationsDuringGenerationPrintTheSameBytes) {
  std::string input = stageLadder(2);
  input.insert(input.rfind("end\n"), "p g21\np y11\np y22\n");
  ElementValues values;
  for (const char* name : {"r1a", "r1b", "r1c", "r2a", "r2b", "r2c"}) values.set(name, 10e3L, "test");
  for (const char* name : {"c1a", "c1b", "c2a", "c2b"}) values.set(name, 10e-9L, "test");
  for (const char* name : {"gm1", "gm2"}) values.set(name, 40e-3L, "test");
  GenerationPlan plan;
  plan.values = &values;
  plan.settings.eps = 0.05L;
  plan.sharedSearchNodes = 0;
  RunOptions options;
  options.generation = &plan;
  const std::string one = maskOutput(runOnString(input, options));
  ASSERT_NE(one.find("kept terms"), std::string::npos) << one;
  for (int jobs : {2, 4}) {
    options.jobs = jobs;
    EXPECT_EQ(maskOutput(runOnString(input, options)), one) << jobs << " jobs";
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

// A run on two jobs with every function cut whose allocator refuses the
// failAt-th request (and, with failAfter, every one after it).
struct RefusedRun {
  std::int64_t liveBlocks;
  std::string text;
};
RefusedRun runRefused(const std::string& input, std::uint64_t failAt, bool failAfter) {
  StringSource source(input);
  StringOutput output;
  FailingAllocator alloc;
  alloc.concurrent = true;
  alloc.failAt = failAt;
  alloc.failAfter = failAfter;
  RunOptions options;
  options.jobs = 2;
  options.splitAbove = 0;
  runProgram(source, output, alloc, options);
  return RefusedRun{alloc.liveBlocks(), output.text()};
}

// Requests refused from the k-th on, while jobs accumulate and merge: the
// function that meets the refusal is abandoned with the messages of one
// job, the rest of the run goes on, and every block comes back.
TEST(ParallelJobs, RefusedRequestsInAnyJobEndTheFunctionWithTheUsualMessages) {
  const std::string input = stageLadder(3);
  int abandoned = 0;
  for (std::uint64_t failAt = 2; failAt <= 40; failAt += 2) {
    const RefusedRun run = runRefused(input, failAt, true);
    EXPECT_EQ(run.liveBlocks, 0) << "refused from request " << failAt;
    const std::string& text = run.text;
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

// The same while formulas are finished side by side: four parameters of
// the first pass, the k-th request refused, and two scattering rows whose
// functions are evaluated meanwhile (and then, when that met a refusal,
// again). Every block comes back and the run ends, whatever the refusal
// cut short.
TEST(ParallelJobs, RefusedRequestsWhileFormulasAreFinishedApartLeaveNothingBehind) {
  std::string input = stageLadder(2);
  input.insert(input.rfind("end\n"), "p g21\np y11\np y22\np z11\np s11\np s21\n");
  const std::string one = maskOutput(runOnString(input, RunOptions{}));
  // Every function cut: formulas this small are otherwise finished on the
  // calling thread.
  RunOptions twoJobs;
  twoJobs.jobs = 2;
  twoJobs.splitAbove = 0;
  ASSERT_EQ(maskOutput(runOnString(input, twoJobs)), one);
  int failed = 0;
  for (std::uint64_t failAt = 1; failAt <= 200; failAt += 2) {
    const RefusedRun run = runRefused(input, failAt, false);
    EXPECT_EQ(run.liveBlocks, 0) << "refused request " << failAt;
    EXPECT_NE(run.text.find("{elapsed time:"), std::string::npos) << "refused request " << failAt;
    if (maskOutput(run.text) != one) ++failed;
  }
  EXPECT_GT(failed, 5);
}

// The pieces of a text made by three threads and the caller come out in
// order, whatever each costs; a stop from the caller's side or a throw in a
// piece ends the text at that piece, and tasks queued meanwhile still run.
TEST(ParallelJobs, PiecesMadeSideBySideAreWrittenInOrderAndStopWhereAsked) {
  std::vector<std::string> texts;
  JobPool pool(3, texts);
  auto piece = [](std::size_t k) { return std::string(k % 7 * 300 + 1, static_cast<char>('a' + k % 26)) + "\n"; };
  struct Case {
    std::size_t count;
    std::size_t stopAfter;  // the caller stops after writing this piece
    std::size_t throwAt;    // this piece throws
  };
  const std::size_t kNever = 1u << 30;
  for (const Case& c : {Case{500, kNever, kNever}, Case{500, 37, kNever}, Case{500, kNever, 211}, Case{1, kNever, kNever}}) {
    JobPool::Task task;
    std::atomic<int> ran{0};
    task.run = [&] { ran.fetch_add(1); };
    pool.post(task);
    StringOutput out;
    std::string expected;
    const std::size_t last = std::min({c.count - 1, c.stopAfter, c.throwAt == kNever ? kNever : c.throwAt - 1});
    for (std::size_t k = 0; k <= last && k < c.count; ++k) expected += piece(k);
    bool threw = false;
    try {
      pool.write(
          out, c.count,
          [&](std::size_t k, Output& text) {
            if (k == c.throwAt) throw std::runtime_error("piece");
            const std::string t = piece(k);
            // Uneven costs: later pieces are often ready first.
            if (k % 5 == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
            text.write(t.data(), t.size());
          },
          [&](std::size_t k) { return k != c.stopAfter; });
    } catch (const std::runtime_error&) {
      threw = true;
    }
    EXPECT_EQ(threw, c.throwAt < c.count) << c.count << " pieces";
    EXPECT_EQ(out.text(), expected) << c.count << " pieces, stop after " << c.stopAfter << ", throw at " << c.throwAt;
    if (!pool.runIfWaiting(task)) pool.wait(task, std::chrono::milliseconds(10), [] {});
    EXPECT_EQ(ran.load(), 1);
  }
}

}  // namespace
}  // namespace velkor::testing

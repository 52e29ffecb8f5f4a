// Differential target: several jobs must print the same bytes as one job
// (block addresses and the elapsed time masked), on both paths, with every
// function cut into subtrees however small. The step bound that keeps one
// job from stalling would cut the jobs' pieces at other places, so the
// jobs run without it, and only on inputs that one job finishes within
// the bound: those whose output stays the same with twice the bound.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"

namespace {

using namespace velkor::fuzz;

RunSummary runJobs(const std::string& input, int jobs, bool plainPath, std::uint64_t workLimit) {
  velkor::RunOptions options;
  options.jobs = jobs;
  options.plainPath = plainPath;
  options.workLimit = workLimit;
  options.splitAbove = 0;
  RunSummary run = runOnce(input, options);
  checkRun(run, jobs == 1 ? "one job" : "several jobs");
  return run;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const bool plainPath = (inputHash(input) & 1) != 0;
  const RunSummary one = runJobs(input, 1, plainPath, kWorkLimit);
  const RunSummary longer = runJobs(input, 1, plainPath, 2 * kWorkLimit);
  if (longer.digest != one.digest || longer.bytes != one.bytes) return 0;  // cut short by the bound
  const int jobs = 2 + static_cast<int>((inputHash(input) >> 1) % 3);
  const RunSummary several = runJobs(input, jobs, plainPath, 0);
  if (several.digest != one.digest || several.bytes != one.bytes) {
    const std::string name = std::to_string(jobs) + " jobs";
    fail(std::string(plainPath ? "plain path: " : "fast path: ") + outputDifference(one, "one job", several, name.c_str()));
  }
  return 0;
}

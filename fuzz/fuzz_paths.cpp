// Differential target: the plain enumeration and accumulation and the fast
// path must print the same bytes (block addresses and the elapsed time
// masked). The work bound cuts each path's enumeration after a number of
// its own steps, and the two paths count steps differently, so a difference
// counts only when it stays the same with twice the bound on both paths:
// then neither was cut short.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"

namespace {

using namespace velkor::fuzz;

RunSummary runPath(const std::string& input, bool plainPath, std::uint64_t workLimit) {
  velkor::RunOptions options;
  options.plainPath = plainPath;
  options.workLimit = workLimit;
  RunSummary run = runOnce(input, options);
  checkRun(run, plainPath ? "plain path" : "fast path");
  return run;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  RunSummary plain = runPath(input, true, kWorkLimit);
  RunSummary fast = runPath(input, false, kWorkLimit);
  if (plain.digest == fast.digest && plain.bytes == fast.bytes) return 0;

  RunSummary plainLonger = runPath(input, true, 2 * kWorkLimit);
  RunSummary fastLonger = runPath(input, false, 2 * kWorkLimit);
  if (plainLonger.digest != plain.digest || fastLonger.digest != fast.digest) return 0;  // cut short
  fail(outputDifference(plain, "plain", fast, "fast"));
}

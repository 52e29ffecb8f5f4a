// Runs whole inputs through velkor in-process: first as they are, then once
// more with one heap request refused (or every request from one on), the
// request chosen from the input itself so that a crash reproduces. Every
// run must end normally, print its banner and elapsed-time line and return
// every heap block.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velkor::fuzz;
  const std::string input(reinterpret_cast<const char*>(data), size);
  velkor::RunOptions options;
  options.workLimit = kWorkLimit;

  RunSummary plain = runOnce(input, options);
  checkRun(plain, "run");
  if (plain.refused != 0) fail("requests refused without a bound");
  if (plain.requests == 0) return 0;

  const std::uint64_t h = inputHash(input);
  const std::uint64_t failAt = 1 + h % plain.requests;
  const bool failAfter = ((h >> 32) & 1u) != 0;
  RunSummary refused = runOnce(input, options, failAt, failAfter);
  checkRun(refused, failAfter ? "run with every request refused from one on" : "run with one request refused");
  if (refused.refused == 0) fail("the refused request was never made");
  return 0;
}

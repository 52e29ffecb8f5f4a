// What the fuzz targets share: an output sink that keeps a digest instead of
// the whole text, and one in-process run of velkor with its checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/program_driver.h"
#include "support/output.h"

namespace velkor::fuzz {

// Enumeration steps per topological function: enough for every network of
// the seed corpus, small enough that no input stalls the fuzzer.
constexpr std::uint64_t kWorkLimit = 200000;

// Keeps a 64-bit digest of everything printed, its length and its first
// kKeptBytes. Block addresses ("0x" and eight hex digits) and the
// elapsed-time line are masked before they reach the digest, since they
// differ from run to run; both always arrive within one write.
class DigestOutput final : public Output {
 public:
  static constexpr std::size_t kKeptBytes = 1 << 16;

  void write(const char* data, std::size_t size) override;

  std::uint64_t digest() const { return digest_; }
  std::uint64_t bytes() const { return bytes_; }
  const std::string& head() const { return head_; }
  // The last write was the elapsed-time line that ends every run.
  bool endedWithElapsedTime() const { return endedWithElapsedTime_; }

 private:
  void take(const char* data, std::size_t size);

  std::uint64_t digest_ = 14695981039346656037ull;
  std::uint64_t bytes_ = 0;
  std::string head_;
  bool endedWithElapsedTime_ = false;
};

struct RunSummary {
  int status = 0;
  std::uint64_t digest = 0;
  std::uint64_t bytes = 0;
  std::string head;
  bool endedWithElapsedTime = false;
  std::uint64_t requests = 0;
  std::uint64_t refused = 0;
  std::int64_t liveBlocks = 0;
};

// Runs velkor over `input` with the heap refusing request `failAt` (0:
// none), and every later one as well when `failAfter` is set.
RunSummary runOnce(const std::string& input, const RunOptions& options, std::uint64_t failAt = 0,
                   bool failAfter = false);

// Checks what holds for every run: status 0 (or 1, after an error message
// or a netlist cut short), every heap block returned,
// the banner first and the elapsed-time line last. Aborts otherwise.
void checkRun(const RunSummary& run, const char* what);

// What tells two runs' outputs apart, named `aName` and `bName`: their
// sizes and, around the first byte where their kept heads differ, both.
std::string outputDifference(const RunSummary& a, const char* aName, const RunSummary& b, const char* bName);

// Prints the message and aborts, so that libFuzzer keeps the input.
[[noreturn]] void fail(const std::string& message);

// FNV-1a over the input, to derive choices from it deterministically.
std::uint64_t inputHash(const std::string& input);

}  // namespace velkor::fuzz

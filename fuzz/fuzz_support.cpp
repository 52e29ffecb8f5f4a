#include "fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/char_source.h"
#include "support/failing_allocator.h"

namespace velkor::fuzz {

namespace {

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

const char kElapsed[] = "{elapsed time: ";
const char kBanner[] = "{program file name velkor}\n";

}  // namespace

void DigestOutput::take(const char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    digest_ ^= static_cast<unsigned char>(data[i]);
    digest_ *= 1099511628211ull;
  }
  bytes_ += size;
  if (head_.size() < kKeptBytes) head_.append(data, std::min(size, kKeptBytes - head_.size()));
}

void DigestOutput::write(const char* data, std::size_t size) {
  endedWithElapsedTime_ = size >= sizeof kElapsed - 1 && std::memcmp(data, kElapsed, sizeof kElapsed - 1) == 0;
  if (endedWithElapsedTime_) {
    take("{elapsed time}\n", 15);
    return;
  }
  std::size_t from = 0;
  for (std::size_t i = 0; i + 10 <= size; ++i) {
    if (data[i] != '0' || data[i + 1] != 'x') continue;
    bool address = true;
    for (std::size_t k = i + 2; k < i + 10 && address; ++k) address = isHex(data[k]);
    if (!address) continue;
    take(data + from, i - from);
    take("0xADDRESS", 9);
    from = i + 10;
    i += 9;
  }
  take(data + from, size - from);
}

RunSummary runOnce(const std::string& input, const RunOptions& options, std::uint64_t failAt, bool failAfter) {
  StringSource source(input);
  DigestOutput output;
  FailingAllocator heap;
  heap.failAt = failAt;
  heap.failAfter = failAfter;
  heap.concurrent = failAt == 0;
  RunSummary run;
  run.status = runProgram(source, output, heap, options);
  run.digest = output.digest();
  run.bytes = output.bytes();
  run.head = output.head();
  run.endedWithElapsedTime = output.endedWithElapsedTime();
  run.requests = heap.requests();
  run.refused = heap.failures();
  run.liveBlocks = heap.liveBlocks();
  return run;
}

std::string outputDifference(const RunSummary& a, const char* aName, const RunSummary& b, const char* bName) {
  std::size_t at = 0;
  while (at < a.head.size() && at < b.head.size() && a.head[at] == b.head[at]) ++at;
  std::string report = std::string("outputs differ: ") + aName + " " + std::to_string(a.bytes) + " bytes, " + bName +
                       " " + std::to_string(b.bytes) + " bytes";
  if (at == a.head.size() && at == b.head.size()) return report + "; the kept heads are equal";
  const std::size_t from = at > 400 ? at - 400 : 0;
  return report + "; first difference at byte " + std::to_string(at) + "\n--- " + aName + " ---\n" +
         a.head.substr(from, 800) + "\n--- " + bName + " ---\n" + b.head.substr(from, 800) + "\n";
}

void checkRun(const RunSummary& run, const char* what) {
  if (run.status != 0 && run.status != 1) fail(std::string(what) + ": exit status " + std::to_string(run.status));
  if (run.liveBlocks != 0) fail(std::string(what) + ": " + std::to_string(run.liveBlocks) + " blocks never released");
  if (run.head.compare(0, sizeof kBanner - 1, kBanner) != 0) fail(std::string(what) + ": no banner first");
  if (!run.endedWithElapsedTime) fail(std::string(what) + ": the elapsed-time line is not last");
}

void fail(const std::string& message) {
  std::fprintf(stderr, "\nvelkor fuzz failure: %s\n", message.c_str());
  std::fflush(stderr);
  std::abort();
}

std::uint64_t inputHash(const std::string& input) {
  std::uint64_t h = 14695981039346656037ull;
  for (char c : input) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace velkor::fuzz

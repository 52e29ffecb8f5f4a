// The option parser: arguments made of arbitrary bytes (split at NUL bytes).
// Parsing never fails but with one line of bounded length and without
// control characters; what it accepts is within the documented ranges.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "fuzz_support.h"

namespace {

using namespace velkor;

constexpr std::size_t kLongestMessage = 1200;

void checkLine(const std::string& message) {
  if (message.size() > kLongestMessage) fuzz::fail("message too long: " + message.substr(0, 200));
  for (char c : message)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) fuzz::fail("control character in message: " + message);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> words{"velkor"};
  std::string word;
  for (std::size_t k = 0; k < size; ++k) {
    if (data[k] == 0) {
      words.push_back(word);
      word.clear();
    } else {
      word += static_cast<char>(data[k]);
    }
  }
  words.push_back(word);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  CommandLine options;
  std::string error;
  if (!parseCommandLine(static_cast<int>(words.size()), argv.data(), options, error)) {
    if (error.empty()) fuzz::fail("refused without a message");
    checkLine(error);
    return 0;
  }
  for (const std::string& warning : options.warnings) checkLine(warning);
  if (options.approximationEps != 0 && !(options.approximationEps >= 1e-12L && options.approximationEps < 1))
    fuzz::fail("--approx accepted out of range");
  for (long double hz : {options.fromHz, options.toHz})
    if (hz != 0 && !(hz >= 1e-12L && hz <= 1e15L)) fuzz::fail("a frequency accepted out of range");
  if (options.fromHz > 0 && options.toHz > 0 && !(options.fromHz < options.toHz)) fuzz::fail("--from not below --to");
  if (options.points != 0 && (options.points < 2 || options.points > 1000000)) fuzz::fail("--points out of range");
  if (options.maxSeconds != 0 && !(options.maxSeconds > 0 && std::isfinite(options.maxSeconds)))
    fuzz::fail("--max-seconds out of range");
  return 0;
}

// Byte-exact golden tests: every NAME.net under tests/golden is run and its
// whole output compared with NAME.out (elapsed time and addresses masked).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/run_helpers.h"

namespace {

namespace fs = std::filesystem;
using velkor::testing::maskOutput;
using velkor::testing::readFile;
using velkor::testing::runMasked;

std::vector<std::string> goldenNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(VELKOR_GOLDEN_DIR))
    if (entry.path().extension() == ".net") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

class Golden : public ::testing::TestWithParam<std::string> {};

TEST_P(Golden, OutputMatchesByteForByte) {
  std::string base = std::string(VELKOR_GOLDEN_DIR) + "/" + GetParam();
  std::string expected = maskOutput(readFile(base + ".out"));
  std::string actual = runMasked(readFile(base + ".net"));
  ASSERT_FALSE(expected.empty()) << "missing " << base << ".out";
  if (actual != expected) {
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
    std::size_t line = static_cast<std::size_t>(std::count(expected.begin(), expected.begin() + at, '\n')) + 1;
    std::size_t from = at > 200 ? at - 200 : 0;
    FAIL() << "first difference at byte " << at << " (line " << line << ")\n--- expected ---\n"
           << expected.substr(from, 400) << "\n--- actual ---\n" << actual.substr(from, 400);
  }
}

INSTANTIATE_TEST_SUITE_P(Netlists, Golden, ::testing::ValuesIn(goldenNames()),
                         [](const auto& info) { return info.param; });

}  // namespace

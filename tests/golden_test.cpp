// Byte-exact golden tests: every NAME.net under tests/golden is run and its
// whole output compared with NAME.out (elapsed time and addresses masked).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/program_driver.h"
#include "support/run_helpers.h"

namespace {

namespace fs = std::filesystem;
using velkor::testing::maskOutput;
using velkor::testing::readFile;
using velkor::RunOptions;
using velkor::runOnString;

std::vector<std::string> goldenNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(VELKOR_GOLDEN_DIR))
    if (entry.path().extension() == ".net") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

class Golden : public ::testing::TestWithParam<std::string> {};

void expectGolden(const std::string& name, bool plainPath) {
  std::string base = std::string(VELKOR_GOLDEN_DIR) + "/" + name;
  std::string expected = maskOutput(readFile(base + ".out"));
  RunOptions options;
  options.plainPath = plainPath;
  std::string actual = maskOutput(runOnString(readFile(base + ".net"), options));
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

TEST_P(Golden, OutputMatchesByteForByte) { expectGolden(GetParam(), false); }

// The step-by-step enumeration and accumulation print the same bytes.
TEST_P(Golden, PlainPathOutputMatchesByteForByte) { expectGolden(GetParam(), true); }

INSTANTIATE_TEST_SUITE_P(Netlists, Golden, ::testing::ValuesIn(goldenNames()),
                         [](const auto& info) { return info.param; });

}  // namespace

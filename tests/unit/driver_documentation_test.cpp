// The documentation agrees with the program: the LICENSE states the terms
// the built-in manual prints, and every option of --help is in the manual
// page (its synopsis included) and the README. (tools/check-doc-commands
// runs every command the two show.)
#include <gtest/gtest.h>

#include <cctype>
#include <regex>
#include <sstream>
#include <string>

#include "driver/program_driver.h"
#include "support/run_helpers.h"
#include "support/scratch_dir.h"

namespace velkor::testing {
namespace {

// Lower case, every run of blanks and line ends one space.
std::string normalized(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return out;
}

TEST(Documentation, LicenseStatesTheTermsOfTheBuiltInManual) {
  const std::string manual = runOnString("h\n");
  const std::size_t from = manual.find("copyright (c)");
  const std::string last = "arising from its use.";
  const std::size_t to = manual.find(last, from);
  ASSERT_NE(from, std::string::npos);
  ASSERT_NE(to, std::string::npos);
  const std::string terms = normalized(manual.substr(from, to + last.size() - from));
  EXPECT_NE(normalized(readFile(VELKOR_SOURCE_DIR "/LICENSE")).find(terms), std::string::npos) << terms;
}

TEST(Documentation, EveryOptionIsInTheManualPageItsSynopsisAndTheReadme) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  const std::string help = runShell(scratch, "\"$VELKOR\" --help").out;
  const std::string manPage = readFile(VELKOR_SOURCE_DIR "/doc/velkor.1");
  const std::string readme = readFile(VELKOR_SOURCE_DIR "/README.md");
  const std::size_t synopsisAt = manPage.find(".Sh SYNOPSIS");
  const std::size_t synopsisEnd = manPage.find(".Sh ", synopsisAt + 1);
  ASSERT_NE(synopsisEnd, std::string::npos);
  const std::string synopsis = manPage.substr(synopsisAt, synopsisEnd - synopsisAt);
  // The short options without an argument are grouped: `.Op Fl hqV`.
  std::smatch groupedMatch;
  const std::string grouped =
      std::regex_search(synopsis, groupedMatch, std::regex(R"(\.Op Fl ([A-Za-z]+)\n)")) ? groupedMatch[1].str() : "";
  const std::regex option(R"(^  (?:-(\w), )?\s*--([a-z-]+))");
  int options = 0;
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) {
    std::smatch found;
    if (!std::regex_search(line, found, option)) continue;
    ++options;
    const std::string name = found[2];
    std::string manName;  // hyphens are written \- in the page
    for (char c : name) manName += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(manPage.find("Fl \\-" + manName), std::string::npos) << "--" << name << " in velkor.1";
    EXPECT_NE(readme.find("--" + name), std::string::npos) << "--" << name << " in README.md";
    if (found[1].matched) {
      const std::string letter = found[1];
      EXPECT_NE(manPage.find("Fl " + letter), std::string::npos) << name;
      EXPECT_TRUE(synopsis.find("Fl " + letter + " ") != std::string::npos ||
                  grouped.find(letter) != std::string::npos)
          << "-" << letter << " in the synopsis";
    } else {
      EXPECT_NE(synopsis.find("Fl \\-" + manName), std::string::npos) << "--" << name << " in the synopsis";
    }
  }
  EXPECT_GE(options, 4) << help;
}

}  // namespace
}  // namespace velkor::testing

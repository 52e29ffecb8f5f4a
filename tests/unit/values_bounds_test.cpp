// What the values reader and the option parser accept and refuse at their
// edges, through the real executable: bounded lines and files, values and
// options that would leave the range of the computation, echoed text made
// safe for a terminal, scale letters likely meant otherwise, and formulas
// left out of the plots for want of values.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/element_values.h"
#include "support/run_helpers.h"
#include "support/scratch_dir.h"
#include "support/shown_text.h"

#include "support/address_sanitizer.h"

// The address sanitizer reserves terabytes of address space at start, so
// its build cannot run under `ulimit -v`; it checks the same refusals
// without the bound.
#ifdef VELKOR_ASAN
constexpr const char* kBoundedAddressSpace = "";
#else
constexpr const char* kBoundedAddressSpace = "ulimit -v 400000; ";
#endif

namespace velkor::testing {
namespace {

TEST(ShownText, EscapesControlsAndCutsLongText) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"plain 4k7", "plain 4k7"},
      {"\x1b[31mred\x1b[0m", "\\x1b[31mred\\x1b[0m"},
      {"tab\there\r\n", "tab\\there\\r\\n"},
      {"c\xb5", "c\\xb5"},                       // Latin-1, not UTF-8
      {"c\xc2\xb5 \xe2\x84\xa6", "c\xc2\xb5 \xe2\x84\xa6"},  // UTF-8 kept
      {"\xc2\x9b" "2J", "\\u009b2J"},            // a C1 control
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},       // a surrogate
      {std::string(100, 'x'), std::string(80, 'x') + "..."},
      {std::string(79, 'x') + "\xe2\x84\xa6\xe2\x84\xa6", std::string(79, 'x') + "\xe2\x84\xa6..."},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(shownText(text), shown) << text;
}

TEST(ScaleLetter, EngineeringUnitsAfterMAreWarnedAbout) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"5MHz", "'5MHz' is read as 5e-3 Hz: the scale letter M is milli in either case; for mega write 5MegHz"},
      {"1MOhm", "'1MOhm' is read as 1e-3 Ohm: the scale letter M is milli in either case; for mega write 1MegOhm"},
      {"2.2e1MF", "'2.2e1MF' is read as 2.2e1e-3 F: the scale letter M is milli in either case; for mega write "
                  "2.2e1MegF"},
      {"10MEG", ""}, {"10Meg", ""}, {"10M", ""}, {"10mH", ""}, {"1mOhm", ""}, {"1Mil", ""}, {"4M7", ""},
      {"5xHz", ""},
  };
  for (const auto& [text, warning] : cases) EXPECT_EQ(scaleLetterWarning(text), warning) << text;
}

// Whole runs: each refusal names the place, exit status 2, nothing written.
TEST(ValuesBounds, ReaderAndOptionsRefuseWhatTheyCannotHold) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  scratch.write("sk.net", readFile(std::string(VELKOR_EXAMPLES_DIR) + "/sallen_key_lowpass.net"));
  scratch.write("long.val", "r1 1k\nr2 " + std::string(5000, '1') + "\n");
  scratch.write("tiny.val", "r1 1k\nc1 1e-300\n");
  scratch.write("escape.val", "r1 \x1b]0;owned\x07\x1b[2J\n");
  scratch.write("junk.val", "r1 " + std::string(300, 'x') + "1\n");
  struct Case {
    std::string options;
    std::string err;
  };
  const Case cases[] = {
      {"--values=long.val", "velkor: long.val:2: line too long (more than 4096 bytes)\n"},
      // No line end at all: refused after the line's bound, not read whole.
      {"--values=/dev/zero", "velkor: /dev/zero:1: line too long (more than 4096 bytes)\n"},
      {"--values=big.val", "velkor: big.val: values file too large (more than 16 MiB)\n"},
      {"--values=tiny.val",
       "velkor: tiny.val:2: value '1e-300' for c1 out of range: a value is 0 or of a magnitude from 1e-24 to 1e24\n"},
      {"--set=r1=2e30", "velkor: --set=r1=2e30: value '2e30' for r1 out of range: a value is 0 or of a magnitude from "
                        "1e-24 to 1e24\n"},
      {"--values=escape.val", "velkor: escape.val:1: bad value '\\x1b]0;owned\\x07\\x1b[2J' for r1\n"},
      {"--values=junk.val", "velkor: junk.val:1: bad value '" + std::string(80, 'x') + "...' for r1\n"},
      {"--set=r1=5MHz --strict",
       "velkor: --set=r1=5MHz: '5MHz' is read as 5e-3 Hz: the scale letter M is milli in either case; for mega "
       "write 5MegHz\n"},
      {"--approx=1e-400 --set=r1=1",
       "velkor: invalid argument '1e-400' for '--approx'; EPS is a number from 1e-12 to below 1, such as 0.05\n"
       "Try 'velkor --help'.\n"},
      {"--from=1e308", "velkor: invalid argument '1e308' for '--from'; a frequency from 1e-12 Hz to 1e15 Hz\n"
                       "Try 'velkor --help'.\n"},
      {"--to=1e-300", "velkor: invalid argument '1e-300' for '--to'; a frequency from 1e-12 Hz to 1e15 Hz\n"
                      "Try 'velkor --help'.\n"},
      {"--format=$(printf 'j\\033[1m')",
       "velkor: invalid argument 'j\\x1b[1m' for '--format'; valid arguments are 'text', 'json', 'latex' and "
       "'latex-body'\nTry 'velkor --help'.\n"},
  };
  for (const Case& c : cases) {
    // A bounded address space: a reader that held what it read would fail.
    ShellRun run = runShell(scratch, std::string(kBoundedAddressSpace) + "[ -f big.val ] || awk 'BEGIN { while (n++ < 3000000) print \"r1 1k\" }' >big.val; "
                                     "\"$VELKOR\" -o out.txt --bode=b " + c.options + " sk.net");
    EXPECT_EQ(run.status, 2) << c.options;
    EXPECT_EQ(run.err, c.err) << c.options;
    EXPECT_EQ(run.out, "") << c.options;
    EXPECT_EQ(runShell(scratch, "ls out.txt b.svg b.csv 2>/dev/null | wc -l").out, "0\n") << c.options;
  }
}

// Accepted forms: 4k7 everywhere, a byte-order mark, mil; scale letters
// likely meant as mega are warnings (errors under --strict, above).
TEST(ValuesBounds, AcceptedFormsAndWarnings) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  scratch.write("sk.net", readFile(std::string(VELKOR_EXAMPLES_DIR) + "/sallen_key_lowpass.net"));
  // The example's values (10k, 10k, 22.508n, 11.254n, u 1) in other forms.
  scratch.write("sk.val", "\xef\xbb\xbfr1 10k0\nr2=10K\nc1 22n508\nc2 11.254nF\nu 1\n");
  ShellRun plain = runShell(scratch, "\"$VELKOR\" --set=r1=10k --set=r2=10k --set=c1=22.508n --set=c2=11.254n "
                                     "--set=u=1 --eval sk.net");
  ShellRun run = runShell(scratch, "\"$VELKOR\" --values=sk.val --eval sk.net");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(maskOutput(run.out), maskOutput(plain.out));
  EXPECT_NE(run.out.find("-4442.86 - 4442.86j"), std::string::npos);

  run = runShell(scratch, "\"$VELKOR\" --values=sk.val --set=c2=11n25 --from=4k7 --to=1Meg --pz=p.svg sk.net");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  run = runShell(scratch, "\"$VELKOR\" --values=sk.val --to=5MHz --set=u=1MV --bode=b sk.net");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "velkor: warning: --to: '5MHz' is read as 5e-3 Hz: the scale letter M is milli in either case; for mega "
            "write 5MegHz\n"
            "velkor: warning: --set=u=1MV: '1MV' is read as 1e-3 V: the scale letter M is milli in either case; for "
            "mega write 1MegV\n");

  // Points that would pass the memory bound are cut to what fits, with a
  // warning; with no room even for the fewest, nothing is written. (The
  // address sanitizer's own memory leaves the formulas no room under a
  // bound this tight: the cut is checked in the plain builds.)
#ifndef VELKOR_ASAN
  run = runShell(scratch, "\"$VELKOR\" --values=sk.val --points=1000000 --max-memory=40M --bode=b --report=r.html "
                          "sk.net >/dev/null && wc -l <b.csv");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err.rfind("velkor: warning: 1000000 points for 1 curve would pass the memory bound: the plots and "
                          "report use ", 0), 0u) << run.err;
  const long rows = std::atol(run.out.c_str());
  EXPECT_GT(rows, 50);
  EXPECT_LT(rows, 1000000);
#endif
  run = runShell(scratch, "rm b.svg b.csv r.html; \"$VELKOR\" --values=sk.val --max-memory=1M --bode=b sk.net "
                          ">/dev/null; echo $?; ls b.svg b.csv 2>/dev/null");
  EXPECT_EQ(run.out, "1\n");
  EXPECT_NE(run.err.find("velkor: the plots and report would pass the memory bound: not written\n"), std::string::npos)
      << run.err;

  // A formula without all its values is left out of the plots, with a
  // warning naming what is missing (an error under --strict).
  const std::string missing =
      "velkor: warning: g21 has no value for r2 c1 u: it is left out of the Bode plot, the pole-zero map\n";
  for (const char* strict : {"", " --strict"}) {
    run = runShell(scratch, std::string("\"$VELKOR\" --set=r1=1k --set=c2=1n --bode=b --pz=p.svg") + strict +
                                " sk.net");
    EXPECT_EQ(run.status, *strict ? 1 : 0);
    // Under --strict the warning is an error, after which no file is replaced.
    EXPECT_EQ(run.err, *strict ? missing + "velkor: no output file written, because of the errors above\n" : missing);
  }
}

}  // namespace
}  // namespace velkor::testing

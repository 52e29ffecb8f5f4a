// Element values through the real executable: --eval blocks and JSON,
// plots and report files, warnings, and every bad value, file and option
// (one line, exit status 2, nothing written).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/run_helpers.h"
#include "support/scratch_dir.h"

namespace velkor::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> filesIn(const Scratch& scratch) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(scratch.dir())) {
    std::string name = entry.path().filename();
    if (name[0] != '.' && name != "script.sh") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The Sallen-Key example with its parts.
void writeSallenKey(const Scratch& scratch) {
  scratch.write("sk.net", readFile(std::string(VELKOR_EXAMPLES_DIR) + "/sallen_key_lowpass.net"));
  scratch.write("sk.val", readFile(std::string(VELKOR_EXAMPLES_DIR) + "/sallen_key_lowpass.values"));
}

TEST(ValuesProgram, BadValuesFilesAndOptionsStopBeforeAnythingIsWritten) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  writeSallenKey(scratch);
  scratch.write("bad.val", "r1 10k\n* comment\nc1 1x2\n");
  const std::string outputs = " -o out.txt --bode=b --pz=p.svg --report=r.html sk.net";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"--values=bad.val", "velkor: bad.val:3: bad value '1x2' for c1\n"},
      {"--values=sk.val --values=missing.val", "velkor: missing.val: cannot open values file\n"},
      {"--set=r1", "velkor: --set=r1: expected NAME=VALUE\n"},
      {"--set=r1=fast", "velkor: --set=r1=fast: bad value 'fast' for r1\n"},
      {"--from=0", "velkor: invalid argument '0' for '--from'; a frequency from 1e-12 Hz to 1e15 Hz\nTry 'velkor --help'.\n"},
      {"--to=-1k", "velkor: invalid argument '-1k' for '--to'; a frequency from 1e-12 Hz to 1e15 Hz\nTry 'velkor --help'.\n"},
      {"--from=1k --to=10", "velkor: '--from' must be below '--to'\nTry 'velkor --help'.\n"},
      {"--points=1",
       "velkor: invalid argument '1' for '--points'; a whole number from 2 to 1000000\nTry 'velkor --help'.\n"},
      {"--points=12x",
       "velkor: invalid argument '12x' for '--points'; a whole number from 2 to 1000000\nTry 'velkor --help'.\n"},
      {"--bode=", "velkor: option '--bode' needs a file name\nTry 'velkor --help'.\n"},
      {"--eval", "velkor: option '--eval' does not take an argument\nTry 'velkor --help'.\n"},
  };
  for (const auto& [options, message] : cases) {
    std::string script = "\"$VELKOR\" " + options + outputs;
    if (options == "--eval") script = "\"$VELKOR\" --eval=yes" + outputs;
    ShellRun run = runShell(scratch, script);
    EXPECT_EQ(run.status, 2) << options;
    EXPECT_EQ(run.out, "") << options;
    EXPECT_EQ(run.err, message) << options;
    EXPECT_EQ(filesIn(scratch), (std::vector<std::string>{"bad.val", "sk.net", "sk.val"})) << options;
  }
  // A file of plots or report that cannot be created.
  ShellRun run = runShell(scratch, "\"$VELKOR\" -o out.txt --values=sk.val --pz=no/such/p.svg sk.net");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "velkor: cannot create 'no/such/p.svg': No such file or directory\n");
  EXPECT_EQ(filesIn(scratch), (std::vector<std::string>{"bad.val", "sk.net", "sk.val"}));
}

TEST(ValuesProgram, EvalBlocksWarningsAndUnchangedDefaultOutput) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  writeSallenKey(scratch);
  scratch.write("extra.val", "# more\nr9 1k\n");
  const std::string plain = runShell(scratch, "\"$VELKOR\" sk.net").out;

  // Values alone change nothing on standard output; a name that no
  // netlist has is a warning.
  ShellRun run = runShell(scratch, "\"$VELKOR\" --values=sk.val --values=extra.val sk.net");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(maskOutput(run.out), maskOutput(plain));
  EXPECT_EQ(run.err, "velkor: warning: extra.val:2: 'r9' is no element of any netlist analysed\n");
  // --quiet leaves it out; --strict makes it an error.
  run = runShell(scratch, "\"$VELKOR\" -q --values=sk.val --values=extra.val sk.net");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  run = runShell(scratch, "\"$VELKOR\" --strict --values=sk.val --values=extra.val sk.net");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(maskOutput(run.out), maskOutput(plain));

  // --eval: the formula exactly as before, then its numbers. Butterworth at
  // 1 kHz: poles -2 pi 1000 (1 +- j)/sqrt(2), Q 1/sqrt(2), DC gain 1.
  run = runShell(scratch, "\"$VELKOR\" --values=sk.val --eval sk.net");
  EXPECT_EQ(run.status, 0);
  std::size_t block = run.out.find(" Numeric:\n");
  ASSERT_NE(block, std::string::npos);
  std::size_t end = run.out.find("\ninput data:", block);
  EXPECT_EQ(maskOutput(run.out.substr(0, block) + run.out.substr(end)), maskOutput(plain));
  std::string numbers = run.out.substr(block, end - block);
  for (const char* line : {" dc:           1\n", " zeros:        none\n", "-4442.86 - 4442.86j", "-707.104 + 707.104j",
                           "999.996       0.707107\n"})
    EXPECT_NE(numbers.find(line), std::string::npos) << line << " in\n" << numbers;

  // A later setting wins; names without values are listed.
  run = runShell(scratch, "\"$VELKOR\" --values=sk.val --set=u=2 --set=u=1 --eval sk.net");
  EXPECT_NE(run.out.find("0.707107\n"), std::string::npos);
  run = runShell(scratch, "\"$VELKOR\" --set=r1=1k --set=c2=1n --eval sk.net");
  EXPECT_NE(run.out.find(" Numeric: no value for r2 c1 u\n"), std::string::npos) << run.out;

  // JSON: the "numeric" member of the parameter.
  run = runShell(scratch, "\"$VELKOR\" --format=json --values=sk.val --eval sk.net");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("\"numeric\": {\"numerator\":[-1.0],\"denominator\":[-1.0,-0.00022508,-2.53305032e-08],"
                         "\"zeros\":[],\"poles\":[[-4442.86475919673,-4442.86475919673],"
                         "[-4442.86475919673,4442.86475919673]],\"dc\":1.0,\"missing\":[]}"),
            std::string::npos)
      << run.out;
}

TEST(ValuesProgram, BodeCsvAndSvgPoleZeroMapAndReport) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  writeSallenKey(scratch);
  ShellRun run = runShell(scratch,
                          "\"$VELKOR\" --values=sk.val --bode=plot.svg --from=10 --to=100k --points=5 --pz=pz.svg "
                          "--report=r.html -o out.txt sk.net");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(filesIn(scratch),
            (std::vector<std::string>{"out.txt", "plot.csv", "plot.svg", "pz.svg", "r.html", "sk.net", "sk.val"}));
  // One decade a point; a second-order low-pass falls 40 dB a decade above
  // 1 kHz: -80 dB at 100 kHz (to 1e-4 dB), phase -180 + 0.81 degrees.
  std::string csv = readFile(scratch.path("plot.csv"));
  EXPECT_EQ(csv.substr(0, csv.find('\n')), "frequency_Hz,g21_magnitude_dB,g21_phase_deg");
  // The five points, the poles' frequencies and points where the curve bends.
  EXPECT_GT(std::count(csv.begin(), csv.end(), '\n'), 6);
  EXPECT_NE(csv.find("\n10,"), std::string::npos);
  std::string last = csv.substr(csv.rfind("\n100000,") + 8);
  EXPECT_NEAR(std::stod(last), -80, 1e-3);
  EXPECT_NEAR(std::stod(last.substr(last.find(',') + 1)), -180 + 0.810, 2e-3);
  EXPECT_NE(readFile(scratch.path("plot.svg")).find(">g21</text>"), std::string::npos);
  EXPECT_NE(readFile(scratch.path("pz.svg")).find("<path d=\"M"), std::string::npos);
  std::string html = readFile(scratch.path("r.html"));
  for (const char* part : {"<div class=\"fx\">", "{unity-gain Sallen-Key", "<h2>Bode plot</h2>", "<td>u</td>"})
    EXPECT_NE(html.find(part), std::string::npos) << part;
}

}  // namespace
}  // namespace velkor::testing

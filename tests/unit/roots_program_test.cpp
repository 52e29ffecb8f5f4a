// Poles through the real executable: a ladder whose values spread over many
// decades, and identical stages with a lossless resonator, in the --eval
// text, the JSON and the report.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/run_helpers.h"
#include "support/scratch_dir.h"

namespace velkor::testing {
namespace {

// The lines of the block that follows " poles:" (its heading included).
std::vector<std::string> poleLines(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out.substr(out.find(" poles:")));
  for (std::string line; std::getline(in, line) && !line.empty();) lines.push_back(line);
  return lines;
}

TEST(RootsProgram, TenSectionLadderOverTwelveDecades) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  std::string net = "{ten-section RC ladder}\n";
  for (int k = 1; k <= 10; ++k)
    net += "r" + std::to_string(k) + " " + std::to_string(k) + " " + std::to_string(k + 1) + "\nc" +
           std::to_string(k) + " " + std::to_string(k + 1) + " 0\n";
  scratch.write("ladder.net", net + "f 1 0 11 0\np g21\nend\n");
  scratch.write("ladder.val",
                "r1 1.1e+06\nc1 1.6e-13\nr2 4.1\nc2 9.5e-13\nr3 1e+03\nc3 3.8e-06\nr4 7.9\nc4 3.8e-13\n"
                "r5 5.8\nc5 2.2e-07\nr6 2.3e+05\nc6 3.7e-07\nr7 3.6e+06\nc7 4e-06\nr8 23\nc8 5.5e-12\n"
                "r9 1\nc9 9.1e-07\nr10 2.9e+05\nc10 9.5e-06\n");
  ShellRun run = runShell(scratch, "\"$VELKOR\" --values=ladder.val --eval ladder.net");
  ASSERT_EQ(run.status, 0) << run.err;
  // The poles at 60 digits, rounded to the six printed: each once, the
  // dominant one included, none left out or doubled.
  const std::vector<std::string> expected = {"-0.013505",   "-0.270039",    "-1.10374",     "-13.5429",
                                             "-56207.1",    "-351012",      "-9.01644e+08", "-1.89724e+11",
                                             "-7.86832e+11", "-1.78129e+12"};
  std::vector<std::string> lines = poleLines(run.out);
  ASSERT_EQ(lines.size(), expected.size() + 1) << run.out;
  for (std::size_t k = 0; k < expected.size(); ++k) {
    std::istringstream words(lines[k + 1]);
    std::string value;
    words >> value;
    EXPECT_EQ(value, expected[k]) << run.out;
  }
}

TEST(RootsProgram, IdenticalStagesAsOneTripleRootAndAResonatorOfInfiniteQ) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  scratch.write("stages.net",
                "{three identical buffered RC sections and an LC resonator}\n"
                "r1 1 2\nc1 2 0\nu1 3 0 2 0\nr2 3 4\nc2 4 0\nu2 5 0 4 0\nr3 5 6\nc3 6 0\nu3 7 0 6 0\n"
                "l1 7 8\nc4 8 0\nf 1 0 8 0\np g21\nend\n");
  scratch.write("stages.val", "r1 1k\nr2 1k\nr3 1k\nc1 100n\nc2 100n\nc3 100n\nu1 1\nu2 1\nu3 1\nl1 1m\nc4 1u\n");
  ShellRun run = runShell(scratch, "\"$VELKOR\" --values=stages.val --eval --report=r.html stages.net");
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> lines = poleLines(run.out);
  ASSERT_EQ(lines.size(), 4u) << run.out;
  EXPECT_NE(lines[0].find("Q             multiplicity"), std::string::npos) << run.out;
  EXPECT_EQ(lines[1].substr(15, 6), "-10000");
  EXPECT_EQ(lines[1].substr(lines[1].size() - 7), " triple");
  for (int k : {2, 3}) {
    EXPECT_NE(lines[static_cast<std::size_t>(k)].find("31622.8j"), std::string::npos) << run.out;
    EXPECT_EQ(lines[static_cast<std::size_t>(k)].substr(lines[static_cast<std::size_t>(k)].size() - 4), " inf");
  }
  EXPECT_NE(readFile(scratch.path("r.html")).find("<td>triple</td>"), std::string::npos);

  run = runShell(scratch, "\"$VELKOR\" --format=json --values=stages.val --eval stages.net");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\"poles\":[[-10000.0,0.0],[-10000.0,0.0],[-10000.0,0.0],[0.0,-31622.776601683792],"
                         "[0.0,31622.776601683792]],\"dc\":1.0,\"missing\":[],"
                         "\"multiplicity\":{\"zeros\":[],\"poles\":[3,3,3,1,1]}}"),
            std::string::npos)
      << run.out;
}

}  // namespace
}  // namespace velkor::testing

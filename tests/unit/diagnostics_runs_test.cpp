// The velkor executable run whole: messages on standard error with their
// places, warnings, exit statuses, a run stopped by SIGTERM, and the bounds.
// Standard output is compared with the in-process run of the same input,
// which writes no diagnostics: it must not change by a byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/program_driver.h"
#include "support/run_helpers.h"

namespace velkor::testing {
namespace {

struct BinaryRun {
  int status = -1;  // exit status, or -1 when ended by a signal
  int signal = 0;
  std::string out;
  std::string err;
};

// Runs velkor with `args` on `input`. When `stopAfter` is not empty, sends
// SIGTERM as soon as standard output contains it.
BinaryRun runBinary(const std::vector<std::string>& args, const std::string& input, const std::string& stopAfter = "") {
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    std::vector<char*> argv{const_cast<char*>(VELKOR_BINARY)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(VELKOR_BINARY, argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  // The input is small enough for the pipe's buffer.
  if (write(in[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) ADD_FAILURE() << "input";
  close(in[1]);
  BinaryRun run;
  bool stopped = false;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  int open = 2;
  while (open > 0 && poll(fds, 2, 60000) > 0) {
    for (int k = 0; k < 2; ++k) {
      if (fds[k].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(fds[k].fd, buffer, sizeof buffer);
      if (n <= 0) {
        fds[k].fd = -1;
        --open;
        continue;
      }
      (k == 0 ? run.out : run.err).append(buffer, static_cast<std::size_t>(n));
    }
    if (!stopAfter.empty() && !stopped && run.out.find(stopAfter) != std::string::npos) {
      kill(child, SIGTERM);
      stopped = true;
    }
  }
  close(out[0]);
  close(err[0]);
  int raw = 0;
  waitpid(child, &raw, 0);
  if (WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) run.signal = WTERMSIG(raw);
  return run;
}

// The output without its elapsed-time line, whose time varies.
std::string masked(const std::string& out) { return maskOutput(out); }

struct Case {
  const char* what;
  std::vector<std::string> args;
  std::string input;
  std::string err;  // standard error, line for line
  int status;
};

const Case kCases[] = {
    {"clean netlist", {}, "r1 1 2\nc1 2 0\nf 1 0 2 0\np g21\nend\n", "", 0},
    {"node labels that are words", {}, "r1 in out\nc1 out 0\nf 1 0 2 0\np g21\nend\n",
     "<stdin>:1:4: warning: 'in' is not a node label: velkor reads numbers from their digits alone and took 1 from "
     "the words after it ('out c1'); write labels as numbers from 0 to 999, and check that the entry is complete\n"
     "<stdin>:2:4: warning: 'out' is not a node label: velkor reads numbers from their digits alone and took 0 from "
     "the words after it ('0'); write labels as numbers from 0 to 999, and check that the entry is complete\n"
     "<stdin>:3:7: warning: node 2 of port 2 is connected to no element: the f entry's labels are +port1 -port1 "
     "+port2 -port2; most formulas of this netlist will be 0/0\n"
     "<stdin>:5:1: warning: g21 is 0/0: node 2 of port 2 is connected to no element\n",
     0},
    {"signs and points, a missing port label", {}, "r1 1 -2\nc1 2.5 0\nf 1 0 2\np g21\np z11\nend\n",
     "<stdin>:1:6: warning: node label '-2' is not a plain number: velkor reads numbers from their digits alone and "
     "took 2; write labels as numbers from 0 to 999\n"
     "<stdin>:2:4: warning: node label '2.5' is not a plain number: velkor reads numbers from their digits alone and "
     "took 25; write labels as numbers from 0 to 999\n"
     "<stdin>:4:1: warning: 'p' is not a node label: velkor reads numbers from their digits alone and took 21 from "
     "the words after it ('g21'); write labels as numbers from 0 to 999, and check that the entry is complete\n"
     "<stdin>:4:1: warning: node 21 of port 2 is connected to no element: the f entry's labels are +port1 -port1 "
     "+port2 -port2; most formulas of this netlist will be 0/0\n"
     "<stdin>:6:1: warning: z11 is 0/0: node 21 of port 2 is connected to no element\n",
     0},
    {"spice habits", {}, "r1 1 2 10k\n",
     "<stdin>:1:8: warning: '10k' after the nodes of 'r1' looks like an element value: a netlist gives no values, each "
     "element is the symbol its name makes; remove the value\n"
     "<stdin>:1:8: error: unrecognized element prefix-- '10k': must be r,l,c,g,y,z,gm,gy,o,u,b,rm,m,n,f,e; h as "
     "input prints help\n",
     1},
    {"end and help words", {"--strict"}, "r1 1 0\nf 1 0 1 0\np z11\ne1 3 0 2 0\n",
     "<stdin>:4:1: error: 'e1' is the end entry: every word that begins with 'e' ends the netlist; a "
     "voltage-controlled voltage source is written 'u.. +out -out +in -in'\n"
     "<stdin>:4:4: error: unrecognized element prefix-- '3': must be r,l,c,g,y,z,gm,gy,o,u,b,rm,m,n,f,e; h as input "
     "prints help\n",
     1},
    {"a resistor named like a transresistance", {}, "rmain 1 2\nc1 2 0\nf 1 0 2 0\nend\n",
     "<stdin>:2:1: warning: node label 'c1' is not a plain number: velkor reads numbers from their digits alone and "
     "took 1; write labels as numbers from 0 to 999\n"
     "<stdin>:1:1: warning: 'rmain' begins with 'rm', so it is a current-controlled voltage source with four nodes "
     "(+out -out +in -in) and took its third and fourth from the next line; a resistor's name must not begin with "
     "'rm' (for example 'r_main')\n"
     "<stdin>:2:6: error: unrecognized element prefix-- '0': must be r,l,c,g,y,z,gm,gy,o,u,b,rm,m,n,f,e; h as input "
     "prints help\n",
     1},
    {"names cut to one symbol, names apart by case", {"--quiet"},
     "resistor_in_a 1 2\nresistor_in_b 2 0\nR1 1 0\nr1 1 0\nf 1 0 2 0\np g21\nend\n",
     "<stdin>:1:1: error: following branch name was truncated to 12 characters: 'resistor_in_a' is read as "
     "'resistor_in_'\n"
     "<stdin>:2:1: error: following branch name was truncated to 12 characters: 'resistor_in_b' is read as "
     "'resistor_in_'\n",
     1},
    {"cut short in a comment", {}, "r1 1 0 f 1 0 1 0 {note\nend\n",
     "<stdin>:1:18: error: input ends inside this comment, which a '}' should close: everything after it was read "
     "as comment, and this netlist is not analysed\n",
     1},
    {"no end", {}, "r1 1 0\nf 1 0 1 0\n",
     "<stdin>:1:1: error: input ends before this netlist's 'end': it is not analysed\n", 1},
    {"a part connected to neither port", {}, "r1 1 0\nc2 5 6\nf 1 0 1 0\np z11\nend\n",
     "<stdin>:2:1: warning: 'c2' is in a part of the network connected to neither port: no tree spans the network, "
     "so every formula is 0/0; connect that part or remove it\n"
     "<stdin>:5:1: warning: z11 is 0/0: 'c2' is in a part of the network connected to neither port\n",
     0},
    {"an ideal op-amp across a shorted port", {}, "opamp 2 0 0 3\nrin 1 3\nrf 2 3\nf 1 0 2 0\np h11\nend\n",
     "<stdin>:6:1: warning: h11 is 0/0: the output of the ideal op-amp 'opamp' lies across the port that h11 shorts, "
     "so the op-amp's output current is undetermined\n",
     0},
    {"label too large, memory bound", {"--max-memory=1K"}, "c1 2 1000\nf 2 0 2 0\np z11\nend\n",
     "<stdin>:1:6: error: node label 1000 must be less than 1000\n"
     "<stdin>:2:5: warning: node 0 of port 1 is connected to no element: the f entry's labels are +port1 -port1 "
     "+port2 -port2; most formulas of this netlist will be 0/0\n"
     "<stdin>:4:1: error: can't allocate space for function Wijij (the memory in use reached the bound of "
     "--max-memory)\n"
     "<stdin>:4:1: error: can't allocate space for function V (the memory in use reached the bound of "
     "--max-memory)\n",
     1},
    {"command line", {"--max-seconds=soon"}, "", "velkor: invalid argument 'soon' for '--max-seconds'; a number of "
     "seconds above 0 is expected\nTry 'velkor --help'.\n", 2},
    // An inductance across a winding (written either way round) where a
    // coupled pair was meant; the pair written in series is left alone.
    {"a coil across a winding of a mutual inductance", {},
     "{a transformer, twice}\nl1 1 3 m 4 0 3 0 l2 2 4\nf 1 0 2 0 p z21 end\n"
     "l1 1 0\nla 0 2\nm 2 0 1 0\nf 1 0 2 0\np z21\nend\n",
     "<stdin>:4:1: warning: 'l1' is in parallel with the winding 1 0 of the mutual inductance 'm' (line 6), which is "
     "the coupling alone (z12 = z21 = s*m, no self-inductance): these are not two coupled coils; write each coil in "
     "series with its winding through a node of its own, for example 'l1 1 3' and 'm 2 0 3 0', and give m the value "
     "k*sqrt(L1*L2) for a coupling factor k\n"
     "<stdin>:5:1: warning: 'la' is in parallel with the winding 2 0 of the mutual inductance 'm' (line 6), which is "
     "the coupling alone (z12 = z21 = s*m, no self-inductance): these are not two coupled coils; write each coil in "
     "series with its winding through a node of its own, for example 'la 2 4' and 'm 4 0 1 0', and give m the value "
     "k*sqrt(L1*L2) for a coupling factor k\n",
     0},
};

TEST(DiagnosticRuns, EachCasePrintsItsMessagesWithTheirPlaces) {
  for (const Case& c : kCases) {
    const BinaryRun run = runBinary(c.args, c.input);
    EXPECT_EQ(run.err, c.err) << c.what;
    EXPECT_EQ(run.status, c.status) << c.what;
    if (c.args.empty() || c.args[0].rfind("--max", 0) != 0) {
      EXPECT_EQ(masked(run.out), masked(runOnString(c.input))) << c.what;
    }
  }
}

// Every golden netlist and every sample of the manual runs without a
// warning, apart from the parameters that are 0/0 (only the two that ask
// for every parameter of an ideal op-amp network have such).
// Under the memory bound every evaluation is refused, which standard
// output says where the results would have been.
TEST(DiagnosticRuns, MemoryBoundRefusesInPlaceOfTheResults) {
  const BinaryRun run = runBinary({"--max-memory=1K"}, kCases[11].input);
  EXPECT_NE(run.out.find("\ncan't allocate space for function Wijij\ncan't allocate space for function V\n"),
            std::string::npos)
      << run.out;
}

TEST(DiagnosticRuns, GoldenNetlistsHaveNoWarnings) {
  for (const auto& entry : std::filesystem::directory_iterator(VELKOR_GOLDEN_DIR)) {
    if (entry.path().extension() != ".net") continue;
    const BinaryRun run = runBinary({entry.path().string()}, "");
    std::size_t at = 0;
    for (std::size_t line = 0; (line = run.err.find("warning:", at)) != std::string::npos; at = line + 1) {
      const std::size_t end = run.err.find('\n', line);
      EXPECT_NE(run.err.substr(line, end - line).find(" is 0/0: "), std::string::npos)
          << entry.path() << ": " << run.err.substr(line, end - line);
    }
  }
}

// The sample netlists exactly as the manual prints them, run whole: no
// warning but the 0/0 parameters of the op-amp samples.
TEST(DiagnosticRuns, HelpSamplesHaveNoWarnings) {
  const BinaryRun manual = runBinary({}, "h\n");
  const std::string heading = "sample netlists-- copy and paste to a file to use as input to see output\n";
  const std::size_t from = manual.out.find(heading);
  ASSERT_NE(from, std::string::npos);
  const BinaryRun run = runBinary({}, manual.out.substr(from + heading.size()));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_GE(std::count(run.out.begin(), run.out.end(), '\n'), 1000) << "the samples were analysed";
  std::size_t at = 0;
  for (std::size_t line = 0; (line = run.err.find("warning:", at)) != std::string::npos; at = line + 1) {
    const std::size_t end = run.err.find('\n', line);
    EXPECT_NE(run.err.substr(line, end - line).find(" is 0/0: "), std::string::npos)
        << run.err.substr(line, end - line);
  }
}

const std::string kSallenKey = "r1 1 4\nr2 4 5\nc1 2 4\nc2 5 3\nU 2 3 5 3\nf 1 3 2 3\np g21\nend\n";

std::string completeGraph(int nodes) {
  std::string text;
  for (int a = 0; a < nodes; ++a)
    for (int b = a + 1; b < nodes; ++b) text += "r " + std::to_string(a) + " " + std::to_string(b) + "\n";
  return text + "f 1 0 2 0\np z11\nend\n";
}

// SIGTERM during the long second netlist: the first netlist's formula,
// flushed as it was finished, is all there; the run ends by the signal,
// without the elapsed-time line.
TEST(DiagnosticRuns, SigtermKeepsTheFinishedFormula) {
  const BinaryRun whole = runBinary({}, kSallenKey);
  const std::string first = whole.out.substr(0, whole.out.rfind(" End:\n") + 6);
  const auto started = std::chrono::steady_clock::now();
  const BinaryRun run = runBinary({}, kSallenKey + completeGraph(11), " End:\n");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  EXPECT_EQ(run.signal, SIGTERM);
  EXPECT_EQ(run.out.compare(0, first.size(), first), 0) << run.out;
  EXPECT_EQ(run.out.find("{elapsed time"), std::string::npos);
  EXPECT_EQ(run.err, "");
}

// The time bound abandons each function of the long netlist in turn, says
// so in place of the result and on standard error, and the run fails.
TEST(DiagnosticRuns, TimeBoundAbandonsEachFunction) {
  const BinaryRun run = runBinary({"--max-seconds=0.2"}, completeGraph(11));
  EXPECT_EQ(run.status, 1);
  for (const char* function : {"Wijij", "V"}) {
    const std::string message = std::string("time bound of 0.2 seconds reached: function ") + function + " abandoned";
    EXPECT_NE(run.out.find("\n" + message + "\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(":58:1: error: " + message + "\n"), std::string::npos) << run.err;
  }
  EXPECT_EQ(run.out.find(" Function:"), std::string::npos);
}

}  // namespace
}  // namespace velkor::testing

// The real program under real exhaustion: its address space limited with
// ulimit -v, and its standard output a device that refuses every write.
// These run the velkor executable in a shell; the address-space tests are
// skipped in the sanitizer build, whose shadow memory needs far more
// address space than any limit here.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "support/run_helpers.h"
#include "support/scratch_dir.h"

#if defined(__SANITIZE_ADDRESS__)
#define VELKOR_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELKOR_SANITIZED 1
#endif
#endif

namespace velkor::testing {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  bool exited = false;
  int status = -1;  // exit status, or the signal number when !exited
  std::string out;
  std::string err;
};

// Runs the velkor executable on `input` with standard output sent to
// `stdoutPath` (a file of the scratch directory when empty), under an
// address-space limit in KiB when `limitKiB` is not 0.
Outcome runVelkor(const Scratch& scratch, const std::string& input, long limitKiB,
                  const std::string& stdoutPath = "") {
  const std::string in = scratch.write("input.net", input);
  const std::string out = stdoutPath.empty() ? scratch.path("stdout.txt") : stdoutPath;
  const std::string err = scratch.path("stderr.txt");
  std::string command = "exec '" + std::string(VELKOR_BINARY) + "'";
  if (limitKiB > 0) command = "ulimit -v " + std::to_string(limitKiB) + "; " + command;
  command = "sh -c \"" + command + "\" <'" + in + "' >'" + out + "' 2>'" + err + "'";
  const int raw = std::system(command.c_str());
  Outcome outcome;
  // The shell reports a child killed by a signal as 128 + the signal.
  if (raw != -1 && WIFEXITED(raw) && WEXITSTATUS(raw) < 128) {
    outcome.exited = true;
    outcome.status = WEXITSTATUS(raw);
  } else if (raw != -1 && WIFEXITED(raw)) {
    outcome.status = WEXITSTATUS(raw) - 128;
  } else if (raw != -1 && WIFSIGNALED(raw)) {
    outcome.status = WTERMSIG(raw);
  }
  if (stdoutPath.empty()) outcome.out = readFile(out);
  outcome.err = readFile(err);
  return outcome;
}

std::string describe(const Outcome& o) {
  return (o.exited ? "exit status " : "killed by signal ") + std::to_string(o.status) + ", stderr: " + o.err;
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// Standard error without the warnings about parameters that are 0/0 (the
// first netlist below has some).
std::string errorsOf(const std::string& err) {
  static const std::regex warning(R"(<stdin>:[0-9]+:[0-9]+: warning: [a-zA-Z0-9]+ is 0/0: [^\n]*\n)");
  return std::regex_replace(err, warning, "");
}

// Standard error of a run that lacked memory: one error line, at the end
// entry of the netlist concerned, for each thing it had to give up.
bool onlyMemoryErrors(const std::string& err) {
  static const std::regex line(
      R"((<stdin>:[0-9]+:[0-9]+|velkor): error: (can't allocate space for|insufficient memory)[^\n]*\n)");
  return std::regex_replace(errorsOf(err), line, "").empty();
}

// What a run prints that has no memory even for its context (or nothing,
// when not even that could be written).
bool cannotStart(const std::string& out) {
  return out.empty() || out == "{program file name velkor}\ninsufficient memory to complete processing\n";
}

// `parallel` conductances on each pair of `nodes` nodes (labels 1 .. nodes-1
// and 0). With five nodes and four in parallel, V has 125 * 4^4 = 32000
// distinct terms at s^0, about 41 MB of term list and power index, while
// each of the other functions needs about 3.5 MB. With four nodes and seven
// in parallel, V has 16 * 7^3 = 5488 terms (about 7 MB).
std::string polygonNetlist(int nodes, int parallel, const std::string& requests) {
  std::string text;
  int name = 0;
  for (int a = 0; a < nodes; ++a)
    for (int b = a + 1; b < nodes; ++b)
      for (int k = 0; k < parallel; ++k)
        text += "g" + std::to_string(++name) + " " + std::to_string((a + 1) % nodes) + " " +
                std::to_string((b + 1) % nodes) + "\n";
  return text + "f 1 0 2 0\n" + requests + "end\n";
}

const std::string kAccumulationFailure = "insufficient memory for combining admittance terms\n";
const std::string kEvaluationSkipped =
    "insufficient memory to buffer common trees; remainder of function evaluation skipped\n";

// Replaces the two tree counters after an accumulation failure by a fixed
// text, after checking their form.
std::string maskCounters(std::string text) {
  for (std::size_t at = text.find(kAccumulationFailure); at != std::string::npos;
       at = text.find(kAccumulationFailure, at + 1)) {
    const std::size_t from = at + kAccumulationFailure.size();
    const std::size_t end = text.find(kEvaluationSkipped, from);
    if (end == std::string::npos) break;
    std::string counters = text.substr(from, end - from);
    bool wellFormed = counters.size() == 66 && startsWith(counters, "raw i-trees  evaluated:") &&
                      counters.compare(33, 23, "qualified common trees:") == 0;
    text.replace(from, end - from, wellFormed ? "<counters>\n" : "<malformed counters>\n");
  }
  return text;
}

#ifdef VELKOR_SANITIZED
#define SKIP_WHEN_SANITIZED() GTEST_SKIP() << "the sanitizers need more address space than the limits allow"
#else
#define SKIP_WHEN_SANITIZED() (void)0
#endif

// Splits an output into its formulas (heading to end line, or heading and
// the copy's failure message) and the rest.
struct Split {
  std::vector<std::string> formulas;
  std::string rest;
};

Split split(const std::string& text) {
  Split s;
  std::size_t from = 0;
  for (;;) {
    std::size_t at = text.find(" Function:\n", from);
    if (at == std::string::npos) break;
    s.rest += text.substr(from, at - from);
    std::size_t heading = text.find('\n', at + 11);
    std::size_t end = heading + 1;
    for (const char* failure : {"can't allocate space for termlist\n", "can't allocate space for poly\n"})
      if (text.compare(end, std::string(failure).size(), failure) == 0) end += std::string(failure).size();
    if (end == heading + 1) {
      std::size_t last = text.find("\n End:\n\n", heading);
      end = last == std::string::npos ? text.size() : last + 8;
    }
    s.formulas.push_back(text.substr(at, end - at));
    from = end;
  }
  s.rest += text.substr(from);
  return s;
}

// Lines the analysis prints when an evaluation runs out of memory.
std::string withoutEvaluationFailures(const std::string& text) {
  std::string kept;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t end = text.find('\n', from);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string line = text.substr(from, end - from);
    if (!startsWith(line, "can't allocate space for function ") && line != kAccumulationFailure &&
        line != kEvaluationSkipped && line != "<counters>\n")
      kept += line;
    from = end;
  }
  return kept;
}

// At every address-space limit from too small to load the program up to
// enough for everything, the program either cannot be loaded (the loader
// says so, nothing of velkor runs) or ends normally, never by a signal:
// status 0 with nothing on standard error, or 1 when it gave something up
// (each said on standard error) or could not even set up a run. Every formula it prints is the formula printed without a limit,
// or a copy's failure message, or the conversion's four lines; everything
// else is as without a limit, apart from the evaluations' memory messages.
// Somewhere on the way each kind of failure shows: evaluations that cannot
// get a record, V (about 7 MB against 2 MB for each other function) given
// up for lack of memory while the other parameter of its netlist prints,
// and copies that cannot be made.
TEST(RealMemoryExhaustion, EveryLimitEndsNormally) {
  SKIP_WHEN_SANITIZED();
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  // Every parameter of a small network (both passes), then z11 = Wijij / V
  // and y11 = Wklkl / Uijkl of a network with many trees.
  const std::string input =
      "r1 1 2\nc1 2 0\ngm1 3 0 2 0\nr2 3 4\nf 1 0 4 0\nend\n" + polygonNetlist(4, 7, "p z11 p y11\n");
  Outcome free = runVelkor(scratch, input, 0);
  ASSERT_TRUE(free.exited && free.status == 0 && errorsOf(free.err).empty()) << describe(free);
  const Split reference = split(maskOutput(free.out));
  ASSERT_EQ(reference.formulas.size(), 34u);
  const std::string& y11 = reference.formulas[32];
  ASSERT_TRUE(startsWith(y11, " Function:\n y( 1, 0; 1, 0)"));

  int loaded = 0;
  int recordRefused = 0;
  int largeFunctionAbandoned = 0;
  int copyRefused = 0;
  int complete = 0;
  for (long limit = 5 * 1024; limit <= 24 * 1024; limit += 640) {
    Outcome o = runVelkor(scratch, input, limit);
    const std::string where = "ulimit -v " + std::to_string(limit) + ": " + describe(o);
    ASSERT_TRUE(o.exited) << where;
    if (o.status == 127 && o.out.empty()) continue;  // the loader could not map the program
    ++loaded;
    ASSERT_TRUE(o.status == 0 || o.status == 1) << where << "\n" << o.out;
    ASSERT_TRUE(onlyMemoryErrors(o.err)) << where;
    ASSERT_EQ(o.status == 0, errorsOf(o.err).empty()) << where;
    if (cannotStart(o.out)) continue;
    const std::string text = maskCounters(maskOutput(o.out));
    ASSERT_EQ(text.find("<malformed counters>"), std::string::npos) << where;
    const Split limited = split(text);
    EXPECT_EQ(withoutEvaluationFailures(limited.rest), reference.rest) << where;
    std::size_t next = 0;
    for (const std::string& formula : limited.formulas) {
      const std::string heading = formula.substr(0, formula.find('\n', 11) + 1);
      while (next < reference.formulas.size() && !startsWith(reference.formulas[next], heading)) ++next;
      ASSERT_LT(next, reference.formulas.size()) << where << ": unexpected formula\n" << formula;
      const std::string& expected = reference.formulas[next++];
      EXPECT_TRUE(formula == expected || formula == heading + "can't allocate space for termlist\n" ||
                  formula == heading + "can't allocate space for poly\n" ||
                  formula == heading +
                                 "insufficient memory to complete processing\n\n Numerator:\n\n Denominator:\n\n"
                                 " End:\n\n")
          << where << "\n" << formula;
    }
    if (text.find("can't allocate space for function ") != std::string::npos) ++recordRefused;
    if (text.find(kAccumulationFailure + "<counters>\n" + kEvaluationSkipped + y11) != std::string::npos &&
        limited.formulas.back() == y11)
      ++largeFunctionAbandoned;
    if (text.find("can't allocate space for termlist\n") != std::string::npos ||
        text.find("can't allocate space for poly\n") != std::string::npos)
      ++copyRefused;
    if (text == maskOutput(free.out)) ++complete;
  }
  EXPECT_GT(loaded, 20);
  EXPECT_GT(recordRefused, 0);
  EXPECT_GT(largeFunctionAbandoned, 0);
  EXPECT_GT(copyRefused, 0);
  EXPECT_GT(complete, 0);
}

// A run that cannot set up its context must still end by returning, not by
// a signal: just above the smallest address space the program loads in,
// the heap is already exhausted when the run begins. The limits go up in
// steps of 16 KiB from 4 MiB to 1 MiB past the first one that loads.
TEST(RealMemoryExhaustion, NoLimitNearTheStartKillsTheProgram) {
  SKIP_WHEN_SANITIZED();
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  int loaded = 0;
  long stop = 64 * 1024;
  for (long limit = 4 * 1024; limit <= stop; limit += 16) {
    Outcome o = runVelkor(scratch, "r1 1 0 f 1 0 1 0 p z11 end\n", limit);
    const std::string where = "ulimit -v " + std::to_string(limit) + ": " + describe(o);
    ASSERT_TRUE(o.exited) << where;
    if (o.status == 127 && o.out.empty()) continue;
    if (loaded++ == 0) stop = limit + 1024;
    // Either the run completes, or it says what it gave up and fails.
    EXPECT_TRUE(o.status == 0 || o.status == 1) << where << "\n" << o.out;
    EXPECT_TRUE(onlyMemoryErrors(o.err)) << where;
    EXPECT_EQ(o.status == 0, o.err.empty()) << where;
    if (!o.exited || !onlyMemoryErrors(o.err)) break;
  }
  EXPECT_GT(loaded, 0);
}

// Output that cannot be written is not success: with standard output on
// /dev/full (every write fails with "no space") the program says so on
// standard error and exits with a non-zero status, whether the failure
// shows at the first flush or only at the final one.
TEST(UnwritableOutput, DevFullGivesANonZeroStatus) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  const std::string small = "r1 1 0\nf 1 0 1 0\np z11\nend\n";
  std::string large;
  for (int k = 0; k < 20; ++k) large += "r1 1 2\nc1 2 0\nf 1 0 2 0\nt 64\nend\n";
  for (const std::string& input : {small, large, std::string("h\n"), std::string()}) {
    Outcome o = runVelkor(scratch, input, 0, "/dev/full");
    EXPECT_TRUE(o.exited) << describe(o);
    EXPECT_NE(o.status, 0) << input.substr(0, 40);
    EXPECT_EQ(o.err, "velkor: error writing standard output: No space left on device\n");
  }
  // The same inputs written to a file succeed.
  Outcome o = runVelkor(scratch, large, 0);
  EXPECT_TRUE(o.exited && o.status == 0) << describe(o);
  EXPECT_GT(o.out.size(), 65536u);
}

}  // namespace
}  // namespace velkor::testing

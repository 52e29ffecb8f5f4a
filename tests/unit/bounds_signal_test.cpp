// A long run (a three-stage amplifier, its exact gain of 430,000 terms
// printed, approximated and plotted at 100,000 points) stopped by SIGINT at points spread over
// its whole length: whatever phase it is in (enumeration, printing,
// approximation, plots), it ends by the signal after less than half a second
// of work, and leaves no file of -o or the plots behind. The work after the
// signal is measured in processor time, so that a loaded machine does not
// make the test fail.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/address_sanitizer.h"
#include "support/scratch_dir.h"

// Half a second of the program's own work, measured on the optimised
// build: the sanitized one makes every step several times slower and its
// latency depends on the load beside it.
constexpr double kLatencyBound = 0.5;

namespace velkor::testing {
namespace {

// N capacitor-coupled common-emitter stages (hybrid-pi transistors) and
// their values at 1 mA.
void writeAmplifier(const Scratch& scratch, int stages) {
  std::string net = "{common-emitter amplifier}\nrs 1 2\n", values = "rs 1k\nrl 10k\n";
  int base = 2;
  for (int k = 1; k <= stages; ++k) {
    const int collector = k == 1 ? 10 : base + 1, emitter = k == 1 ? 11 : base + 2;
    const std::string n = std::to_string(k), b = std::to_string(base), c = std::to_string(collector),
                      e = std::to_string(emitter);
    net += "rpi" + n + " " + b + " " + e + "\ncpi" + n + " " + b + " " + e + "\ncmu" + n + " " + b + " " + c +
           "\ngm" + n + " " + c + " " + e + " " + b + " " + e + "\nro" + n + " " + c + " " + e + "\nrc" + n + " " + c +
           " 0\nre" + n + " " + e + " 0\nce" + n + " " + e + " 0\nrb" + n + " " + b + " 0\n";
    values += "rpi" + n + " 2k5\ncpi" + n + " 20p\ncmu" + n + " 2p\ngm" + n + " 40m\nro" + n + " 100k\nrc" + n +
              " 4k7\nre" + n + " 1k\nce" + n + " 100u\nrb" + n + " 20k\n";
    const int next = k == 1 ? 12 : base + 3;
    if (k < stages) {
      net += "cc" + n + " " + c + " " + std::to_string(next) + "\n";
      values += "cc" + n + " 1u\n";
    } else {
      net += "rl " + c + " 0\nf 1 0 " + c + " 0\np g21\nend\n";
    }
    base = next;
  }
  scratch.write("amp.net", net);
  scratch.write("amp.val", values);
}

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

// Processor time of a running process so far, from /proc (0 when unknown).
double processorSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string field;
  double ticks = 0;
  for (int k = 1; k <= 15 && stat >> field; ++k)
    if (k == 14 || k == 15) ticks += std::stod(field);
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Stopped {
  bool bySignal = false;
  double processorTotal = 0;  // seconds
  double processorAtSignal = 0;
};

// Runs velkor in `dir`; sends SIGINT after `after` seconds of its processor
// time (never, for a negative `after`).
Stopped runAndStop(const std::string& dir, double after) {
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    freopen("/dev/null", "w", stderr);
    execl(VELKOR_BINARY, VELKOR_BINARY, "--values=amp.val", "--formulas=exact", "--approx=0.05", "--bode=b", "--points=100000", "-o", "out.txt", "amp.net",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  Stopped result;
  int status = 0;
  rusage usage{};
  if (after >= 0) {
    for (;;) {
      if (wait4(child, &status, WNOHANG, &usage) == child) {
        result.processorTotal = seconds(usage.ru_utime) + seconds(usage.ru_stime);
        return result;  // ended before the signal
      }
      const double used = processorSeconds(child);
      if (used >= after) {
        result.processorAtSignal = used;
        kill(child, SIGINT);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  wait4(child, &status, 0, &usage);
  result.bySignal = WIFSIGNALED(status) && WTERMSIG(status) == SIGINT;
  result.processorTotal = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  return result;
}

TEST(SignalLatency, EveryPhaseEndsWithinHalfASecondOfWork) {
#ifdef VELKOR_ASAN
  GTEST_SKIP() << "a latency of the optimised build";
#endif
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  writeAmplifier(scratch, 3);
  const Stopped whole = runAndStop(scratch.dir(), -1);
  ASSERT_GT(whole.processorTotal, 0.2);
  std::remove(scratch.path("out.txt").c_str());
  std::remove(scratch.path("b.svg").c_str());
  std::remove(scratch.path("b.csv").c_str());
  for (double share : {0.2, 0.5, 0.8, 0.95}) {
    for (const char* name : {"out.txt", "b.svg", "b.csv"}) std::remove(scratch.path(name).c_str());
    const Stopped run = runAndStop(scratch.dir(), share * whole.processorTotal);
    if (!run.bySignal && run.processorAtSignal == 0) continue;  // it finished first
    EXPECT_LT(run.processorTotal - run.processorAtSignal, kLatencyBound) << share;
    // A signal that lands after the last look at it (the files being put
    // in place) lets the run end normally; otherwise nothing is left.
    if (!run.bySignal) continue;
    for (const char* name : {"out.txt", "b.svg", "b.csv"})
      EXPECT_FALSE(std::ifstream(scratch.path(name)).good()) << name << " after a signal at " << share;
  }
}

}  // namespace
}  // namespace velkor::testing

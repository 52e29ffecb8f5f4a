// Benchmark of the two analysis paths of velkor: the plain step-by-step
// enumeration and accumulation, and the fast path (pruned common-tree
// enumeration, fast accumulation).
//
// Every circuit of the suite is run once on each path, each run in its own
// forked child so that processor time and peak memory belong to that run
// alone. The child writes the output to a file through the program's own
// output and sends back the run's processor time and counters; the parent
// then reads both files (with the elapsed-time line masked), which must be
// byte-identical. The result is a Markdown table and a short summary.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "analysis/analysis_context.h"
#include "driver/program_driver.h"
#include "render/numeric_sink.h"
#include "suite.h"
#include "support/allocator.h"
#include "support/char_source.h"
#include "support/output.h"

namespace velkor::bench {

namespace {

// ---------------------------------------------------------------- child side

// Messages that mean the netlist was not read or not analysed as written.
constexpr const char* kProblemMarkers[] = {
    "exceeds limit of",
    "was truncated",
    "unrecognized element prefix",
    "please provide a port node indication",
    "does not match the list of parameter names",
    "must be less than 1000",
    "more than one port indicator",
    "insufficient memory",
    "coefficient out of 64-bit range",
};

constexpr char kElapsedPrefix[] = "{elapsed time: ";
constexpr char kElapsedMasked[] = "{elapsed time: masked}\n";
constexpr char kHeading[] = " Function:\n";

// What a finished run printed, read back from its output file by the
// parent, so that none of this checking is charged to the run: a hash and
// size of the output with the elapsed-time line replaced by a fixed text
// (runs then compare equal), the formula headings, and the first line
// that carries a problem message.
struct OutputScan {
  std::uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a, 64 bits
  std::uint64_t bytes = 0;
  int headings = 0;
  int problems = 0;
  std::string firstProblem;
  bool expectedFound = false;  // the circuit's expected result was printed
};

OutputScan scanOutput(const std::string& path, const std::string& expected) {
  OutputScan scan;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  // The last lines read, as long as the expected text: enough to find it
  // without holding a large output.
  std::string recent;
  scan.expectedFound = expected.empty();
  while (std::getline(in, line)) {
    if (!in.eof()) line += '\n';
    if (line.rfind(kElapsedPrefix, 0) == 0) line = kElapsedMasked;
    if (line == kHeading) ++scan.headings;
    for (const char* marker : kProblemMarkers) {
      if (line.find(marker) == std::string::npos) continue;
      if (scan.problems++ == 0) scan.firstProblem = line.substr(0, line.find('\n'));
      break;
    }
    for (unsigned char c : line) scan.hash = (scan.hash ^ c) * 0x100000001b3ULL;
    scan.bytes += line.size();
    if (!scan.expectedFound) {
      recent += line;
      scan.expectedFound = recent.find(expected) != std::string::npos;
      if (recent.size() > expected.size()) recent.erase(0, recent.size() - expected.size());
    }
  }
  return scan;
}

// What a child sends back through its pipe.
struct ChildReport {
  RunStatistics stats;
  int exitStatus = 0;
  double runSeconds = 0;  // processor seconds of the run itself
};

double processorSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The child writes through the program's own sink, as the program does.
[[noreturn]] void runChild(const Circuit& circuit, bool plain, const std::string& outputPath, int reportFd,
                          const NumericSettings* numeric) {
  ChildReport report;
  std::FILE* file = std::fopen(outputPath.c_str(), "wb");
  if (file == nullptr) _exit(3);
  {
    StreamOutput output(file);
    StringSource input(circuit.netlist);
    HeapAllocator heap;
    RunOptions options;
    options.plainPath = plain;
    options.statistics = &report.stats;
    NumericResults results;
    options.numeric = numeric;
    options.numericResults = &results;
    // Timed from reading the netlist to the last byte handed to the file:
    // what the fork, the copies of the harness's pages that the child
    // touches and the creation of the output file cost is not the run's.
    const double start = processorSeconds();
    report.exitStatus = runProgram(input, output, heap, options);
    output.flush();
    report.runSeconds = processorSeconds() - start;
  }
  if (std::fclose(file) != 0) _exit(3);
  const char* p = reinterpret_cast<const char*>(&report);
  std::size_t left = sizeof report;
  while (left > 0) {
    ssize_t n = ::write(reportFd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) _exit(4);
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  _exit(0);
}

// --------------------------------------------------------------- parent side

enum class Outcome { NotRun, Finished, TimedOut, Failed };

struct RunResult {
  Outcome outcome = Outcome::NotRun;
  double cpuSeconds = 0;
  double wallSeconds = 0;
  double peakMb = 0;
  ChildReport report;
  OutputScan scan;  // of a finished run
  std::string outputPath;
  std::string failure;  // why a Failed run failed
};

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

// Runs one path on one circuit in a child; kills it after `limit` seconds of
// wall time (0: no limit).
RunResult runOnePath(const Circuit& circuit, bool plain, double limit, const std::string& outputPath,
                     const NumericSettings* numeric = nullptr) {
  RunResult result;
  result.outputPath = outputPath;
  int fds[2];
  if (::pipe(fds) != 0) {
    result.outcome = Outcome::Failed;
    result.failure = "pipe failed";
    return result;
  }
  std::fflush(nullptr);
  pid_t parent = ::getpid();
  auto start = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    result.outcome = Outcome::Failed;
    result.failure = "fork failed";
    return result;
  }
  if (pid == 0) {
    ::close(fds[0]);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive an interrupted benchmark
    if (::getppid() != parent) _exit(5);
    runChild(circuit, plain, outputPath, fds[1], numeric);
  }
  ::close(fds[1]);

  int status = 0;
  rusage usage{};
  bool killed = false;
  for (;;) {
    pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) break;
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (limit > 0 && elapsed > limit && !killed) {
      ::kill(pid, SIGKILL);
      killed = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(elapsed < 1 ? 2 : 20));
  }
  result.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  result.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux

  std::size_t got = 0;
  char* p = reinterpret_cast<char*>(&result.report);
  while (got < sizeof result.report) {
    ssize_t n = ::read(fds[0], p + got, sizeof result.report - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fds[0]);

  if (killed) {
    result.outcome = Outcome::TimedOut;
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || got != sizeof result.report) {
    result.outcome = Outcome::Failed;
    result.failure = WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status))
                                         : "child exit status " + std::to_string(WEXITSTATUS(status));
  } else if (result.report.exitStatus != 0) {
    result.outcome = Outcome::Failed;
    result.failure = "velkor exit status " + std::to_string(result.report.exitStatus);
  } else {
    result.outcome = Outcome::Finished;
    result.cpuSeconds = result.report.runSeconds;
    result.scan = scanOutput(outputPath, circuit.expectedResult);
  }
  return result;
}

// The first line where two output files differ, for the report.
std::string firstDifference(const std::string& a, const std::string& b) {
  std::ifstream fa(a), fb(b);
  std::string la, lb;
  for (long line = 1;; ++line) {
    bool ga = static_cast<bool>(std::getline(fa, la));
    bool gb = static_cast<bool>(std::getline(fb, lb));
    if (!ga && !gb) return "no difference found line by line";
    if (ga != gb || la != lb) {
      return "line " + std::to_string(line) + ": plain \"" + (ga ? la : "<end>") + "\", fast \"" +
             (gb ? lb : "<end>") + "\"";
    }
  }
}

struct Row {
  const Circuit* circuit = nullptr;
  RunResult plain;
  RunResult fast;
  bool compared = false;
  bool identical = false;
  std::vector<std::string> notes;
};

std::string formatSeconds(const RunResult& r, double limit) {
  char buf[32];
  switch (r.outcome) {
    case Outcome::NotRun: return "-";
    case Outcome::TimedOut: std::snprintf(buf, sizeof buf, "> %.0f", limit); return buf;
    case Outcome::Failed: return "failed";
    case Outcome::Finished: break;
  }
  double s = r.cpuSeconds;
  if (s < 0.1) std::snprintf(buf, sizeof buf, "%.3f", s);
  else if (s < 10) std::snprintf(buf, sizeof buf, "%.2f", s);
  else std::snprintf(buf, sizeof buf, "%.1f", s);
  return buf;
}

std::string formatMb(const RunResult& r) {
  if (r.outcome != Outcome::Finished) return "-";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", r.peakMb);
  return buf;
}

std::string formatCount(std::uint64_t n) {
  std::string digits = std::to_string(n), out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// Plain time over fast time; both below the clock's resolution give no ratio.
double speedup(const Row& row) {
  double fast = std::max(row.fast.cpuSeconds, 0.001);
  return row.plain.cpuSeconds / fast;
}

std::string formatRatio(const Row& row) {
  if (row.plain.outcome != Outcome::Finished || row.fast.outcome != Outcome::Finished) return "-";
  char buf[32];
  double r = speedup(row);
  std::snprintf(buf, sizeof buf, r < 10 ? "%.2f" : "%.0f", r);
  return buf;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Settings {
  std::vector<std::string> only;
  double plainLimit = 600;
  double fastLimit = 600;
  bool quick = false;
  bool slowPlain = false;
  std::string keepDir;
  double approxEps = 0;  // --approx: compare approximated runs with exact ones
};

void usage(std::FILE* to) {
  std::fprintf(to,
               "usage: velkor_bench [options]\n"
               "  --only NAME             run only this circuit (repeatable, or NAME,NAME)\n"
               "  --quick                 small circuits only (smoke run)\n"
               "  --skip-plain-over S     stop the plain path after S seconds (default 600)\n"
               "  --fast-limit S          stop the fast path after S seconds (default 600)\n"
               "  --with-slow-plain       also run the plain path on the circuit it cannot\n"
               "                          finish, within the plain time limit\n"
               "  --keep-outputs DIR      keep both outputs of every run in DIR\n"
               "  --approx EPS            run the fast path exactly and with --approx=EPS at\n"
               "                          typical element values (default circuit ce_chain_3);\n"
               "                          fails past 3x the exact time or 1.5x its memory\n"
               "  --list                  list the circuits\n"
               "  --print NAME            print the netlist of a circuit\n");
}

bool selected(const Settings& s, const Circuit& c) {
  if (!s.only.empty()) return std::find(s.only.begin(), s.only.end(), c.name) != s.only.end();
  return !s.quick || c.quick;
}

// A typical value for an element of the suite's circuits, from its name:
// a transistor at 1 mA, bias and load resistors of some kilohms, coupling
// and bypass capacitors of microfarads, other parts of filters.
long double typicalValue(std::string name) {
  while (!name.empty() && name.back() >= '0' && name.back() <= '9') name.pop_back();
  static const std::pair<const char*, long double> kNamed[] = {
      {"rpi", 2.5e3L}, {"cpi", 20e-12L}, {"cmu", 2e-12L}, {"gm", 40e-3L}, {"ro", 100e3L}, {"rs", 1e3L},
      {"rb", 50e3L},   {"rc", 5e3L},     {"re", 1e3L},    {"ce", 100e-6L}, {"cc", 10e-6L}, {"cl", 10e-6L},
      {"rl", 10e3L}};
  for (const auto& [prefix, value] : kNamed)
    if (name == prefix) return value;
  switch (name.empty() ? ' ' : name[0]) {
    case 'r': return 10e3L;
    case 'c': return 10e-9L;
    case 'l': return 1e-3L;
    case 'g': return 1e-3L;
    default: return 1;
  }
}

// The exact fast run against the approximated one, per circuit: processor
// time and peak memory of each, and the approximation's summary lines.
int runApproximations(const Settings& settings, const std::vector<Circuit>& suite) {
  const char* base = std::getenv("TMPDIR");
  std::string dir = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/velkor-approx-XXXXXX";
  std::vector<char> buf(dir.begin(), dir.end());
  buf.push_back('\0');
  if (::mkdtemp(buf.data()) == nullptr) return 2;
  dir = buf.data();
  std::printf("| circuit | exact s | approximated s | time ratio | exact MB | approximated MB | memory ratio |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
  std::vector<std::string> notes;
  bool ok = true;
  for (const Circuit& circuit : suite) {
    if (settings.only.empty() ? circuit.name != "ce_chain_3" : !selected(settings, circuit)) continue;
    ElementValues values;
    for (std::size_t at = 0; at < circuit.netlist.size();) {
      std::size_t end = circuit.netlist.find('\n', at);
      std::string line = circuit.netlist.substr(at, end - at);
      at = end == std::string::npos ? circuit.netlist.size() : end + 1;
      std::string name = line.substr(0, line.find(' '));
      if (line.find(' ') != std::string::npos && name != "f" && name != "p") values.set(name, typicalValue(name), "bench");
    }
    const ApproximationSettings approximation{static_cast<long double>(settings.approxEps), 0, 0};
    NumericSettings request;
    request.values = &values;
    request.approximation = &approximation;
    std::fprintf(stderr, "%-24s exact ", circuit.name.c_str());
    RunResult exact = runOnePath(circuit, false, settings.fastLimit, dir + "/" + circuit.name + ".exact.out");
    std::fprintf(stderr, "%s s, approximated ", formatSeconds(exact, settings.fastLimit).c_str());
    RunResult approximated =
        runOnePath(circuit, false, settings.fastLimit, dir + "/" + circuit.name + ".approx.out", &request);
    std::fprintf(stderr, "%s s\n", formatSeconds(approximated, settings.fastLimit).c_str());
    if (exact.outcome != Outcome::Finished || approximated.outcome != Outcome::Finished) ok = false;
    const double timeRatio = approximated.cpuSeconds / std::max(exact.cpuSeconds, 0.001);
    const double memoryRatio = approximated.peakMb / std::max(exact.peakMb, 0.001);
    std::printf("| %s | %s | %s | %.2f | %s | %s | %.2f |\n", circuit.name.c_str(),
                formatSeconds(exact, settings.fastLimit).c_str(),
                formatSeconds(approximated, settings.fastLimit).c_str(), timeRatio, formatMb(exact).c_str(),
                formatMb(approximated).c_str(), memoryRatio);
    // The targets: at most three times the exact run's time and one and a
    // half times its peak memory.
    if (timeRatio > 3.0) {
      notes.push_back(circuit.name + ": MISSED the time target (at most 3x the exact run)");
      ok = false;
    }
    if (memoryRatio > 1.5) {
      notes.push_back(circuit.name + ": MISSED the memory target (at most 1.5x the exact run)");
      ok = false;
    }
    std::ifstream in(approximated.outputPath);
    for (std::string line; std::getline(in, line);)
      if (line.rfind(" eps ", 0) == 0 || line.rfind(" kept terms:", 0) == 0 || line.rfind(" none:", 0) == 0)
        notes.push_back(circuit.name + ":" + line);
    std::remove(exact.outputPath.c_str());
    std::remove(approximated.outputPath.c_str());
  }
  ::rmdir(dir.c_str());
  std::printf("\n");
  for (const std::string& note : notes) std::printf("- %s\n", note.c_str());
  std::printf("- Times are processor seconds of the run; MB is the peak resident set of the run's process.\n");
  return ok ? 0 : 1;
}

int runSuite(const Settings& settings, const std::vector<Circuit>& suite) {
  std::string dir = settings.keepDir;
  bool temporary = dir.empty();
  if (temporary) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/velkor-bench-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data()) == nullptr) {
      std::fprintf(stderr, "velkor_bench: cannot create a temporary directory\n");
      return 2;
    }
    dir = buf.data();
  } else {
    ::mkdir(dir.c_str(), 0755);
  }

  std::vector<Row> rows;
  bool ok = true;
  for (const Circuit& circuit : suite) {
    if (!selected(settings, circuit)) continue;
    Row row;
    row.circuit = &circuit;
    std::string stem = dir + "/" + circuit.name;
    bool runPlain = !circuit.plainTooSlow || settings.slowPlain;
    std::fprintf(stderr, "%-24s plain ", circuit.name.c_str());
    if (runPlain) {
      row.plain = runOnePath(circuit, true, settings.plainLimit, stem + ".plain.out");
      std::fprintf(stderr, "%s s, ", formatSeconds(row.plain, settings.plainLimit).c_str());
    } else {
      std::fprintf(stderr, "not run, ");
    }
    row.fast = runOnePath(circuit, false, settings.fastLimit, stem + ".fast.out");
    std::fprintf(stderr, "fast %s s\n", formatSeconds(row.fast, settings.fastLimit).c_str());

    for (const RunResult* r : {&row.plain, &row.fast}) {
      const char* path = r == &row.plain ? "plain" : "fast";
      if (r->outcome == Outcome::Failed) {
        row.notes.push_back(std::string(path) + " path failed: " + r->failure);
        ok = false;
      }
      if (r->outcome == Outcome::TimedOut && r == &row.fast) {
        row.notes.push_back("fast path did not finish");
        ok = false;
      }
      if (r->outcome != Outcome::Finished) continue;
      if (r->scan.problems > 0) {
        row.notes.push_back(std::string(path) + " path printed a message: " + r->scan.firstProblem);
        ok = false;
      }
      if (!r->scan.expectedFound) {
        row.notes.push_back(std::string(path) + " path did not print the expected result");
        ok = false;
      }
      if (r->scan.headings != circuit.requestedCount) {
        row.notes.push_back(std::string(path) + " path printed " + std::to_string(r->scan.headings) +
                            " formulas, " + std::to_string(circuit.requestedCount) + " requested");
        ok = false;
      }
    }
    if (row.plain.outcome == Outcome::Finished && row.fast.outcome == Outcome::Finished) {
      row.compared = true;
      row.identical = row.plain.scan.hash == row.fast.scan.hash && row.plain.scan.bytes == row.fast.scan.bytes;
      if (!row.identical) {
        row.notes.push_back("outputs differ, " + firstDifference(row.plain.outputPath, row.fast.outputPath) +
                            " (kept: " + row.plain.outputPath + ", " + row.fast.outputPath + ")");
        ok = false;
      }
      const RunStatistics& a = row.plain.report.stats;
      const RunStatistics& b = row.fast.report.stats;
      if (a.acceptedTrees != b.acceptedTrees || a.terms != b.terms || a.functions != b.functions) {
        row.notes.push_back("counters differ: accepted " + formatCount(a.acceptedTrees) + " / " +
                            formatCount(b.acceptedTrees) + ", terms " + formatCount(a.terms) + " / " +
                            formatCount(b.terms) + ", functions " + formatCount(a.functions) + " / " +
                            formatCount(b.functions) + " (plain / fast)");
      }
    }
    if (temporary || !row.notes.empty()) {
      // Outputs are kept where they differ, or where the caller asked for them.
      if (temporary && (!row.compared || row.identical)) {
        std::remove(row.plain.outputPath.c_str());
        std::remove(row.fast.outputPath.c_str());
      }
    }
    for (const std::string& note : row.notes) std::fprintf(stderr, "  note: %s\n", note.c_str());
    rows.push_back(std::move(row));
  }
  if (temporary) ::rmdir(dir.c_str());  // left in place when it still holds differing outputs

  // The table.
  std::printf("| circuit | plain s | fast s | ratio | accepted trees | raw trees | terms | plain MB | fast MB | same output |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|:---:|\n");
  for (const Row& row : rows) {
    bool plainDone = row.plain.outcome == Outcome::Finished;
    const RunStatistics& counts = plainDone ? row.plain.report.stats : row.fast.report.stats;
    std::string raw = plainDone ? formatCount(row.plain.report.stats.rawTrees) : "-";
    std::string accepted = row.fast.outcome == Outcome::Finished || plainDone ? formatCount(counts.acceptedTrees) : "-";
    std::string terms = row.fast.outcome == Outcome::Finished || plainDone ? formatCount(counts.terms) : "-";
    std::printf("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n", row.circuit->name.c_str(),
                formatSeconds(row.plain, settings.plainLimit).c_str(),
                formatSeconds(row.fast, settings.fastLimit).c_str(), formatRatio(row).c_str(), accepted.c_str(),
                raw.c_str(), terms.c_str(), formatMb(row.plain).c_str(), formatMb(row.fast).c_str(),
                row.compared ? (row.identical ? "yes" : "NO") : "-");
  }

  // The summary.
  std::printf("\n");
  std::vector<double> active;
  std::string ladders;
  const Row* largest = nullptr;
  int compared = 0, identical = 0;
  for (const Row& row : rows) {
    if (row.compared) {
      ++compared;
      if (row.identical) ++identical;
    }
    if (!row.compared) continue;
    if (!row.circuit->passive && row.plain.cpuSeconds >= 1.0) active.push_back(speedup(row));
    if (row.circuit->ladder) {
      char buf[96];
      std::snprintf(buf, sizeof buf, "%s%s %.1f", ladders.empty() ? "" : ", ", row.circuit->name.c_str(), speedup(row));
      ladders += buf;
    }
    if (largest == nullptr || row.plain.peakMb > largest->plain.peakMb) largest = &row;
  }
  std::printf("- Outputs byte-identical on %d of %d circuits run on both paths.\n", identical, compared);
  if (!active.empty()) {
    std::printf("- Median speedup over the %zu active circuits on which the plain path takes 1 s or more: %.0f\n",
                active.size(), median(active));
  } else {
    std::printf("- No active circuit took the plain path 1 s or more.\n");
  }
  if (!ladders.empty()) std::printf("- Ladder speedups: %s\n", ladders.c_str());
  if (largest != nullptr) {
    std::printf("- Largest circuit (highest plain peak memory): %s, plain %.1f MB, fast %.1f MB, fast/plain %.3f\n",
                largest->circuit->name.c_str(), largest->plain.peakMb, largest->fast.peakMb,
                largest->fast.peakMb / std::max(largest->plain.peakMb, 0.001));
  }
  for (const Row& row : rows) {
    if (!row.circuit->plainTooSlow) continue;
    std::string plain = row.plain.outcome == Outcome::NotRun ? "not run (--with-slow-plain runs it)"
                                                             : formatSeconds(row.plain, settings.plainLimit) + " s";
    std::printf("- Circuit the plain path cannot finish in ten minutes: %s, fast path %s s, plain path %s\n",
                row.circuit->name.c_str(), formatSeconds(row.fast, settings.fastLimit).c_str(), plain.c_str());
  }
  std::printf(
      "- Times are processor seconds (user + system) of the run, from reading the netlist to the last byte written;"
      " MB is the peak resident set of the run's process.\n");
  for (const Row& row : rows) {
    for (const std::string& note : row.notes) std::printf("- %s: %s\n", row.circuit->name.c_str(), note.c_str());
  }
  return ok ? 0 : 1;
}

}  // namespace

int benchMain(int argc, char** argv) {
  Settings settings;
  std::vector<Circuit> suite = benchSuite();
  auto number = [&](int& i, double& into) {
    if (i + 1 >= argc) return false;
    char* end = nullptr;
    into = std::strtod(argv[++i], &end);
    return end != argv[i] && *end == '\0' && into >= 0;
  };
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--only" && i + 1 < argc) {
      std::string list = argv[++i];
      std::size_t pos = 0;
      while (pos <= list.size()) {
        std::size_t comma = list.find(',', pos);
        if (comma == std::string::npos) comma = list.size();
        if (comma > pos) settings.only.push_back(list.substr(pos, comma - pos));
        pos = comma + 1;
      }
    } else if (arg == "--quick") {
      settings.quick = true;
    } else if (arg == "--skip-plain-over") {
      if (!number(i, settings.plainLimit)) return usage(stderr), 2;
    } else if (arg == "--fast-limit") {
      if (!number(i, settings.fastLimit)) return usage(stderr), 2;
    } else if (arg == "--approx") {
      if (!number(i, settings.approxEps) || !(settings.approxEps > 0 && settings.approxEps < 1)) return usage(stderr), 2;
    } else if (arg == "--with-slow-plain") {
      settings.slowPlain = true;
    } else if (arg == "--keep-outputs" && i + 1 < argc) {
      settings.keepDir = argv[++i];
    } else if (arg == "--list") {
      for (const Circuit& c : suite) {
        std::printf("%-24s%s%s%s\n", c.name.c_str(), c.passive ? " passive" : " active", c.quick ? " quick" : "",
                    c.plainTooSlow ? " plain-too-slow" : "");
      }
      return 0;
    } else if (arg == "--print" && i + 1 < argc) {
      std::string name = argv[++i];
      for (const Circuit& c : suite) {
        if (c.name == name) return std::fputs(c.netlist.c_str(), stdout) < 0 ? 1 : 0;
      }
      std::fprintf(stderr, "velkor_bench: no circuit named %s\n", name.c_str());
      return 2;
    } else if (arg == "--help" || arg == "-h") {
      usage(stdout);
      return 0;
    } else {
      usage(stderr);
      return 2;
    }
  }
  for (const std::string& name : settings.only) {
    bool known = std::any_of(suite.begin(), suite.end(), [&](const Circuit& c) { return c.name == name; });
    if (!known) {
      std::fprintf(stderr, "velkor_bench: no circuit named %s\n", name.c_str());
      return 2;
    }
  }
  return settings.approxEps > 0 ? runApproximations(settings, suite) : runSuite(settings, suite);
}

}  // namespace velkor::bench

int main(int argc, char** argv) { return velkor::bench::benchMain(argc, argv); }

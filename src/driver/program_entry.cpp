#include "driver/program_entry.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/command_line.h"
#include "driver/input_files.h"
#include "driver/numeric_outputs.h"
#include "driver/output_file.h"
#include "driver/program_driver.h"
#include "support/allocator.h"
#include "support/output.h"

namespace velkor {

namespace {

constexpr int kFailure = 1;
constexpr int kUsageError = 2;
constexpr std::size_t kStartRoom = 256 * 1024;

int usageError(const std::string& message) {
  std::fprintf(stderr, "velkor: %s\nTry 'velkor --help'.\n", message.c_str());
  return kUsageError;
}

void report(const std::string& message) { std::fprintf(stderr, "velkor: %s\n", message.c_str()); }

// The signal that asked the run to end (0: none). The one piece of state
// outside a run's context: a signal handler can reach nothing else, and
// only sets it; the enumeration loops and the main loop look at it.
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int signal) { stopSignal = signal; }

// SIGINT and SIGTERM end the run at the next check, keeping what is
// finished. Reads are not restarted, so that a run waiting for input ends
// as well.
void catchStopSignals() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// Ends the program by the signal that stopped the run, as if it had not
// been caught, so that the caller sees how it ended.
[[noreturn]] void endBySignal(int signal) {
  std::fflush(nullptr);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  std::_Exit(128 + signal);
}

// Most of the machine's physical memory: the default bound, so that one
// netlist cannot drive the machine into swapping.
std::size_t defaultMemoryBound() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<std::size_t>(static_cast<double>(pages) * static_cast<double>(pageSize) * 0.8);
}

// After --help or --version: a failed write to standard output is an error.
int finishStandardOutput() {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
  report(std::string("error writing standard output: ") + std::strerror(errno));
  return kFailure;
}

// The run, with its output buffers on the stack.
[[gnu::noinline]] int runEntry(int argc, char* argv[]) {
  CommandLine options;
  std::string error;
  if (!parseCommandLine(argc, argv, options, error)) return usageError(error);
  if (options.action == CommandLine::Action::Help) {
    printUsage(stdout);
    return finishStandardOutput();
  }
  if (options.action == CommandLine::Action::Version) {
    printVersion(stdout);
    return finishStandardOutput();
  }

  // An approximation is made at element values.
  if (options.approximationEps > 0 && options.valueSources.empty())
    return usageError("option '--approx' needs element values (--values or --set)");

  // Every input is opened before the output is created, so that a mistake
  // in either leaves nothing behind.
  InputFiles input;
  if (!input.open(options.inputs, error)) return usageError(error);
  // Element values are read, and the files of plots and report created,
  // before the results: a bad value or path stops the run with nothing
  // written.
  NumericOutputs numeric;
  if (!numeric.prepare(options, error)) {
    report(error);
    return kUsageError;
  }
  std::string inputText;
  if (!options.reportPath.empty()) input.record(&inputText);
  OutputFile destination;
  if (!destination.open(options.outputPath, error)) return usageError(error);

  catchStopSignals();
  int status = 0;
  bool writeFailed = false;
  int writeError = 0;
  {
    StreamOutput output(destination.stream());
    StreamOutput errors(stderr);
    HeapAllocator heap;
    heap.setBound(options.maxMemoryGiven ? options.maxMemory : defaultMemoryBound());
    RunOptions run;
    run.plainPath = options.plainPath;
    run.format = options.format;
    run.version = programVersion();
    run.errors = &errors;
    run.quiet = options.quiet;
    run.strict = options.strict;
    run.interruptFlag = &stopSignal;
    run.secondsPerFunction = options.maxSeconds;
    const bool terminal = isatty(STDERR_FILENO) != 0;
    run.progress = options.progress || terminal;
    run.progressInPlace = terminal;
    if (numeric.active()) {
      run.numeric = &numeric.settings();
      run.numericResults = &numeric.results();
      run.noFormulas = options.noFormulas;
    }
    if (GenerationPlan* generation = numeric.generation(); generation != nullptr) {
      // The generated terms may take most of the memory the run may use.
      generation->memoryBound = options.maxMemoryGiven ? options.maxMemory : defaultMemoryBound();
      run.generation = generation;
    }
    status = runProgram(input, output, heap, run);
    writeFailed = output.failed();
    writeError = output.errorNumber();
  }
  if (stopSignal != 0) {
    // What was finished has been written; a file of -o is incomplete and
    // is not put in place.
    destination.discard();
    numeric.discard();
    endBySignal(stopSignal);
  }
  if (input.readFailed()) {
    // The results would be incomplete: a file of -o is not written.
    report(input.readError());
    destination.discard();
    return kFailure;
  }
  if (writeFailed) {
    // A reader that closed the pipe has its SIGPIPE (or EPIPE) and needs no
    // message.
    if (writeError != EPIPE) report("error writing " + destination.name() + ": " + std::strerror(writeError));
    destination.discard();
    return kFailure;
  }
  // Values for names that no netlist has are warnings: left out by
  // --quiet, errors under --strict.
  if (numeric.active() && !numeric.finish(inputText, options.quiet ? nullptr : stderr, error)) {
    report(error);
    destination.discard();
    return kFailure;
  }
  if (options.strict && numeric.unusedValues() > 0) status = kFailure;
  if (!destination.commit(error)) {
    report(error);
    return kFailure;
  }
  return status;
}

}  // namespace

int programEntry(int argc, char* argv[]) {
  // The run's stack frame (its output buffers), parsing the command line and
  // opening the inputs take some memory; an address space too small for them
  // leaves no room even for the exception that would report it. Such a run
  // stops here, before that frame is entered, with nothing written but the
  // error.
  // The block is held through a volatile pointer: an allocation whose
  // result is never used may be left out by the optimiser (clang does), and
  // the check with it.
  void* volatile room = std::malloc(kStartRoom);
  if (room != nullptr) {
    std::free(room);
    return runEntry(argc, argv);
  }
  // The message names the place where reading would have begun: standard
  // input when no argument names a file.
  bool files = false;
  for (int i = 1; i < argc; ++i) files = files || argv[i][0] != '-';
  std::fputs(files ? "velkor: error: insufficient memory to complete processing\n"
                   : "<stdin>:1:1: error: insufficient memory to complete processing\n",
             stderr);
  return kFailure;
}

}  // namespace velkor

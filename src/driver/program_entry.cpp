#include "driver/program_entry.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "driver/command_line.h"
#include "driver/deck_inputs.h"
#include "driver/fatal_signals.h"
#include "driver/input_files.h"
#include "driver/numeric_elements.h"
#include "driver/numeric_outputs.h"
#include "driver/output_file.h"
#include "driver/output_paths.h"
#include "driver/program_driver.h"
#include "support/allocator.h"
#include "support/memory_use.h"
#include "support/output.h"
#include "trees/tree_context.h"

namespace velkor {

namespace {

constexpr int kFailure = 1;
constexpr int kUsageError = 2;
constexpr std::size_t kStartRoom = 256 * 1024;
// The stack the run may use below its entry, mapped before the run starts
// (within the start room just freed): under a bound on the address space,
// a stack that had to grow later, after the heap took the rest, would end
// the run by a segmentation fault in the middle of a formula.
constexpr std::size_t kStackReserve = 224 * 1024;

int usageError(const std::string& message) {
  std::fprintf(stderr, "velkor: %s\nTry 'velkor --help'.\n", message.c_str());
  return kUsageError;
}

void report(const std::string& message) { std::fprintf(stderr, "velkor: %s\n", message.c_str()); }

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

  // Circuit decks are read whole, before anything is written.
  DeckInputs decks;
  if (const int failure = decks.read(options, error); failure != 0) {
    if (failure == kUsageError) return usageError(error);
    std::fprintf(stderr, "%s\n", error.c_str());
    return kFailure;
  }
  if (!decks.active() && (!options.ports.empty() || !options.parameters.empty() || !options.operatingPointPath.empty()))
    return usageError("options '--ports', '--param' and '--op' apply to decks (give --input=spice for one on standard input)");
  if (!options.quiet)
    for (const std::string& warning : decks.warnings()) std::fprintf(stderr, "%s\n", warning.c_str());
  const bool deckWarnings = !decks.warnings().empty();
  // An approximation is made at element values.
  if (options.approximationEps > 0 && options.valueSources.empty() && decks.values().empty())
    return usageError("option '--approx' needs element values (--values or --set)");

  // Every input is checked before the output is created, so that a mistake
  // in either leaves nothing behind; no output may be an input, another
  // output or the file behind standard output.
  InputFiles input;
  StringSource noInput("");
  if (!decks.active() && !input.open(options.inputs, error)) return usageError(error);
  if (!checkRunFiles(options, error)) return usageError(error);
  // Element values are read, and the files of plots and report created,
  // before the results: a bad value or path stops the run with nothing
  // written.
  NumericOutputs numeric;
  numeric.watch(stopSignalFlag());
  if (!numeric.prepare(options, error, decks.active() ? &decks.values() : nullptr)) {
    report(error);
    return kUsageError;
  }
  NumericElements numericElements;
  if (!numericElements.prepare(options, decks, *numeric.settings().values, error)) {
    numeric.discard();
    report(error);
    return kUsageError;
  }
  std::string inputText = decks.text();
  // The report shows the input; the plots take their titles from it.
  if (numeric.settings().keep && !decks.active()) input.record(&inputText);
  OutputFile destination;
  if (!destination.open(options.outputPath, error)) return usageError(error);

  allowGracefulStop();
  const StopFlag& stopSignal = *stopSignalFlag();
  int status = 0;
  RunStatistics statistics;
  bool writeFailed = false;
  int writeError = 0;
  {
    StreamOutput output(destination.stream());
    StreamOutput errors(stderr);
    HeapAllocator heap;
    heap.setBound(options.maxMemoryGiven ? options.maxMemory : defaultMemoryBound());
    RunOptions run;
    applyToRun(options, run);
    run.errors = &errors;
    run.interruptFlag = &stopSignal;
    run.statistics = &statistics;
    const bool terminal = isatty(STDERR_FILENO) != 0;
    run.progress = options.progress || terminal;
    run.progressInPlace = terminal;
    if (numeric.active()) {
      run.numeric = &numeric.settings();
      run.numericResults = &numeric.results();
    }
    if (decks.active()) {
      run.decks = &decks.decks();
      run.deckParameters = options.parameters;
    }
    run.generation = numeric.generation();
    numericElements.applyTo(run);
    status = runProgram(decks.active() ? static_cast<CharSource&>(noInput) : input, output, heap, run);
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
    if (stopSignal != 0) {
      destination.discard();
      endBySignal(stopSignal);
    }
    report(error);
    destination.discard();
    return kFailure;
  }
  if (!numericElements.finish(options.quiet ? nullptr : stderr, error)) {
    report("error: " + error);
    status = kFailure;
  }
  if (options.strict && (numeric.warnings() > 0 || deckWarnings || numericElements.warnings() > 0)) status = kFailure;
  const bool writesFiles = !options.outputPath.empty() || !options.bodePath.empty() ||
                           !options.poleZeroPath.empty() || !options.reportPath.empty();
  if (stopSignal != 0) endBySignal(stopSignal);
  if (status != 0) {
    // A run that reported an error replaces no file: each stays as it was.
    if (writesFiles) report("no output file written, because of the errors above");
    return status;
  }
  if (writesFiles && statistics.netlists == 0) {
    // An input without a netlist (velkor -o x.net </dev/null, where
    // `velkor x.net` was meant) is no reason to replace a file.
    report("error: the input holds no netlist; no output file written");
    return kFailure;
  }
  if (!numeric.commit(destination, error)) {
    report(error);
    return kFailure;
  }
  // A stop asked for while the files were put in place (the signal was
  // held until then) still ends the program by that signal.
  if (stopSignal != 0) endBySignal(stopSignal);
  return status;
}

// Standard input, output and error that are closed are opened on /dev/null,
// so that no file of the run takes their place; output and error are
// opened for reading, input for writing, so that using them fails as it
// would have failed on the closed descriptor.
void occupyStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}

// Touches every page of kStackReserve bytes of stack, so that the kernel
// maps them now.
[[gnu::noinline]] void reserveStack() {
  char block[kStackReserve];
  volatile char* page = block;
  for (std::size_t at = 0; at < sizeof block; at += 4096) page[at] = 0;
}

int checkedEntry(int argc, char* argv[]) {
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
    reserveStack();
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

// After an exception: the files are removed and the message written
// without allocating.
void reportUncaught(const char* what, const char* detail) noexcept {
  removeTemporaries();
  std::fflush(stdout);
  std::fprintf(stderr, "velkor: %s%s\n", what, detail);
}

}  // namespace

int programEntry(int argc, char* argv[]) {
  occupyStandardDescriptors();
  installFatalSignalHandlers();
  // No exception leaves the program: running out of memory outside the
  // formulas' own checks (plots, report, approximation) ends the run with
  // the memory message, anything else as an internal error. The files of
  // the run are removed as the exception passes (each output file's
  // destructor), and once more here.
  try {
    return checkedEntry(argc, argv);
  } catch (const std::bad_alloc&) {
    reportUncaught("insufficient memory to complete processing", "");
  } catch (const std::exception& e) {
    reportUncaught("internal error: ", e.what());
  } catch (...) {
    reportUncaught("internal error: ", "unknown exception");
  }
  return kFailure;
}

}  // namespace velkor

#include "driver/program_entry.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "driver/command_line.h"
#include "driver/input_files.h"
#include "driver/output_file.h"
#include "driver/program_driver.h"
#include "support/allocator.h"
#include "support/output.h"

namespace velkor {

namespace {

constexpr int kFailure = 1;
constexpr int kUsageError = 2;

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

}  // namespace

int programEntry(int argc, char* argv[]) {
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

  // Every input is opened before the output is created, so that a mistake
  // in either leaves nothing behind.
  InputFiles input;
  if (!input.open(options.inputs, error)) return usageError(error);
  OutputFile destination;
  if (!destination.open(options.outputPath, error)) return usageError(error);

  int status = 0;
  bool writeFailed = false;
  int writeError = 0;
  {
    StreamOutput output(destination.stream());
    StreamOutput errors(stderr);
    HeapAllocator heap;
    RunOptions run;
    run.plainPath = options.plainPath;
    run.format = options.format;
    run.version = programVersion();
    run.errors = &errors;
    status = runProgram(input, output, heap, run);
    writeFailed = output.failed();
    writeError = output.errorNumber();
  }
  if (input.readFailed()) {
    // The results would be incomplete: a file of -o is not written.
    report(input.readError());
    destination.discard();
    return kFailure;
  }
  if (writeFailed) {
    // Standard output that fails is left to the exit status; a reader that
    // closed the pipe has its SIGPIPE (or EPIPE) and needs no message.
    if (!options.outputPath.empty() && writeError != EPIPE)
      report("error writing " + destination.name() + ": " + std::strerror(writeError));
    destination.discard();
    return kFailure;
  }
  if (!destination.commit(error)) {
    report(error);
    return kFailure;
  }
  return status;
}

}  // namespace velkor

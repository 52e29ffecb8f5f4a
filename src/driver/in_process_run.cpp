#include "driver/in_process_run.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "driver/command_line.h"
#include "driver/deck_inputs.h"
#include "driver/output_file.h"
#include "driver/numeric_elements.h"
#include "driver/numeric_outputs.h"
#include "driver/program_driver.h"
#include "support/allocator.h"
#include "support/char_source.h"
#include "support/output.h"

namespace velkor {

namespace {

constexpr int kFailure = 1;
constexpr int kUsageError = 2;
constexpr int kInterrupted = 128 + SIGINT;

// The warnings that the numeric outputs write on a C stream, caught in a
// string.
class CapturedStream {
 public:
  CapturedStream() : stream_(open_memstream(&buffer_, &size_)) {}
  CapturedStream(const CapturedStream&) = delete;
  CapturedStream& operator=(const CapturedStream&) = delete;
  ~CapturedStream() {
    if (stream_ != nullptr) std::fclose(stream_);
    std::free(buffer_);
  }
  std::FILE* stream() const { return stream_; }
  std::string text() {
    if (stream_ == nullptr) return {};
    std::fflush(stream_);
    return std::string(buffer_, size_);
  }

 private:
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* stream_;
};

}  // namespace

InProcessResult runInProcess(const std::string& text, const std::string& sourceName,
                             const std::vector<std::string>& arguments,
                             const StopFlag* interrupt) {
  InProcessResult result;
  std::vector<std::string> words{"velkor"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  CommandLine options;
  std::string error;
  if (!parseCommandLine(static_cast<int>(words.size()), argv.data(), options, error)) {
    result.status = kUsageError;
    result.errors = "velkor: " + error + "\n";
    return result;
  }
  if (options.action != CommandLine::Action::Run || !options.outputPath.empty()) {
    result.status = kUsageError;
    result.errors = "velkor: help, version and an output file are the command line's own\n";
    return result;
  }
  // Circuit decks are named as input files (they may include others beside
  // them); netlists of velkor's own language come as `text`.
  DeckInputs decks;
  if (!options.inputs.empty()) {
    if (const int failure = decks.read(options, error); failure != 0 || !decks.active()) {
      result.status = failure != 0 ? failure : kUsageError;
      result.errors = failure != 0 ? (failure == kUsageError ? "velkor: " : "") + error + "\n"
                                   : "velkor: input files must be circuit decks; give a netlist as text\n";
      return result;
    }
    for (const std::string& warning : decks.warnings())
      if (!options.quiet) result.errors += warning + "\n";
  }
  if (options.approximationEps > 0 && options.valueSources.empty() && decks.values().empty()) {
    result.status = kUsageError;
    result.errors = "velkor: option '--approx' needs element values (--values or --set)\n";
    return result;
  }
  NumericOutputs numeric;
  if (!numeric.prepare(options, error, decks.active() ? &decks.values() : nullptr)) {
    result.status = kUsageError;
    result.errors = "velkor: " + error + "\n";
    return result;
  }
  NumericElements numericElements;
  if (!numericElements.prepare(options, decks, *numeric.settings().values, error)) {
    numeric.discard();
    result.status = kUsageError;
    result.errors = "velkor: " + error + "\n";
    return result;
  }

  StringSource input(decks.active() ? std::string() : text, sourceName.c_str());
  StringOutput output;
  StringOutput errors;
  HeapAllocator heap;
  if (options.maxMemoryGiven) heap.setBound(options.maxMemory);
  RunOptions run;
  applyToRun(options, run);
  run.errors = &errors;
  run.interruptFlag = interrupt;
  run.progressInPlace = false;
  if (decks.active()) {
    run.decks = &decks.decks();
    run.deckParameters = options.parameters;
  }
  if (numeric.active()) {
    run.numeric = &numeric.settings();
    run.numericResults = &numeric.results();
  }
  numericElements.applyTo(run);
  result.status = runProgram(input, output, heap, run);
  result.output = output.text();
  result.errors = errors.text();
  if (interrupt != nullptr && interrupt->load() != 0) {
    numeric.discard();
    result.status = kInterrupted;
    return result;
  }
  if (numeric.active()) {
    CapturedStream warnings;
    // The results are returned, not written: only the files of --bode,
    // --pz and --report are put in place.
    OutputFile results;
    const bool finished = numeric.finish(decks.active() ? decks.text() : text,
                                         options.quiet ? nullptr : warnings.stream(), error) &&
                          numeric.commit(results, error);
    result.errors += warnings.text();
    if (!finished) {
      result.errors += "velkor: " + error + "\n";
      result.status = kFailure;
    } else if (options.strict && (numeric.warnings() > 0 || !decks.warnings().empty())) {
      result.status = kFailure;
    }
  }
  CapturedStream substitutionWarnings;
  const bool checked = numericElements.finish(options.quiet ? nullptr : substitutionWarnings.stream(), error);
  result.errors += substitutionWarnings.text();
  if (!checked) result.errors += "velkor: error: " + error + "\n";
  if (!checked || (options.strict && numericElements.warnings() > 0)) result.status = kFailure;
  return result;
}

}  // namespace velkor

// The numeric side of a run: the element values, read before the run; the
// files of --bode, --pz and --report, created before it (so that a path
// that cannot be written stops the run before anything is written) and
// filled and put in place after it.
#pragma once

#include <csignal>
#include <cstdio>
#include <string>

#include "analysis/approximation_generation.h"
#include "analysis/element_values.h"
#include "driver/command_line.h"
#include "driver/output_file.h"
#include "render/numeric_sink.h"
#include "support/stop_flag.h"

namespace velkor {

class NumericOutputs {
 public:
  // Reads every values file and setting in command-line order and creates
  // the output files. Returns false with `error` set to one line (the file
  // and line of a bad value).
  // Values in `preset` (those of the decks) come first, so that the
  // command line's replace them, and are never reported as unused.
  bool prepare(const CommandLine& options, std::string& error, const ElementValues* preset = nullptr);

  const NumericSettings& settings() const { return settings_; }
  // --approx without --formulas=exact: the approximations are made during
  // generation (nullptr otherwise).
  GenerationPlan* generation() { return generating_ ? &generation_ : nullptr; }
  NumericResults& results() { return results_; }
  // Whether the run applies values at all: numbers are asked for, or values
  // are given (which then are only checked against the netlists' names).
  bool active() const { return options_ != nullptr && (options_->numeric() || !options_->valueSources.empty()); }

  // Warns on `warnings` (nullptr: nowhere) about values for names that no
  // analysed netlist has and about formulas left out of the plots and
  // report for want of values, then writes the files. Returns false with
  // `error` set when a file cannot be written; none is left behind then.
  bool finish(const std::string& inputText, std::FILE* warnings, std::string& error);
  // Puts the files written by finish() in place together with the results
  // of -o (see commitTogether).
  bool commit(OutputFile& results, std::string& error);
  // How many warnings finish() gave (or would have given): errors under
  // --strict.
  std::size_t warnings() const { return warnings_; }
  // Removes the files not yet committed.
  void discard();
  // The flag a stop signal sets: finish() looks at it while it computes the
  // plots, and writes nothing once it is set.
  void watch(const StopFlag* interruptFlag) { interruptFlag_ = interruptFlag; }

 private:
  const CommandLine* options_ = nullptr;
  ElementValues values_;
  const ElementValues* preset_ = nullptr;
  NumericSettings settings_;
  ApproximationSettings approximation_;
  std::size_t warnMissingValues(std::FILE* warnings) const;

  std::size_t warnings_ = 0;
  std::size_t memoryBound_ = 0;  // the run's, 0 for none
  const StopFlag* interruptFlag_ = nullptr;
  GenerationPlan generation_;
  bool generating_ = false;
  NumericResults results_;
  OutputFile bodeSvg_, bodeCsv_, poleZero_, report_;
};

// The two paths of --bode=FILE: FILE.svg and FILE.csv (a FILE that already
// ends in .svg or .csv loses that ending first).
std::string bodePathWith(const std::string& path, const char* extension);

}  // namespace velkor

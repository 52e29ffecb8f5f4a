// The numeric side of a run: the element values, read before the run; the
// files of --bode, --pz and --report, created before it (so that a path
// that cannot be written stops the run before anything is written) and
// filled and put in place after it.
#pragma once

#include <cstdio>
#include <string>

#include "analysis/approximation_generation.h"
#include "analysis/element_values.h"
#include "driver/command_line.h"
#include "driver/output_file.h"
#include "render/numeric_sink.h"

namespace velkor {

class NumericOutputs {
 public:
  // Reads every values file and setting in command-line order and creates
  // the output files. Returns false with `error` set to one line (the file
  // and line of a bad value).
  bool prepare(const CommandLine& options, std::string& error);

  const NumericSettings& settings() const { return settings_; }
  // --approx without --formulas=exact: the approximations are made during
  // generation (nullptr otherwise).
  GenerationPlan* generation() { return generating_ ? &generation_ : nullptr; }
  NumericResults& results() { return results_; }
  // Whether the run applies values at all: numbers are asked for, or values
  // are given (which then are only checked against the netlists' names).
  bool active() const { return options_ != nullptr && (options_->numeric() || !options_->valueSources.empty()); }

  // Warns on `warnings` (nullptr: nowhere) about values for names that no
  // analysed netlist has, then writes and commits the files. Returns false
  // with `error` set when a file cannot be written; none is left behind then.
  bool finish(const std::string& inputText, std::FILE* warnings, std::string& error);
  // How many values finish() found for names that no netlist has.
  std::size_t unusedValues() const { return unusedValues_; }
  // Removes the files not yet committed.
  void discard();

 private:
  const CommandLine* options_ = nullptr;
  ElementValues values_;
  NumericSettings settings_;
  ApproximationSettings approximation_;
  GenerationPlan generation_;
  bool generating_ = false;
  std::size_t unusedValues_ = 0;
  NumericResults results_;
  OutputFile bodeSvg_, bodeCsv_, poleZero_, report_;
};

// The two paths of --bode=FILE: FILE.svg and FILE.csv (a FILE that already
// ends in .svg or .csv loses that ending first).
std::string bodePathWith(const std::string& path, const char* extension);

}  // namespace velkor

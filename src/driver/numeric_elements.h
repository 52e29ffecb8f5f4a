// The elements written as numbers in the formulas (--numeric, --symbolic):
// their names checked before the run (a name must have a value, and with
// decks be an element of one), the choice handed to the run, and what the
// run saw of them checked after it (a name that no netlist has).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "analysis/element_values.h"
#include "analysis/substitution_sink.h"
#include "analysis/value_substitution.h"
#include "driver/command_line.h"
#include "driver/deck_inputs.h"
#include "driver/program_driver.h"

namespace velkor {

class NumericElements {
 public:
  // Takes the choice of the command line. Every name of --numeric needs a
  // value in `values`; with decks, every name of either option must be an
  // element of a deck (names are then compared in lower case, as decks
  // are). False with `error` set to one line otherwise.
  bool prepare(const CommandLine& options, const DeckInputs& decks, const ElementValues& values, std::string& error);
  bool active() const { return choice_.any(); }
  // Adds the choice to the run (nothing when none was asked for).
  void applyTo(RunOptions& run);
  // After the run: false with `error` set when a name is an element of no
  // netlist that gave a formula. Chosen elements left as symbols for want
  // of a value (--symbolic) and formulas in mixed ohm units, which keep
  // their symbols, are warnings on `warnings` (nullptr: nowhere).
  bool finish(std::FILE* warnings, std::string& error);
  // How many warnings finish() gave (or would have given): errors under --strict.
  std::size_t warnings() const { return warnings_; }

 private:
  NumericChoice choice_;
  const char* option_ = "numeric";
  const ElementValues* values_ = nullptr;
  bool decks_ = false;
  SubstitutionRecord record_;
  std::size_t warnings_ = 0;
};

}  // namespace velkor

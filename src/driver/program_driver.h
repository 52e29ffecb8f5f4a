// The main loop: banner, read and analyse every netlist, elapsed time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/formula_document.h"
#include "support/stop_flag.h"

namespace velkor {

class CharSource;
class Output;
class Allocator;
struct RunStatistics;
struct NumericSettings;
struct NumericResults;
struct DeckCircuit;
struct GenerationPlan;
struct NumericChoice;
struct SubstitutionRecord;
class ElementValues;

struct RunOptions {
  // Where errors and warnings are written (nullptr: nowhere).
  Output* errors = nullptr;
  bool quiet = false;   // warnings are not written
  bool strict = false;  // warnings are errors
  // Nonzero once a signal asked the run to end: finished formulas are kept,
  // nothing more is begun.
  const StopFlag* interruptFlag = nullptr;
  double secondsPerFunction = 0;  // bound on each function's evaluation (0: none)
  bool progress = false;          // the progress line on `errors`
  bool progressInPlace = true;    // rewritten in place (a terminal)
  // What the results are written as: the text layout, or a document.
  DocumentFormat format = DocumentFormat::kText;
  std::string version = "unknown";  // named in a JSON document
  // Element values applied to every formula (nullptr: none asked for), and
  // where the numbers are kept for the plots and the report.
  const NumericSettings* numeric = nullptr;
  NumericResults* numericResults = nullptr;
  // No formula: every parameter by nodal analysis at the values of `numeric`.
  bool noFormulas = false;
  // Circuit decks read before the run, analysed in place of the netlists of
  // the input (nullptr: none), and the parameters asked for them by name
  // (empty: all).
  const std::vector<DeckCircuit>* decks = nullptr;
  std::vector<std::string> deckParameters;
  // Approximations during generation instead of the exact formulas.
  const GenerationPlan* generation = nullptr;
  // Elements written as numbers in every formula, at `substitutionValues`
  // (nullptr: none); what the run saw of them goes to `substitutionRecord`.
  const NumericChoice* numericChoice = nullptr;
  const ElementValues* substitutionValues = nullptr;
  SubstitutionRecord* substitutionRecord = nullptr;
  // Settings that the program itself never changes; tests, benchmarks and
  // fuzz targets use them.
  bool plainPath = false;       // step-by-step enumeration and accumulation
  int jobs = 1;                 // evaluations at once (--jobs)
  int splitAbove = 16384;       // bound on a function's trees up to which one job evaluates it whole (0: every function is cut)
  std::uint64_t workLimit = 0;  // enumeration steps per function (0: none)
  RunStatistics* statistics = nullptr;  // receives the run's work counts
};

// Runs velkor over the whole input; returns the exit status: 0, or 1 when
// an error was reported (in the netlist, or in its analysis), a netlist was
// cut short, the output could not be written or the run could not start.
int runProgram(CharSource& input, Output& output, Allocator& allocator, const RunOptions& options = {});

// Runs velkor in-process on a string and returns everything it printed.
std::string runOnString(const std::string& input, const RunOptions& options = {});

}  // namespace velkor

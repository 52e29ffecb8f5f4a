// Element values applied to every finished formula of a run: a sink that
// works out each formula's numbers (and its approximation, when asked for),
// passes the formula on to the renderer it wraps with the approximation
// attached, prints the numbers after it (--eval, text output) and keeps
// them for the plots and the report written after the run.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "analysis/approximation.h"
#include "analysis/element_values.h"
#include "analysis/formula_sink.h"
#include "analysis/numeric_summary.h"
#include "model/network_store.h"
#include "support/output.h"

namespace velkor {

// What a run's formulas gave, in output order.
struct NumericResults {
  struct Entry {
    int netlist = 0;       // 1 for the first netlist of the run
    std::string heading;   // the formula's heading line
    // The elements written as numbers in the formula ("r1 = 10000, u = 1"),
    // empty when none is.
    std::string atValues{};
    std::string mathml;    // the typeset formula, when kept for the report
    NumericSummary summary;
    // The approximation, when one was asked for: what it is, and for a
    // simplified one its typeset form and numbers.
    struct Approximated {
      std::string caption;
      bool simplified = false;
      std::string mathml;
      NumericFormula formula;
    };
    std::optional<Approximated> approximation;
  };
  std::vector<Entry> formulas;
  std::set<std::string> symbols;  // every symbol of every netlist analysed
  int netlists = 0;               // netlists that gave a formula
  // Formulas whose value at the element values disagrees with nodal
  // analysis of the same netlist: each one line, an internal fault.
  std::vector<std::string> faults;
  int crossChecks = 0;  // formulas compared with nodal analysis
};

struct NumericSettings {
  const ElementValues* values = nullptr;
  bool evaluate = false;   // --eval: the numbers after each formula (text) or in its entry (JSON)
  bool keep = false;       // keep the summaries for plots and report
  bool typeset = false;    // keep each formula as MathML for the report
  // --approx: each formula's approximation (nullptr: none).
  const ApproximationSettings* approximation = nullptr;
};

class NumericSink final : public FormulaSink {
 public:
  NumericSink(FormulaSink& inner, Output& out, const NumericSettings& settings, NumericResults& results)
      : inner_(inner), out_(out), settings_(settings), results_(results) {}
  void formulaStarted(const FinishedFormula& formula) override { inner_.formulaStarted(formula); }
  void formulaFinished(const FinishedFormula& formula) override;
  void message(std::string_view text) override { inner_.message(text); }
  void listing(std::string_view text) override { inner_.listing(text); }
  // The "numeric" member of the formula being passed on (for a JSON
  // document's entries), or nothing.
  std::string currentJson() const;
  // The same numbers as LaTeX for a LaTeX document (`bodyOnly`: the
  // equations alone), or nothing.
  std::string currentLatex(const FinishedFormula& formula, bool bodyOnly) const;
  // Set when the sink wraps the text renderer: the --eval block follows
  // each formula.
  void printTextBlocks(bool print) { printText_ = print; }
  // The netlist whose formulas come next, as read (before the analysis
  // changes the store): each formula is checked against its nodal analysis.
  void setNetwork(const NetworkStore& store);

 private:
  FormulaSink& inner_;
  Output& out_;
  const NumericSettings& settings_;
  NumericResults& results_;
  bool printText_ = false;
  const NumericSummary* current_ = nullptr;
  std::unique_ptr<NetworkStore> network_;

  void numbersOnly(const FinishedFormula& formula);
  void crossCheck(const FinishedFormula& formula, const NumericSummary& summary);
};

}  // namespace velkor

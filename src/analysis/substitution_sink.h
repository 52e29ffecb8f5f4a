// Chosen elements written as numbers in every finished formula of a run
// (--numeric, --symbolic): a sink that substitutes the values into each
// formula and passes the result on to the sink it wraps, and keeps what
// the run saw for the checks after it.
#pragma once

#include <set>
#include <string>
#include <string_view>

#include "analysis/element_values.h"
#include "analysis/formula_sink.h"
#include "analysis/value_substitution.h"

namespace velkor {

// What the formulas of a run held of the chosen elements.
struct SubstitutionRecord {
  std::set<std::string> symbols;       // every symbol of every netlist that gave a formula
  std::set<std::string> withoutValue;  // chosen symbols left as symbols for want of a value
  int mixedUnits = 0;                  // formulas in mixed ohm units, passed on unchanged
};

class SubstitutionSink final : public FormulaSink {
 public:
  SubstitutionSink(FormulaSink& inner, const NumericChoice& choice, const ElementValues& values,
                   SubstitutionRecord& record)
      : inner_(inner), choice_(choice), values_(values), record_(record) {}
  void formulaStarted(const FinishedFormula& formula) override { inner_.formulaStarted(formula); }
  // A finished formula with both polynomials, in ohm units, is passed on
  // with its chosen symbols at their values; a formula that holds none of
  // them, one in mixed units (whose symbols stand for reciprocals) and a
  // failure are passed on as they are.
  void formulaFinished(const FinishedFormula& formula) override;
  void message(std::string_view text) override { inner_.message(text); }
  void listing(std::string_view text) override { inner_.listing(text); }

 private:
  FormulaSink& inner_;
  const NumericChoice& choice_;
  const ElementValues& values_;
  SubstitutionRecord& record_;
};

}  // namespace velkor

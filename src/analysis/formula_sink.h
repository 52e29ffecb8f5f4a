// Where the analysis hands what it produces, in output order: each
// parameter's formula (announced when its work starts, then finished), the
// messages of the analysis and its listings. Renderers are sinks; a sink
// may wrap another and add to what it shows.
#pragma once

#include <string_view>

#include "analysis/finished_formula.h"

namespace velkor {

class FormulaSink {
 public:
  virtual ~FormulaSink() = default;
  // A parameter whose formula is about to be finished: only the parameter
  // fields (name, heading, topological formula, trace) are filled.
  virtual void formulaStarted(const FinishedFormula& formula) = 0;
  // The same formula, finished (or failed).
  virtual void formulaFinished(const FinishedFormula& formula) = 0;
  // A message of the analysis, as printed (lines with their line ends).
  virtual void message(std::string_view text) = 0;
  // A listing of the analysis, as printed.
  virtual void listing(std::string_view text) = 0;
};

}  // namespace velkor

// Where the analysis hands what it produces, in output order: each
// parameter's formula (announced when its work starts, then finished), the
// messages of the analysis and its listings. Renderers are sinks; a sink
// may wrap another and add to what it shows.
#pragma once

#include <memory>
#include <string_view>

#include "analysis/finished_formula.h"

namespace velkor {

class Output;

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
  // A sink of the same kind that prints a formula into `text`, for a
  // formula finished on another thread; nullptr when this sink cannot (it
  // keeps state from one formula to the next, or writes to more than one
  // place). What it printed is handed back through printedApart.
  virtual std::unique_ptr<FormulaSink> printingInto(Output& text) const {
    (void)text;
    return nullptr;
  }
  virtual void printedApart(std::string_view text) { listing(text); }
};

}  // namespace velkor

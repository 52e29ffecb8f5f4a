// A whole run's results as one document (JSON, LaTeX): a formula sink that
// also hears where the run and each netlist begin and end, and writes as it
// goes.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/formula_sink.h"

namespace velkor {

// Reads a text in pieces (each piece whole lines where the text has them);
// for texts that may be too large to hold.
using TextReader = std::function<void(const std::function<void(std::string_view)>& piece)>;

struct NetlistRecord {
  int number = 0;
  std::string input;                  // the echoed netlist, as the text output shows it
  std::vector<std::string> messages;  // errors and warnings about it, in order
  bool traced = false;                // the netlist asked for listings
  TextReader trace;                   // the listings' text, when traced
};

enum class DocumentFormat { kText, kJson, kLatex, kLatexBody };

class FormulaDocument : public FormulaSink {
 public:
  virtual void beginRun() = 0;
  // After the netlist is read, before its analysis: number and input are set.
  virtual void beginNetlist(const NetlistRecord& netlist) = 0;
  // After its analysis: messages and trace are set as well.
  virtual void endNetlist(const NetlistRecord& netlist) = 0;
  virtual void endRun() = 0;

  // More members for each parameter's entry, where the format has them
  // (JSON): the function returns them as text ("\"key\": value, ...") or
  // nothing. Formats without such entries ignore it.
  using ParameterExtra = std::function<std::string(const FinishedFormula&)>;
  virtual void addToParameters(ParameterExtra) {}
};

}  // namespace velkor

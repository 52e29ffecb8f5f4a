// The HTML report: one self-contained page (no script, no external
// resource) with each netlist, the element values, every requested
// parameter as a MathML formula with its numeric form and its poles and
// zeros, and the Bode plot and pole-zero map inline. Its style sheet lays
// the page out for wide screens and for narrow ones (400 px) alike.
#pragma once

#include <string>
#include <vector>

#include "analysis/element_values.h"
#include "analysis/numeric_summary.h"

namespace velkor {

// One parameter, typeset while its formula is at hand (a finished
// formula's terms are only visited while it is being written).
struct ReportFormula {
  std::string heading;     // what the parameter is (the text output's heading line)
  std::string mathml;      // mathmlFormula()
  NumericSummary numeric;  // its name is the parameter's name
  // Its approximation, when one was asked for: what it is, and when terms
  // were dropped, the kept ones typeset (shown beside the exact formula).
  std::string approximationCaption;
  std::string approximationMathml;
  std::string atValues{};  // the elements written as numbers in it, if any
};

struct ReportNetlist {
  std::string text;  // the netlist as read (empty: not shown)
  std::vector<ReportFormula> formulas;
};

struct ReportInput {
  std::string title;
  std::string inputText;  // the whole input as read (empty: not shown)
  std::vector<ReportNetlist> netlists;
  const ElementValues* values = nullptr;
  std::vector<std::string> unusedValues;  // names given a value that no netlist has
  std::string bodeSvg;                    // empty: no plot
  std::string poleZeroSvg;
};

std::string htmlReport(const ReportInput& input);

}  // namespace velkor

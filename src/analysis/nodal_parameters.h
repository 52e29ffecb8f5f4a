// Numbers without formulas: every requested parameter of the netlist just
// read, by nodal analysis at the element values, handed to the sink with
// its heading and no formula (outcome kNoFormula).
#pragma once

#include "analysis/element_values.h"
#include "numeric/nodal_circuit.h"

namespace velkor {

struct AnalysisContext;
class FormulaSink;

// A parameter whose equations are singular for every s is warned about as
// the formula path warns about a 0/0 formula.
void analyseNetlistNumerically(AnalysisContext& ctx, FormulaSink& sink, const ElementValues& values);

// The values as the nodal engine looks them up (kept by reference).
ValueLookup valueLookup(const ElementValues& values);

}  // namespace velkor

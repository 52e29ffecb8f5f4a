// A finished formula at the element values against nodal analysis of the
// same netlist: two computations that share nothing but the netlist and
// the values, so a disagreement beyond rounding is a fault of the program.
#pragma once

#include <optional>
#include <string>

#include "analysis/numeric_formula.h"
#include "numeric/nodal_circuit.h"

namespace velkor {

// Compares the two at a few frequencies around the circuit's own; returns
// what disagrees (one line), or nothing when they agree within 1e-7
// relative beyond the rounding bounds of both.
std::optional<std::string> formulaDisagreement(const NumericFormula& formula, const NumericCircuit& circuit);

}  // namespace velkor

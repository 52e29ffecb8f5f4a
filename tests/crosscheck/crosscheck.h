// Compares printed formulas with the nodal analysis at random exact points,
// and generates random netlists for that comparison.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "crosscheck/netlist_model.h"
#include "crosscheck/nodal_analysis.h"
#include "crosscheck/printed_formulas.h"

namespace velkor::crosscheck {

using Random = std::mt19937_64;

// A nonzero rational p/q with |p| and q up to `range`, negative with
// probability one half when `signed_` is set.
Rational randomRational(Random& random, int range, bool signed_);

// A value for every element name of the netlist and for Y0 and Z0.
Values randomValues(const Netlist& netlist, Random& random);

// Element values for numeric comparisons: log-uniform in each element
// kind's usual range, gains of either sign, and Y0 and Z0.
NumericValues randomElementValues(const Netlist& netlist, Random& random);

struct CheckSummary {
  int formulas = 0;        // printed formulas read
  int comparisons = 0;     // (formula, point) pairs compared
  int undefinedSkips = 0;  // points where both sides say undefined
  std::vector<std::string> failures;
};

// Checks the output of one run over `netlists`: every netlist must print
// exactly its requested rows, in table order, and every printed formula must
// equal the parameter's definition at `points` random points.
CheckSummary checkRun(const std::vector<Netlist>& netlists, const std::string& output, int points,
                      std::uint64_t seed);
// The same check on formulas already read (from a JSON document, say).
CheckSummary checkRun(const std::vector<Netlist>& netlists, std::vector<PrintedNetlist> printed, int points,
                      std::uint64_t seed);

// Size limits of a random netlist.
struct NetlistShape {
  int maxNodes = 7;          // at least 3
  int maxExtraOnePorts = 2;  // beyond the tree that connects all nodes
  int maxTwoPorts = 2;       // at least 1
};

// A connected random netlist on 3 to shape.maxNodes nodes: a tree of
// one-port elements over all nodes, more one-ports, and two-port elements,
// the first of kind `mustHave`. It requests every parameter, or a random
// selection of them.
Netlist randomNetlist(Random& random, ElementKind mustHave, int normalization, bool allRows,
                      const NetlistShape& shape = {});

}  // namespace velkor::crosscheck

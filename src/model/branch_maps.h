// Per-branch classification: symbol, power of s, class code, ohm symbols.
#pragma once

#include "support/capacities.h"

namespace velkor {

struct NetworkStore;
class Output;

// Class codes held in fmap / dmap.
enum BranchClass : int {
  kClassAdmittance = 0,
  kClassNullor = 1,
  kClassPort1 = 2,  // "f" or "f1"
  kClassPort2 = 4,  // "f2"
  kClassUnit = 16,
};

struct BranchMaps {
  int branchmap[kNameSlots] = {};
  int powermap[kNameSlots] = {};
  int fmap[kNameSlots] = {};
  int impedanceSymbols[kNameSlots] = {};
  int impedanceCount = 0;
  // Ohm-unit multiplier exponent of each symbol (filled while printing).
  int ohmExponents[kSymbolSlots] = {};
};

// The lowest slot whose name equals the name in slot b (a slot without
// one is reported on `out` and kept).
int canonicalBranch(Output& out, const NetworkStore& store, int b);
// Fills every map of `maps` from the names in the store and sets the
// ohm-unit multipliers to 0.
void buildBranchMaps(Output& out, const NetworkStore& store, BranchMaps& maps);

}  // namespace velkor

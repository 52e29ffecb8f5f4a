// Reads one netlist into the store, echoing it and expanding every element.
#pragma once

namespace velkor {

struct AnalysisContext;

// 0 when a complete netlist is ready for analysis; 1 ends the run.
int readNetlist(AnalysisContext& ctx);

// The internal representation listing (trace bit 1); `embedded` adds the
// line that says the scattering circuitry is included.
void printInternalRepresentation(AnalysisContext& ctx, bool embedded);

}  // namespace velkor

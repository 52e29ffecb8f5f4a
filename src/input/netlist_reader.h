// Reads one netlist into the store, echoing it and expanding every element.
#pragma once

namespace velkor {

struct ReaderContext;

// 0 when a complete netlist is ready for analysis; 1 ends the run.
int readNetlist(ReaderContext& ctx);

}  // namespace velkor

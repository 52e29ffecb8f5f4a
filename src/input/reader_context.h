// What reading a netlist works with: the input, the output that echoes it
// and carries the reader's messages, the character the token reader holds
// over, and the store and maps it fills. Everything belongs to the run and
// is bound by reference.
#pragma once

#include "model/branch_maps.h"
#include "model/network_store.h"
#include "support/char_source.h"
#include "support/output.h"

namespace velkor {

struct ReaderContext {
  CharSource& in;
  Output& out;
  // The last character taken from the input, kept for the run.
  char& pendingChar;
  NetworkStore& store;
  BranchMaps& maps;

  bool traced(int bits) const { return (store.traceBits & bits) != 0; }
};

}  // namespace velkor

// The internal representation listing of the network in the store.
#pragma once

#include "model/network_store.h"
#include "support/output.h"

namespace velkor {

// Prints the listing; `embedded` adds the line that says the scattering
// circuitry is included.
void printInternalRepresentation(Output& out, const NetworkStore& store, bool embedded);

}  // namespace velkor

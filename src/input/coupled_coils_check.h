// The warning for the usual slip in writing coupled coils: an l element
// across a winding of an m entry. An m is the mutual coupling alone (open
// circuit impedance matrix [[0, sM], [sM, 0]]); a coil's self-inductance is
// an l in series with its winding, so an l in parallel with a winding gives
// a network that no transformer has, and a formula without a word of why.
#pragma once

namespace velkor {

struct ReaderContext;

// Notes an m entry just expanded: the name slot of its first half and its
// terminals +out -out +in -in as internal nodes.
void noteMutualEntry(ReaderContext& ctx, int slot, const int (&nodes)[4]);

// After the end entry: a warning at every l element whose two nodes are
// the two terminals of a winding of an m (in either order), with the
// netlist's own labels rewritten as a coupled pair.
void checkCoilsAcrossWindings(ReaderContext& ctx);

}  // namespace velkor

// The internal representation listing (trace bit 1): every edge with its
// internal node numbers, the port designator, the node numbering and the
// name slots.
#include "model/internal_listing.h"

namespace velkor {

namespace {

const char* nameOf(const NetworkStore& s, int slot) {
  return slot >= 0 && slot < kNameSlots ? s.branchNames[slot] : "";
}

}  // namespace

void printInternalRepresentation(Output& out, const NetworkStore& s, bool embedded) {
  out.print("Internal representation of data including generated elements and reassigned node#s:\n");
  if (embedded) out.print("this includes embedding circuitry for evaluating scattering parameters.\n");
  out.print("edge,name,node#'s...\n");
  int line = 0;
  for (int i = 1; i <= s.passiveCount && i < kPassiveEdgeSlots; ++i) {
    const PassiveEdge& e = s.passiveEdges[i];
    out.print("%3d %s %d %d\n", ++line, nameOf(s, e.name), e.node1, e.node2);
  }
  for (int i = 1; i <= s.activeCount && i < kActiveEdgeSlots; ++i) {
    const ActiveEdge& e = s.activeEdges[i];
    out.print("%3d %s %d %d %d %d\n", ++line, nameOf(s, e.name), e.outPlus, e.outMinus, e.inPlus,
                  e.inMinus);
  }
  out.print("%3d f %d %d %d %d\n", ++line, s.portNodes[0], s.portNodes[1], s.portNodes[2],
                s.portNodes[3]);
  out.print("internal node#  input node#:\n");
  for (int i = 1; i <= s.nodeCount; ++i)
    out.print("         %5d    %d\n", i, i < kNodeSlots ? s.nodeList[i] : 0);
  out.print("\nedge namelist: index, value\n");
  for (int i = 1; i <= s.nameCount && i < kNameSlots; ++i) out.print("%3d, %s\n", i, s.branchNames[i]);
  out.print("\n");
}

}  // namespace velkor

#include "input/coupled_coils_check.h"

#include "input/reader_context.h"

namespace velkor {

namespace {

// Whether `label` is the label of an input node of the netlist.
bool labelUsed(const NetworkStore& s, int label) {
  for (int v = 1; v <= s.nodeCount && v < kNodeSlots; ++v)
    if (s.nodeList[v] == label) return true;
  return false;
}

// The smallest node label after `after` that the netlist does not use, for
// the node between a coil and its winding in the suggestion (after itself
// when every label is taken, which a netlist of 34 nodes cannot reach).
int freeLabel(const NetworkStore& s, int after) {
  for (int label = after + 1; label <= kMaxNodeLabel; ++label)
    if (!labelUsed(s, label)) return label;
  return after;
}

bool isCoil(const ReaderContext& ctx, int slot) {
  if (slot < 2 || slot >= kNameSlots || ctx.marks.fullName[slot][0] == 0) return false;
  const char c = ctx.store.branchNames[slot][0];
  return c == 'l' || c == 'L';
}

}  // namespace

void noteMutualEntry(ReaderContext& ctx, int slot, const int (&nodes)[4]) {
  InputMarks& m = ctx.marks;
  if (m.mutualCount >= kMutualMarks) return;
  MutualMark& mark = m.mutuals[m.mutualCount++];
  mark.slot = slot;
  for (int k = 0; k < 4; ++k) mark.nodes[k] = nodes[k];
}

void checkCoilsAcrossWindings(ReaderContext& ctx) {
  const NetworkStore& s = ctx.store;
  const InputMarks& m = ctx.marks;
  int suggested = 0;  // the last label offered as a new node
  for (int p = 2; p <= s.passiveCount && p < kPassiveEdgeSlots; ++p) {
    const PassiveEdge& coil = s.passiveEdges[p];
    if (!isCoil(ctx, coil.name)) continue;
    for (int k = 0; k < m.mutualCount; ++k) {
      const MutualMark& mutual = m.mutuals[k];
      // Winding 0 is +out -out, winding 1 +in -in.
      int winding = -1;
      for (int w = 0; w < 2; ++w) {
        const int a = mutual.nodes[2 * w];
        const int b = mutual.nodes[2 * w + 1];
        if ((coil.node1 == a && coil.node2 == b) || (coil.node1 == b && coil.node2 == a)) winding = w;
      }
      if (winding < 0 || mutual.slot < 2 || mutual.slot >= kNameSlots) continue;
      int labels[4];
      for (int t = 0; t < 4; ++t) labels[t] = s.nodeList[mutual.nodes[t]];
      const int plus = labels[2 * winding];
      const int minus = labels[2 * winding + 1];
      suggested = freeLabel(s, suggested);
      int rewritten[4] = {labels[0], labels[1], labels[2], labels[3]};
      rewritten[2 * winding] = suggested;
      const char* mutualName = s.branchNames[mutual.slot];
      ctx.diag.warning(m.nameAt[coil.name],
                       "'%s' is in parallel with the winding %d %d of the mutual inductance '%s' (line %d), which is "
                       "the coupling alone (z12 = z21 = s*%s, no self-inductance): these are not two coupled coils; "
                       "write each coil in series with its winding through a node of its own, for example "
                       "'%s %d %d' and '%s %d %d %d %d', and give %s the value k*sqrt(L1*L2) for a coupling "
                       "factor k",
                       s.branchNames[coil.name], plus, minus, mutualName, m.nameAt[mutual.slot].line, mutualName,
                       s.branchNames[coil.name], plus, suggested, mutualName, rewritten[0], rewritten[1],
                       rewritten[2], rewritten[3], mutualName);
      break;
    }
  }
}

}  // namespace velkor

// The wave-converting circuit added at both ports for scattering
// parameters. Each port gets two nullors, three unit branches and one
// normalizing branch; the new port 1 runs from E1 to j and carries
// voltage V + Z0*I and current Z0*I - V, twice the incident wave and minus
// twice the reflected wave, so the y and chain parameters of the extended
// network are, up to sign, the s and F parameters of the original one.
#include "analysis/scattering_embedding.h"

#include <cstdio>

#include "analysis/analysis_context.h"
#include "input/node_numbering.h"
#include "model/branch_maps.h"
#include "model/internal_listing.h"

namespace velkor {

namespace {

constexpr int kAddedNodes = 8;
constexpr int kAddedActive = 4;
constexpr int kAddedPassive = 8;
constexpr int kAddedNames = kAddedActive + kAddedPassive;

void setName(NetworkStore& s, int slot, const char* name) {
  std::snprintf(s.branchNames[slot], kNameChars, "%s", name);
}

const char* normalizingName(int normalization) {
  if (normalization == 0) return "Y0";
  if (normalization == 1) return "Z0";
  return "a";
}

}  // namespace

void embedScatteringPorts(AnalysisContext& ctx) {
  NetworkStore& s = ctx.store;

  // The reader's limits leave room for the circuit in every table; a store
  // that somehow lacks it is left as it is rather than overrun.
  if (s.nodeCount < 1 || s.nodeCount + kAddedNodes > kMaxGraphNodes ||
      s.passiveCount + kAddedPassive >= kPassiveEdgeSlots || s.activeCount + kAddedActive >= kActiveEdgeSlots ||
      s.nameCount + kAddedNames >= kNameSlots)
    return;

  const int i = s.portNodes[0];
  const int j = s.portNodes[1];
  const int k = s.portNodes[2];
  const int l = s.portNodes[3];

  // Drop the auxiliary node of the reference edge; it is added again after
  // the new nodes so that it stays the highest-numbered node.
  --s.nodeCount;
  int e[kAddedNodes + 1] = {};
  for (int n = 1; n <= kAddedNodes; ++n) e[n] = newNode(ctx);

  s.portNodes[0] = e[1];
  s.portNodes[2] = e[5];

  const int active[kAddedActive][4] = {
      {e[2], j, e[1], e[2]},
      {e[3], j, i, e[4]},
      {e[6], l, e[5], e[6]},
      {e[7], l, k, e[8]},
  };
  for (const auto& row : active) {
    ++s.opampcnt;
    ++s.nameCount;
    ++s.activeCount;
    ActiveEdge& edge = s.activeEdges[s.activeCount];
    edge.name = s.nameCount;
    edge.outPlus = row[0];
    edge.outMinus = row[1];
    edge.inPlus = row[2];
    edge.inMinus = row[3];
    setName(s, s.nameCount, "o");
  }

  const char* normalizing = normalizingName(s.normalization);
  struct PassiveRow {
    const char* name;
    int node1;
    int node2;
  };
  const PassiveRow passive[kAddedPassive] = {
      {"a", e[1], e[3]}, {"a", e[4], e[3]}, {"a", e[4], j},          {"a", e[5], e[7]},
      {"a", e[7], e[8]}, {"a", e[8], l},    {normalizing, e[2], i}, {normalizing, e[6], k},
  };
  for (const auto& row : passive) {
    ++s.nameCount;
    ++s.passiveCount;
    PassiveEdge& edge = s.passiveEdges[s.passiveCount];
    edge.name = s.nameCount;
    edge.node1 = row.node1;
    edge.node2 = row.node2;
    setName(s, s.nameCount, row.name);
  }

  // The reference edge, rebuilt as the end entry builds it.
  s.passiveEdges[1].name = 1;
  s.passiveEdges[1].node1 = s.nodeCount + 1;
  s.passiveEdges[1].node2 = 1;
  setName(s, 1, "x");
  ++s.nodeCount;
  s.nodeList[s.nodeCount] = 0;

  s.analysisPassiveCount = s.passiveCount;
  s.treeSize = s.nodeCount - 1;
  buildBranchMaps(ctx.out, ctx.store, ctx.maps);

  if (ctx.traced(kTraceDump)) printInternalRepresentation(ctx.out, ctx.store, true);
}

}  // namespace velkor

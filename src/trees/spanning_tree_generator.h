// Resumable enumeration of the admissible spanning trees of a graph pair.
#pragma once

#include <cstdint>

#include "support/capacities.h"
#include "trees/enumeration_state.h"

namespace velkor {

struct TreeContext;

// The state of one edge on the live path.
enum class EdgeStatus : int { kTaken = -1, kExcluded = 0, kOpen = 1 };

struct SavedState {
  EdgeStatus edgeStatus[kEdgeSlots];
  int componentLabel[kGraphNodeSlots];
};

struct TreeGenerator {
  EnumerationState generatorState = EnumerationState::kStart;
  EdgeStatus edgeStatus[kEdgeSlots] = {};
  int componentLabel[kGraphNodeSlots] = {};
  int nextLabel = 1;
  SavedState stateStack[kGraphNodeSlots] = {};
  int stackDepth = 0;
  int rawTreeCount = 0;
  int treeEdges[kTreeSlots] = {};  // positions 1 .. N-1
};

// Advances to the next accepted tree of ctx.graph; afterwards
// generator.generatorState is kRunning with a tree in treeEdges, or
// kExhausted.
void nextTree(TreeContext& ctx);

}  // namespace velkor

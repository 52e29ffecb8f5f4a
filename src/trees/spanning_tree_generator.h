// Resumable enumeration of the admissible spanning trees of a graph pair.
#pragma once

#include <cstdint>

#include "support/capacities.h"

namespace velkor {

struct TreeContext;

struct SavedState {
  int edgeStatus[kEdgeSlots];
  int componentLabel[kGraphNodeSlots];
};

enum GeneratorState : int { kGeneratorStart = 0, kGeneratorRunning = 1, kGeneratorExhausted = 2 };

struct TreeGenerator {
  int generatorState = kGeneratorStart;
  int edgeStatus[kEdgeSlots] = {};          // 1 open, 0 excluded, -1 taken
  int componentLabel[kGraphNodeSlots] = {};
  int nextLabel = 1;
  SavedState stateStack[kGraphNodeSlots] = {};
  int stackDepth = 0;
  int rawTreeCount = 0;
  int treeEdges[kTreeSlots] = {};  // positions 1 .. N-1
  std::uint64_t steps = 0;         // edges taken since the enumeration started
};

// Advances to the next accepted tree of ctx.graph; afterwards
// ctx.generator.generatorState is 1 with a tree in treeEdges, or 2.
void nextTree(TreeContext& ctx);

}  // namespace velkor

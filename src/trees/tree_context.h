// What tree enumeration and the tree product work with: the network and
// its maps (read only), the graph pair, the generators and the product's
// scratch, the run's settings and statistics, and the polynomial code's
// context for accumulating the products. Everything belongs to the run and
// is bound by reference.
#pragma once

#include <cstdint>

#include "model/branch_maps.h"
#include "model/network_store.h"
#include "poly/poly_context.h"
#include "support/output.h"
#include "support/work_meter.h"
#include "trees/common_tree_enumerator.h"
#include "trees/graph_pair.h"
#include "trees/spanning_tree_generator.h"
#include "trees/tree_product.h"

namespace velkor {

// Work counted over a whole run, for benchmarks.
struct RunStatistics {
  std::uint64_t rawTrees = 0;       // raw trees of the plain enumeration (0 on the fast path)
  std::uint64_t acceptedTrees = 0;  // common trees accumulated
  std::uint64_t terms = 0;          // terms stored in evaluated functions
  std::uint64_t functions = 0;      // topological functions evaluated
  std::uint64_t netlists = 0;       // netlists read to their end
};

struct TreeContext {
  PolyContext& poly;
  Output& out;
  const NetworkStore& store;
  const BranchMaps& maps;
  GraphPair& graph;
  TreeGenerator& generator;
  CommonTreeEnumerator& commonTrees;
  ProductState& product;
  // Interrupts, bounds and progress of each function's enumeration.
  WorkMeter& meter;
  RunStatistics& statistics;

  bool plainPath() const { return poly.plainPath; }
  bool traced(int bits) const { return poly.traced(bits); }
  operator PolyContext&() { return poly; }
};

}  // namespace velkor

#include "trees/dominant_tree_search.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "model/branch_maps.h"
#include "support/work_meter.h"
#include "trees/common_tree_enumerator.h"

namespace velkor {

namespace {

constexpr int kForced = kClassNullor | kClassPort1 | kClassPort2;
constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();
// Log magnitudes are sums of a few dozen doubles: a bound within this of
// its threshold still counts as reaching it.
constexpr double kLogSlack = 1e-9;

// A union-find over the components of a forest, for one completion.
struct Scratch {
  int parent[kGraphNodeSlots];
  int find(int v) {
    while (parent[v] != v) v = parent[v] = parent[parent[v]];
    return v;
  }
};

}  // namespace

struct DominantTreeSearch::State {
  UndoableForest iForest;
  UndoableForest vForest;
  std::uint64_t iJoinedFrom[kEdgeSlots + 1][kGraphNodeSlots] = {};
  std::uint64_t vJoinedFrom[kEdgeSlots + 1][kGraphNodeSlots] = {};
  int taken[kTreeSlots] = {};
  int signs[kTreeSlots] = {};
  int takenCount = 0;
  int needed = 0;
  int frequencies = 0;
  // logOf[k * frequencies + f]: the log magnitude of the first k edges taken.
  std::vector<double> logOf;
  std::vector<double> threshold;
  bool raising = false;  // the largest-tree mode: thresholds follow the best tree
  const Visit* visit = nullptr;
  WorkMeter* meter = nullptr;
  bool stopped = false;
};

DominantTreeSearch::DominantTreeSearch(const GraphPair& g, std::vector<std::vector<double>> edgeLog)
    : g_(g), edgeLog_(std::move(edgeLog)) {
  byWeight_.resize(edgeLog_.size());
  for (std::size_t f = 0; f < edgeLog_.size(); ++f) {
    std::vector<int>& order = byWeight_[f];
    for (int e = 1; e <= g_.edges; ++e)
      if (edgeLog_[f][static_cast<std::size_t>(e)] > kMinusInfinity) order.push_back(e);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
      return edgeLog_[f][static_cast<std::size_t>(a)] > edgeLog_[f][static_cast<std::size_t>(b)];
    });
  }
}

double DominantTreeSearch::completionBound(const State& st, int f, int edge) const {
  const int missing = st.needed - st.takenCount;
  if (missing == 0) return 0;
  double best = std::numeric_limits<double>::infinity();
  for (int side = 0; side < 2; ++side) {
    const UndoableForest& forest = side == 0 ? st.iForest : st.vForest;
    const EdgeEnds& ends = side == 0 ? g_.iGraph : g_.vGraph;
    Scratch s;
    for (int v = 0; v <= g_.actual_nodes; ++v) s.parent[v] = forest.label[v];
    double sum = 0;
    int joined = 0;
    for (int e : byWeight_[static_cast<std::size_t>(f)]) {
      if (e < edge) continue;
      const int a = s.find(ends.d1[e]), b = s.find(ends.d2[e]);
      if (a == b) continue;
      s.parent[a] = b;
      sum += edgeLog_[static_cast<std::size_t>(f)][static_cast<std::size_t>(e)];
      if (++joined == missing) break;
    }
    if (joined < missing) return kMinusInfinity;
    best = std::min(best, sum);
  }
  return best;
}

bool DominantTreeSearch::promising(State& st, int edge) {
  const double* partial = st.logOf.data() + static_cast<std::size_t>(st.takenCount) * static_cast<std::size_t>(st.frequencies);
  for (int f = 0; f < st.frequencies; ++f) {
    const double threshold = st.threshold[static_cast<std::size_t>(f)];
    if (partial[f] == kMinusInfinity) continue;
    if (threshold == kMinusInfinity) return true;
    const double bound = partial[f] + completionBound(st, f, edge);
    if (st.raising ? bound > threshold + kLogSlack * (1 + std::fabs(threshold))
                   : bound >= threshold - kLogSlack * (1 + std::fabs(threshold)))
      return true;
  }
  return false;
}

bool DominantTreeSearch::search(State& st, int edge) {
  ++visited_;
  if (!st.meter->step()) {
    st.stopped = true;
    return false;
  }
  const std::size_t F = static_cast<std::size_t>(st.frequencies);
  if (st.takenCount == st.needed) {
    for (int e = edge; e <= g_.edges; ++e)
      if ((g_.dmap[e] & kForced) != 0) return true;
    const double* logs = st.logOf.data() + static_cast<std::size_t>(st.takenCount) * F;
    bool wanted = false;
    for (std::size_t f = 0; f < F; ++f) {
      const double threshold = st.threshold[f];
      if (logs[f] == kMinusInfinity) continue;
      if (st.raising) {
        if (logs[f] > threshold) st.threshold[f] = logs[f];
      } else if (logs[f] >= threshold - kLogSlack * (1 + std::fabs(threshold))) {
        wanted = true;
      }
    }
    if (wanted) (*st.visit)(st.taken, st.takenCount, st.signs[st.takenCount]);
    return true;
  }
  if (edge > g_.edges || g_.edges - edge + 1 < st.needed - st.takenCount) return true;
  if (!promising(st, edge)) return true;

  const bool forced = (g_.dmap[edge] & kForced) != 0;
  const int ia = g_.iGraph.d1[edge], ib = g_.iGraph.d2[edge];
  const int va = g_.vGraph.d1[edge], vb = g_.vGraph.d2[edge];
  if (st.iForest.find(ia) != st.iForest.find(ib) && st.vForest.find(va) != st.vForest.find(vb)) {
    st.iForest.unite(ia, ib);
    st.vForest.unite(va, vb);
    const int k = st.takenCount;
    st.signs[k + 1] = st.signs[k] * st.iForest.lastSign * st.vForest.lastSign;
    st.taken[k] = edge;
    double* from = st.logOf.data() + static_cast<std::size_t>(k) * F;
    for (std::size_t f = 0; f < F; ++f) from[F + f] = from[f] + edgeLog_[f][static_cast<std::size_t>(edge)];
    ++st.takenCount;
    const bool going = search(st, edge + 1);
    --st.takenCount;
    st.iForest.undoLast();
    st.vForest.undoLast();
    if (!going) return false;
  }
  if (forced) return true;
  if (!endsStillJoined(st.iForest, g_.iGraph, st.iJoinedFrom, edge) ||
      !endsStillJoined(st.vForest, g_.vGraph, st.vJoinedFrom, edge))
    return true;
  return search(st, edge + 1);
}

namespace {

bool validPair(const GraphPair& g) {
  if (g.minty_nodes < 1 || g.minty_nodes > kMaxGraphNodes || g.actual_nodes != g.minty_nodes - 1) return false;
  if (g.edges < 1 || g.edges >= kEdgeSlots || g.actual_nodes - 1 >= kTreeSlots) return false;
  for (int e = 2; e <= g.edges; ++e) {
    const int ends[4] = {g.iGraph.d1[e], g.iGraph.d2[e], g.vGraph.d1[e], g.vGraph.d2[e]};
    for (int node : ends)
      if (node < 1 || node > g.actual_nodes) return false;
  }
  return true;
}

}  // namespace

bool DominantTreeSearch::collect(const std::vector<double>& thresholdLog, const Visit& visit, WorkMeter& meter) {
  visited_ = 0;
  if (!validPair(g_) || thresholdLog.size() != edgeLog_.size()) return true;
  auto st = std::make_unique<State>();
  st->frequencies = static_cast<int>(edgeLog_.size());
  st->threshold = thresholdLog;
  st->visit = &visit;
  st->meter = &meter;
  const int nodes = g_.actual_nodes;
  st->needed = nodes - 1;
  labelSuffixes(g_.iGraph, g_.edges, nodes, st->iJoinedFrom);
  labelSuffixes(g_.vGraph, g_.edges, nodes, st->vJoinedFrom);
  const std::uint64_t allNodes = ((std::uint64_t{1} << (nodes + 1)) - 1) & ~std::uint64_t{1};
  if (st->iJoinedFrom[2][1] != allNodes || st->vJoinedFrom[2][1] != allNodes) return true;
  st->iForest.reset(nodes);
  st->vForest.reset(nodes);
  st->signs[0] = 1;
  st->logOf.assign(static_cast<std::size_t>(st->needed + 1) * edgeLog_.size(), 0.0);
  // Edge 1, the reference edge, is never part of a tree.
  search(*st, 2);
  return !st->stopped;
}

bool DominantTreeSearch::largest(std::vector<double>& largest, WorkMeter& meter) {
  largest.assign(edgeLog_.size(), kMinusInfinity);
  Visit none = [](const int*, int, int) {};
  visited_ = 0;
  if (!validPair(g_)) return true;
  auto st = std::make_unique<State>();
  st->frequencies = static_cast<int>(edgeLog_.size());
  st->threshold = largest;
  st->raising = true;
  st->visit = &none;
  st->meter = &meter;
  const int nodes = g_.actual_nodes;
  st->needed = nodes - 1;
  labelSuffixes(g_.iGraph, g_.edges, nodes, st->iJoinedFrom);
  labelSuffixes(g_.vGraph, g_.edges, nodes, st->vJoinedFrom);
  const std::uint64_t allNodes = ((std::uint64_t{1} << (nodes + 1)) - 1) & ~std::uint64_t{1};
  if (st->iJoinedFrom[2][1] != allNodes || st->vJoinedFrom[2][1] != allNodes) return true;
  st->iForest.reset(nodes);
  st->vForest.reset(nodes);
  st->signs[0] = 1;
  st->logOf.assign(static_cast<std::size_t>(st->needed + 1) * edgeLog_.size(), 0.0);
  search(*st, 2);
  largest = st->threshold;
  return !st->stopped;
}

}  // namespace velkor

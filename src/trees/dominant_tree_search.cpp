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

static_assert(kEdgeSlots <= 128, "two words of edge bits");

struct DominantTreeSearch::Completion {
  bool known = false;  // worked out for this node (otherwise to be, when asked for)
  double value = 0;
  std::uint64_t edges[2] = {0, 0};  // one bit per edge
  bool has(int e) const { return ((edges[e >> 6] >> (e & 63)) & 1) != 0; }
  void add(int e) { edges[e >> 6] |= std::uint64_t{1} << (e & 63); }
  void remove(int e) { edges[e >> 6] &= ~(std::uint64_t{1} << (e & 63)); }
};

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
  const Visit* visit = nullptr;
  WorkMeter* meter = nullptr;
  bool stopped = false;
  // completion[edge * frequencies * 2 + f * 2 + side]: the heaviest
  // completion of the partial tree at the node deciding `edge`, in one
  // graph, with the edges it uses.
  std::vector<Completion> completion;
  Completion& at(int edge, int f, int side) {
    return completion[(static_cast<std::size_t>(edge) * static_cast<std::size_t>(frequencies) +
                       static_cast<std::size_t>(f)) * 2 + static_cast<std::size_t>(side)];
  }
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

void DominantTreeSearch::complete(const State& st, int f, int side, int edge, Completion& out) const {
  const int missing = st.needed - st.takenCount;
  out.known = true;
  out.value = 0;
  out.edges[0] = out.edges[1] = 0;
  if (missing == 0) return;
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
    out.add(e);
    if (++joined == missing) break;
  }
  if (joined < missing) {
    out.value = kMinusInfinity;
    out.edges[0] = out.edges[1] = 0;
    return;
  }
  out.value = sum;
}

// The completions of the node after `edge` was decided, from those of the
// node before: a heaviest completion stays one when an edge outside it is
// left out, and loses just that edge when an edge inside it is taken
// (contracting an element of a heaviest basis); only the others are
// worked out again.
void DominantTreeSearch::derive(State& st, int edge, bool taken) {
  for (int f = 0; f < st.frequencies; ++f)
    for (int side = 0; side < 2; ++side) {
      const Completion& before = st.at(edge, f, side);
      Completion& after = st.at(edge + 1, f, side);
      const bool inside = before.has(edge);
      if (!before.known) {
        after.known = false;
      } else if (taken && inside) {
        after = before;
        after.remove(edge);
        after.value = before.value - edgeLog_[static_cast<std::size_t>(f)][static_cast<std::size_t>(edge)];
      } else if (!taken && !inside && before.value > kMinusInfinity) {
        after = before;
      } else {
        after.known = false;
      }
    }
}

bool DominantTreeSearch::promising(State& st, int edge) {
  const double* partial =
      st.logOf.data() + static_cast<std::size_t>(st.takenCount) * static_cast<std::size_t>(st.frequencies);
  for (int f = 0; f < st.frequencies; ++f) {
    const double threshold = st.threshold[static_cast<std::size_t>(f)];
    if (partial[f] == kMinusInfinity) continue;
    if (threshold == kMinusInfinity) return true;
    const double slack = kLogSlack * (1 + std::fabs(threshold));
    auto reaches = [&](double bound) { return bound >= threshold - slack; };
    // Each graph's completion only when needed: the first that falls short
    // settles this frequency.
    bool short_ = false;
    for (int side = 0; side < 2 && !short_; ++side) {
      Completion& c = st.at(edge, f, side);
      if (!c.known) complete(st, f, side, edge, c);
      short_ = !reaches(partial[f] + c.value);
    }
    if (!short_) return true;
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
      if (logs[f] >= threshold - kLogSlack * (1 + std::fabs(threshold))) wanted = true;
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
    derive(st, edge, true);
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
  derive(st, edge, false);
  return search(st, edge + 1);
}

namespace {

bool validPair(const GraphPair& g) { return validGraphPair(g) && g.actual_nodes - 1 < kTreeSlots; }

}  // namespace

void DominantTreeSearch::start(State& st) const {
  st.logOf.assign(static_cast<std::size_t>(st.needed + 1) * edgeLog_.size(), 0.0);
  st.completion.assign(static_cast<std::size_t>(g_.edges + 2) * edgeLog_.size() * 2, Completion{});
  for (int f = 0; f < st.frequencies; ++f)
    for (int side = 0; side < 2; ++side) st.at(2, f, side).known = false;
}

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
  start(*st);
  // Edge 1, the reference edge, is never part of a tree.
  search(*st, 2);
  return !st->stopped;
}

std::vector<double> DominantTreeSearch::ceiling() const {
  std::vector<double> ceiling(edgeLog_.size(), kMinusInfinity);
  if (!validPair(g_)) return ceiling;
  auto st = std::make_unique<State>();
  st->frequencies = static_cast<int>(edgeLog_.size());
  st->needed = g_.actual_nodes - 1;
  st->iForest.reset(g_.actual_nodes);
  st->vForest.reset(g_.actual_nodes);
  for (int f = 0; f < st->frequencies; ++f) {
    Completion i, v;
    complete(*st, f, 0, 2, i);
    complete(*st, f, 1, 2, v);
    ceiling[static_cast<std::size_t>(f)] = std::min(i.value, v.value);
  }
  return ceiling;
}

}  // namespace velkor

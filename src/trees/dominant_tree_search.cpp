#include "trees/dominant_tree_search.h"

#include <algorithm>
#include <cmath>
#include <iterator>
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

// The unions one completion makes over a forest's components, without
// copying the forest: only roots are ever joined, and a root's entry here
// counts only when stamped with the completion under way.
struct Joins {
  std::uint32_t stamp[kGraphNodeSlots] = {};
  int parent[kGraphNodeSlots] = {};
  std::uint32_t now = 0;
  void begin() {
    if (++now == 0) {
      std::fill(std::begin(stamp), std::end(stamp), 0u);
      now = 1;
    }
  }
  int find(const int* label, int v) {
    int r = label[v];
    while (stamp[r] == now) {
      const int p = parent[r];
      if (stamp[p] == now) parent[r] = parent[p];  // halves the path
      r = p;
    }
    return r;
  }
  void join(int root, int other) {
    stamp[root] = now;
    parent[root] = other;
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
  // fallenShort[edge * words + k]: bit f set when the node deciding `edge`, or
  // one above it, fell short of the threshold at frequency f. A node's
  // bound is at most its parent's (taking an edge or leaving one out only
  // narrows the completions), so the whole subtree falls short there too.
  std::vector<std::uint64_t> fallenShort;
  int words = 0;
  // hit[edge]: the frequency at which the node deciding `edge` reached its
  // threshold, tried first by its children.
  std::vector<int> hit;
  Joins joins;  // a completion's scratch
  const Visit* visit = nullptr;
  WorkMeter* meter = nullptr;
  bool stopped = false;
  std::uint64_t visited = 0;
  // Shared with other jobs: the units met so far, and the one this job
  // searches next (-1 while counting: none).
  const Units* units = nullptr;
  int unitsMet = 0;
  int claimed = -1;
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
  for (int side = 0; side < 2; ++side) {
    sideLog_[side].assign(edgeLog_.size(), std::vector<double>());
    byWeight_[side].assign(edgeLog_.size(), std::vector<int>());
    fromEdge_[side].assign(edgeLog_.size(), std::vector<OpenEdge>());
    fromStart_[side].assign(edgeLog_.size(), std::vector<int>());
    fromSum_[side].assign(edgeLog_.size(), std::vector<double>());
  }
  for (std::size_t f = 0; f < edgeLog_.size(); ++f) split(static_cast<int>(f));
  for (std::size_t f = 0; f < edgeLog_.size(); ++f)
    for (int side = 0; side < 2; ++side)
      lists_.push_back(Lists{fromEdge_[side][f].data(), fromStart_[side][f].data(), fromSum_[side][f].data(),
                             sideLog_[side][f].data()});
}

namespace {

// The heaviest spanning tree of one graph over the usable edges from edge
// 2 on that holds the forced ones (greedy in `order`: forced edges, then
// the others heaviest first): its weight under `weight` and its edges
// marked in `in`; -inf when the edges span no tree.
double heaviestTree(const EdgeEnds& ends, int nodes, const std::vector<int>& order, const std::vector<double>& weight,
                    std::vector<char>& in) {
  Scratch s;
  for (int v = 0; v <= nodes; ++v) s.parent[v] = v;
  std::fill(in.begin(), in.end(), 0);
  double sum = 0;
  int joined = 0;
  for (int e : order) {
    if (e < 2) continue;
    const int a = s.find(ends.d1[e]), b = s.find(ends.d2[e]);
    if (a == b) continue;
    s.parent[a] = b;
    sum += weight[static_cast<std::size_t>(e)];
    in[static_cast<std::size_t>(e)] = 1;
    if (++joined == nodes - 1) return sum;
  }
  return kMinusInfinity;
}

}  // namespace

void DominantTreeSearch::split(int f) {
  const std::size_t F = static_cast<std::size_t>(f);
  const std::vector<double>& w = edgeLog_[F];
  std::vector<int> usable;
  for (int e = 1; e <= g_.edges; ++e)
    if (w[static_cast<std::size_t>(e)] > kMinusInfinity) usable.push_back(e);
  std::vector<double> share[2];
  auto sortBy = [&](int side) {
    std::vector<int>& order = byWeight_[side][F];
    order = usable;
    const std::vector<double>& weight = share[side];
    // The edges every tree takes (ports, nullors) come first: a completion
    // is the heaviest among those that contain them.
    auto forced = [&](int e) { return (g_.dmap[e] & kForced) != 0; };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
      if (forced(a) != forced(b)) return forced(a);
      return weight[static_cast<std::size_t>(a)] > weight[static_cast<std::size_t>(b)];
    });
  };
  auto divide = [&](const std::vector<double>& l) {
    share[0] = l;
    share[1] = w;
    for (int e : usable) share[1][static_cast<std::size_t>(e)] -= l[static_cast<std::size_t>(e)];
    sortBy(0);
    sortBy(1);
  };
  // Subgradient descent on l: the bound's slope in l_e is 1 when e is in
  // the i-graph's heaviest tree, minus 1 when in the v-graph's, 0 when in
  // both or neither; the two trees agreeing is a common tree, the bound
  // then exact.
  std::vector<double> l(w.size(), 0.0), best;
  for (int e : usable) l[static_cast<std::size_t>(e)] = w[static_cast<std::size_t>(e)] / 2;
  std::vector<char> in[2] = {std::vector<char>(w.size()), std::vector<char>(w.size())};
  double bestBound = std::numeric_limits<double>::infinity();
  double stepSize = 1.0;
  int sinceBetter = 0;
  constexpr int kIterations = 400;
  for (int it = 0; it < kIterations && stepSize > 1e-4; ++it) {
    divide(l);
    const double i = heaviestTree(g_.iGraph, g_.actual_nodes, byWeight_[0][F], share[0], in[0]);
    const double v = heaviestTree(g_.vGraph, g_.actual_nodes, byWeight_[1][F], share[1], in[1]);
    if (i == kMinusInfinity || v == kMinusInfinity) break;  // no tree: any split serves
    if (i + v < bestBound) {
      bestBound = i + v;
      best = l;
      sinceBetter = 0;
    } else if (++sinceBetter >= 5) {
      stepSize /= 2;
      sinceBetter = 0;
    }
    int differ = 0;
    for (int e : usable) differ += in[0][static_cast<std::size_t>(e)] != in[1][static_cast<std::size_t>(e)];
    if (differ == 0) break;
    const double step = stepSize / std::sqrt(static_cast<double>(differ));
    for (int e : usable) {
      const std::size_t k = static_cast<std::size_t>(e);
      l[k] -= step * (in[0][k] - in[1][k]);
    }
  }
  divide(best.empty() ? l : best);
  sideLog_[0][F] = std::move(share[0]);
  sideLog_[1][F] = std::move(share[1]);
  for (int side = 0; side < 2; ++side) {
    std::vector<OpenEdge>& from = fromEdge_[side][F];
    std::vector<int>& start = fromStart_[side][F];
    std::vector<double>& sums = fromSum_[side][F];
    const std::vector<double>& weight = sideLog_[side][F];
    const EdgeEnds& ends = side == 0 ? g_.iGraph : g_.vGraph;
    from.clear();
    sums.clear();
    start.assign(static_cast<std::size_t>(g_.edges + 3), 0);
    for (int e = 2; e <= g_.edges + 1; ++e) {
      start[static_cast<std::size_t>(e)] = static_cast<int>(from.size());
      double sum = 0;
      sums.push_back(sum);
      for (int d : byWeight_[side][F])
        if (d >= e) {
          const std::size_t at = static_cast<std::size_t>(d);
          from.push_back(OpenEdge{d, static_cast<std::uint8_t>(ends.d1[at]), static_cast<std::uint8_t>(ends.d2[at]),
                                  (g_.dmap[at] & kForced) != 0});
          sum += weight[static_cast<std::size_t>(d)];
          sums.push_back(sum);
        }
    }
    start[static_cast<std::size_t>(g_.edges + 2)] = static_cast<int>(from.size());
  }
}

void DominantTreeSearch::complete(State& st, int f, int side, int edge, Completion& out, double floor) const {
  const int missing = st.needed - st.takenCount;
  out.known = true;
  out.value = 0;
  out.edges[0] = out.edges[1] = 0;
  if (missing == 0) return;
  const Lists& lists = lists_[static_cast<std::size_t>(f) * 2 + static_cast<std::size_t>(side)];
  const double* weight = lists.weight;
  const OpenEdge* from = lists.from;
  const std::size_t first = static_cast<std::size_t>(lists.start[edge]);
  const std::size_t last = static_cast<std::size_t>(lists.start[edge + 1]);
  // Sums of the list's runs: the run from k of n edges weighs
  // run[k + n] - run[k] (each edge's list has one more entry here).
  const double* run = lists.sums + (edge - 2);
  // Past the forced edges the list goes by falling weight, so the edges
  // still to join weigh at most as much as the run of as many that comes
  // next: when even that leaves the completion below `floor`, it is given
  // up (unknown, not cached). Fewer edges left in the list than still to
  // join: no completion.
  auto fallsShort = [&](std::size_t k, double sum, int more) {
    return !from[k].forced && sum + (run[k + static_cast<std::size_t>(more)] - run[k]) < floor;
  };
  const int* label = (side == 0 ? st.iForest : st.vForest).label;
  Joins& joins = st.joins;
  joins.begin();
  double sum = 0;
  int joined = 0;
  for (std::size_t k = first; k < last; ++k) {
    const OpenEdge& open = from[k];
    const int e = open.edge;
    if (last - k < static_cast<std::size_t>(missing - joined)) break;
    if (fallsShort(k, sum, missing - joined)) {
      out.known = false;
      out.value = kMinusInfinity;
      return;
    }
    const int a = joins.find(label, open.d1), b = joins.find(label, open.d2);
    if (a == b) continue;
    joins.join(a, b);
    sum += weight[e];
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

double DominantTreeSearch::Lists::ceiling(int edge, int missing) const {
  if (missing == 0) return 0;
  const int first = start[edge], last = start[edge + 1];
  if (last - first < missing) return kMinusInfinity;
  if (from[first].forced) return std::numeric_limits<double>::infinity();
  const double* run = sums + (edge - 2);
  return run[first + missing] - run[first];
}

// The completions of the node after `edge` was decided, from those of the
// node before: a heaviest completion stays one when an edge outside it is
// left out, and loses just that edge when an edge inside it is taken
// (contracting an element of a heaviest basis); only the others are
// worked out again.
void DominantTreeSearch::derive(State& st, int edge, bool taken) const {
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
        after.value = before.value - sideLog_[side][static_cast<std::size_t>(f)][static_cast<std::size_t>(edge)];
      } else if (!taken && !inside && before.value > kMinusInfinity) {
        after = before;
      } else {
        after.known = false;
      }
    }
}

bool DominantTreeSearch::promising(State& st, int edge) const {
  const double* partial =
      st.logOf.data() + static_cast<std::size_t>(st.takenCount) * static_cast<std::size_t>(st.frequencies);
  const std::size_t W = static_cast<std::size_t>(st.words);
  const std::uint64_t* above = st.fallenShort.data() + static_cast<std::size_t>(edge - 1) * W;
  std::uint64_t* here = st.fallenShort.data() + static_cast<std::size_t>(edge) * W;
  std::copy(above, above + W, here);
  const int first = st.hit[static_cast<std::size_t>(edge - 1)];
  for (int n = 0; n < st.frequencies; ++n) {
    const int f = (first + n) % st.frequencies;
    const std::size_t word = static_cast<std::size_t>(f) >> 6;
    const std::uint64_t bit = std::uint64_t{1} << (f & 63);
    if ((here[word] & bit) != 0) continue;
    const double threshold = st.threshold[static_cast<std::size_t>(f)];
    bool reached = false;
    if (partial[f] > kMinusInfinity && threshold == kMinusInfinity) {
      reached = true;
    } else if (partial[f] > kMinusInfinity) {
      // The v-graph's completion only when the i-graph has one. Each
      // completion is given up as soon as it cannot reach what the bound
      // needs of it: the other's, when known, makes the i-graph's floor.
      // What the two completions must reach together:
      const double wanted = threshold - kLogSlack * (1 + std::fabs(threshold)) - partial[f];
      Completion& i = st.at(edge, f, 0);
      Completion& v = st.at(edge, f, 1);
      // Without the v-graph's completion, a ceiling on it will do.
      if (!i.known) {
        const double vMost = v.known ? v.value
                                     : lists_[static_cast<std::size_t>(f) * 2 + 1].ceiling(edge, st.needed - st.takenCount);
        complete(st, f, 0, edge, i, wanted - vMost);
      }
      if (i.known && i.value > kMinusInfinity) {
        const double needed = wanted - i.value;
        if (!v.known) complete(st, f, 1, edge, v, needed);
        reached = v.known && v.value >= needed;
      }
    }
    if (reached) {
      st.hit[static_cast<std::size_t>(edge)] = f;
      return true;
    }
    here[word] |= bit;
  }
  return false;
}

bool DominantTreeSearch::search(State& st, int edge) const {
  if (st.units != nullptr && edge <= st.units->splitEdge && (edge == st.units->splitEdge || st.takenCount == st.needed))
    return unit(st, edge);
  return below(st, edge);
}

bool DominantTreeSearch::unit(State& st, int edge) const {
  const int index = st.unitsMet++;
  if (index != st.claimed) return true;  // another job's, or only counted
  if (st.units->cancelled != nullptr && st.units->cancelled->load(std::memory_order_relaxed)) {
    st.stopped = true;
    return false;
  }
  st.units->begin(index);
  const bool going = below(st, edge);
  st.claimed = st.units->next->fetch_add(1, std::memory_order_relaxed);
  return going;
}

bool DominantTreeSearch::below(State& st, int edge) const {
  ++st.visited;
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
  st.words = static_cast<int>((edgeLog_.size() + 63) / 64);
  st.fallenShort.assign(static_cast<std::size_t>(g_.edges + 2) * static_cast<std::size_t>(st.words), 0);
  st.hit.assign(static_cast<std::size_t>(g_.edges + 2), 0);
  for (int f = 0; f < st.frequencies; ++f)
    for (int side = 0; side < 2; ++side) st.at(2, f, side).known = false;
}

// Sets a search up; false when there is nothing to search (no common tree).
bool DominantTreeSearch::prepare(State& st, const std::vector<double>& thresholdLog, WorkMeter& meter) const {
  if (!validPair(g_) || thresholdLog.size() != edgeLog_.size()) return false;
  st.frequencies = static_cast<int>(edgeLog_.size());
  st.threshold = thresholdLog;
  st.meter = &meter;
  const int nodes = g_.actual_nodes;
  st.needed = nodes - 1;
  labelSuffixes(g_.iGraph, g_.edges, nodes, st.iJoinedFrom);
  labelSuffixes(g_.vGraph, g_.edges, nodes, st.vJoinedFrom);
  const std::uint64_t allNodes = ((std::uint64_t{1} << (nodes + 1)) - 1) & ~std::uint64_t{1};
  if (st.iJoinedFrom[2][1] != allNodes || st.vJoinedFrom[2][1] != allNodes) return false;
  st.iForest.reset(nodes);
  st.vForest.reset(nodes);
  st.signs[0] = 1;
  start(st);
  return true;
}

bool DominantTreeSearch::collect(const std::vector<double>& thresholdLog, const Visit& visit, WorkMeter& meter,
                                 const Units* units) const {
  auto st = std::make_unique<State>();
  if (!prepare(*st, thresholdLog, meter)) return true;
  st->visit = &visit;
  if (units != nullptr) {
    st->units = units;
    st->claimed = units->next->fetch_add(1, std::memory_order_relaxed);
  }
  // Edge 1, the reference edge, is never part of a tree.
  search(*st, 2);
  visited_.fetch_add(st->visited, std::memory_order_relaxed);
  return !st->stopped;
}

int DominantTreeSearch::countUnits(const std::vector<double>& thresholdLog, int splitEdge, WorkMeter& meter) const {
  auto st = std::make_unique<State>();
  if (!prepare(*st, thresholdLog, meter)) return 0;
  Units counting;
  counting.splitEdge = splitEdge;
  st->units = &counting;
  search(*st, 2);
  return st->stopped ? -1 : st->unitsMet;
}

int DominantTreeSearch::edges() const { return g_.edges; }

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
    ceiling[static_cast<std::size_t>(f)] =
        i.value == kMinusInfinity || v.value == kMinusInfinity ? kMinusInfinity : i.value + v.value;
  }
  return ceiling;
}

}  // namespace velkor

// The common trees of a graph pair whose products are large at element
// values, found without visiting the others.
//
// Each edge carries a magnitude at each of a few frequencies (its
// admittance |y(jw)| as a logarithm; 0 for the edges that stand for the
// factor 1, -inf for a zero value), and a tree's magnitude at a frequency
// is the product over its edges. A tree is wanted when at one frequency at
// least its magnitude reaches that frequency's threshold.
//
// The search is the pruned enumeration of the common trees (edges decided
// in ascending order, each taken before it is left out, so trees come in
// the order of the exact enumeration), cut further by a bound: a partial
// tree is abandoned when, at every frequency, the product of its edges
// times a bound on the largest completion still open stays below the
// threshold. The bound splits each edge's log magnitude w into two parts,
// l in the i-graph and w - l in the v-graph: a common completion completes
// both graphs, so it weighs at most the heaviest completion of the i-graph
// under l plus that of the v-graph under w - l, each a maximum-weight
// spanning tree of the open edges over the components of the taken ones.
// Any split gives a bound; the split used at a frequency is the one that
// makes the bound of the whole tree least, found once by subgradient
// descent (l = w and l = 0 give the two graphs' heaviest spanning trees,
// which can lie far apart when controlled sources join different nodes in
// the two graphs).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

#include "trees/graph_pair.h"

namespace velkor {

class WorkMeter;

class DominantTreeSearch {
 public:
  // edgeLog[f][e]: the log magnitude of edge e (1 .. g.edges) at frequency f.
  DominantTreeSearch(const GraphPair& g, std::vector<std::vector<double>> edgeLog);

  // A wanted tree: its edges (count of them), and its sign.
  using Visit = std::function<void(const int* edges, int count, int sign)>;

  // Several jobs sharing one search. The search is cut into units, numbered
  // in enumeration order: the nodes that decide `splitEdge`, and the trees
  // completed before it. Each job walks the search down to the units and
  // searches below only those it claims from `next` (each index once, in
  // any order across the jobs); `begin` is called before a unit's trees
  // are visited, with the unit's index. The units' trees, put one after
  // another in index order, are those of the whole search in its order.
  struct Units {
    int splitEdge = 2;
    std::atomic<int>* next = nullptr;
    std::function<void(int unit)> begin;
    // Set when the jobs are to stop: no further unit is searched, and the
    // search reports itself stopped.
    const std::atomic<bool>* cancelled = nullptr;
  };

  // Every common tree whose log magnitude reaches thresholdLog[f] at some
  // frequency f, in enumeration order; with `units`, those of the units
  // claimed. False when `meter` stopped it. Calls may run at once on
  // several threads, each with its own visit and meter.
  bool collect(const std::vector<double>& thresholdLog, const Visit& visit, WorkMeter& meter,
               const Units* units = nullptr) const;

  // The number of units the search at these thresholds has at `splitEdge`
  // (see Units); -1 when `meter` stopped the count.
  int countUnits(const std::vector<double>& thresholdLog, int splitEdge, WorkMeter& meter) const;

  // The last edge a split may be made at.
  int edges() const;

  // Per frequency, a ceiling on the log magnitude of every common tree:
  // the bound above for the empty partial tree (-inf where either graph
  // has no spanning tree).
  std::vector<double> ceiling() const;

  // Partial trees looked at by the searches so far.
  std::uint64_t visited() const { return visited_.load(std::memory_order_relaxed); }

 private:
  struct State;
  struct Completion;
  bool prepare(State& st, const std::vector<double>& thresholdLog, WorkMeter& meter) const;
  void start(State& st) const;
  bool search(State& st, int edge) const;
  bool below(State& st, int edge) const;
  bool unit(State& st, int edge) const;
  // The heaviest completion of the current partial tree in one graph
  // (side 0: the i-graph, 1: the v-graph) at frequency f, over the open
  // edges from `edge` on: its log magnitude, -inf when there is none.
  // Gives up (out.known false) as soon as the completion must fall below
  // `floor`.
  void complete(State& st, int f, int side, int edge, Completion& out,
                double floor = -std::numeric_limits<double>::infinity()) const;
  // The split of the edges' log magnitudes at frequency f that makes the
  // whole tree's bound least.
  void split(int f);
  void derive(State& st, int edge, bool taken) const;
  bool promising(State& st, int edge) const;

  const GraphPair& g_;
  std::vector<std::vector<double>> edgeLog_;
  // Per graph (0: i, 1: v) and frequency: each edge's share of its log
  // magnitude, and the usable edges by that share, heaviest first.
  std::vector<std::vector<double>> sideLog_[2];
  std::vector<std::vector<int>> byWeight_[2];
  // The same lists without the edges already decided, for every edge a
  // search may be at: those from edge e on are fromEdge_[side][f] at
  // fromStart_[side][f][e], up to the start for e + 1 ... (each list's
  // edges from e on, one after another for e = 2, 3, ...). A completion
  // then looks only at the edges still open.
  // An edge of such a list with its ends in that graph, so that a
  // completion reads them where it reads the edge.
  struct OpenEdge {
    int edge;
    std::uint8_t d1, d2;
    bool forced;  // a port or nullor edge: every tree takes it
  };
  std::vector<std::vector<OpenEdge>> fromEdge_[2];
  std::vector<std::vector<int>> fromStart_[2];
  // The running sums of those lists' weights, each list's starting at 0
  // (so one entry more a list: the list for e starts at fromStart_ + e - 2).
  std::vector<std::vector<double>> fromSum_[2];
  // The same per frequency and graph in one place: lists_[f * 2 + side].
  struct Lists {
    const OpenEdge* from;
    const int* start;
    const double* sums;
    const double* weight;
    // A ceiling on a completion, cheaper than working it out, for a node
    // at `edge` with `missing` edges to go: the weight of as many open
    // edges taken heaviest first (+inf when a forced edge is still open,
    // -inf when too few edges are).
    double ceiling(int edge, int missing) const;
  };
  std::vector<Lists> lists_;
  mutable std::atomic<std::uint64_t> visited_{0};
};

}  // namespace velkor

#include "analysis/approximation_generation.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <numeric>
#include <string>
#include <unordered_map>

#include "analysis/analysis_context.h"
#include "analysis/formula_evaluator.h"
#include "analysis/formula_finishing.h"
#include "analysis/frequency_response.h"
#include "analysis/numeric_formula.h"
#include "analysis/numeric_summary.h"
#include "trees/dominant_tree_search.h"

namespace velkor {

namespace {

constexpr long double kPi = 3.14159265358979323846264338327950288L;
// Frequencies per decade of the band at which tree sizes are compared.
constexpr int kSearchPointsPerDecade = 2;
// The relative threshold at a search frequency starts at eps and falls
// where the error near it is above the target, by as many decades as make
// the error fall to the target if it goes as the threshold to the power
// kErrorSlope (as measured on the amplifier chains: halved for a threshold
// a tenth lower and a half), within these bounds.
constexpr double kErrorSlope = 0.6;
constexpr double kSmallestDrop = 0.25;
constexpr double kLargestDrop = 2.0;
// A frequency whose error stayed above this share of the last step's after
// its threshold fell takes a drop twice as large, up to kLargestHaste.
constexpr long double kStalled = 0.9L;
constexpr double kLargestHaste = 8.0;
constexpr int kMaxThresholdSteps = 64;
constexpr double kLowestThreshold = 32;  // decades below eps
// The generated terms are cut once their own error is within this share of
// eps: cutting then has room to drop terms (with three quarters, the
// generated coefficients left so little room that up to 1.7 times the
// terms of the approximation after generation were kept).
constexpr long double kCloseEnough = 0.5L;
// What one generated term costs in memory, besides its exponents: the hash
// node, the key's string and the entries of the order and coefficient lists.
constexpr std::size_t kTermOverhead = 96;

constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();
// Generated sets of at most this many terms are cut with the quick search.
constexpr std::size_t kQuickCutTerms = 50000;

// The terms of one function generated so far, merged by monomial (their
// exponents, one byte per symbol slot), in the order first generated.
class TermStore {
 public:
  void add(const std::string& key, int sign) {
    auto [it, fresh] = index_.try_emplace(key, keys_.size());
    if (fresh) {
      keys_.push_back(key);
      coefficients_.push_back(sign);
      bytes_ += key.size() + kTermOverhead;
    } else {
      coefficients_[it->second] += sign;
    }
  }
  void clear() {
    index_.clear();
    keys_.clear();
    coefficients_.clear();
    bytes_ = 0;
  }
  std::size_t size() const { return keys_.size(); }
  std::size_t bytes() const { return bytes_; }
  const std::string& key(std::size_t i) const { return keys_[i]; }
  std::int64_t coefficient(std::size_t i) const { return coefficients_[i]; }

 private:
  std::unordered_map<std::string, std::size_t> index_;
  std::vector<std::string> keys_;
  std::vector<std::int64_t> coefficients_;
  std::size_t bytes_ = 0;
};

// What the symbols of the network stand for, by slot.
struct SymbolKinds {
  std::vector<bool> impedance;  // r, z, l, m: the symbol's admittance is 1/value
  std::vector<bool> reactive;   // c, l, m: a power of s
  int span = 0;                 // slots 0 .. span-1 can occur in a term
};

SymbolKinds symbolKinds(const AnalysisContext& ctx, const GraphPair* const* graphs, int count) {
  SymbolKinds kinds;
  kinds.impedance.assign(kSymbolSlots, false);
  kinds.reactive.assign(kSymbolSlots, false);
  for (int i = 0; i < ctx.maps.impedanceCount; ++i) {
    const int k = ctx.maps.impedanceSymbols[i];
    if (k >= 0 && k < kSymbolSlots) kinds.impedance[static_cast<std::size_t>(k)] = true;
  }
  for (int k = 0; k < kSymbolSlots && k < kNameSlots; ++k)
    kinds.reactive[static_cast<std::size_t>(k)] = ctx.maps.powermap[k] == 1;
  for (int i = 0; i < count; ++i)
    for (int e = 2; e <= graphs[i]->edges; ++e)  // edge 1, the reference, is in no tree
      if (graphs[i]->dmap[e] == kClassAdmittance) kinds.span = std::max(kinds.span, graphs[i]->dbranchmap[e] + 1);
  kinds.span = std::min(kinds.span, kSymbolSlots);
  return kinds;
}

// Divides the factors common to every term of both polynomials out of them:
// the lowest power of s, each symbol's lowest exponent, the coefficients'
// greatest common divisor, and a minus sign when no coefficient is
// positive. Terms of coefficient 0 are left out; each polynomial's terms
// end up grouped by ascending power, in their order within a power.
void reduceCommonFactors(OwnedPolynomial& numerator, OwnedPolynomial& denominator) {
  OwnedPolynomial* both[2] = {&numerator, &denominator};
  int lowestPower = std::numeric_limits<int>::max();
  std::vector<int> lowest(kSymbolSlots, std::numeric_limits<int>::max());
  std::int64_t divisor = 0;
  bool anyPositive = false;
  for (OwnedPolynomial* p : both) {
    std::erase_if(p->terms, [](const OwnedPolynomial::Term& t) { return t.coefficient == 0; });
    for (const OwnedPolynomial::Term& t : p->terms) {
      lowestPower = std::min(lowestPower, t.power);
      std::vector<int> exponents(kSymbolSlots, 0);
      for (const FormulaFactor& f : t.factors) exponents[static_cast<std::size_t>(f.symbol)] = f.exponent;
      for (std::size_t k = 0; k < lowest.size(); ++k) lowest[k] = std::min(lowest[k], exponents[k]);
      divisor = std::gcd(divisor, t.coefficient < 0 ? -t.coefficient : t.coefficient);
      anyPositive = anyPositive || t.coefficient > 0;
    }
  }
  if (divisor == 0) return;
  const std::int64_t scale = anyPositive ? divisor : -divisor;
  for (OwnedPolynomial* p : both) {
    for (OwnedPolynomial::Term& t : p->terms) {
      t.power -= lowestPower;
      t.coefficient /= scale;
      std::vector<FormulaFactor> kept;
      for (const FormulaFactor& f : t.factors) {
        const int e = f.exponent - lowest[static_cast<std::size_t>(f.symbol)];
        if (e > 0) kept.push_back(FormulaFactor{f.symbol, e});
      }
      t.factors = std::move(kept);
    }
    std::stable_sort(p->terms.begin(), p->terms.end(),
                     [](const OwnedPolynomial::Term& a, const OwnedPolynomial::Term& b) { return a.power < b.power; });
  }
}

// The generated terms in the printed form of a formula: impedance symbols
// in ohm units (each multiplied up to its highest exponent among the
// terms, so that R stands for the resistance), the parameter's sign on
// the numerator, the common factors divided out.
void printedForm(const TermStore& numerator, const TermStore& denominator, int sign, const SymbolKinds& kinds,
                 OwnedPolynomial& printedNumerator, OwnedPolynomial& printedDenominator) {
  const TermStore* stores[2] = {&numerator, &denominator};
  std::vector<int> multiplier(static_cast<std::size_t>(kinds.span), 0);
  for (const TermStore* store : stores)
    for (std::size_t i = 0; i < store->size(); ++i) {
      if (store->coefficient(i) == 0) continue;
      const std::string& key = store->key(i);
      for (std::size_t k = 0; k < key.size(); ++k)
        if (kinds.impedance[k]) multiplier[k] = std::max(multiplier[k], static_cast<int>(key[k]));
    }
  OwnedPolynomial* out[2] = {&printedNumerator, &printedDenominator};
  for (int side = 0; side < 2; ++side) {
    out[side]->terms.clear();
    const TermStore& store = *stores[side];
    for (std::size_t i = 0; i < store.size(); ++i) {
      if (store.coefficient(i) == 0) continue;
      const std::string& key = store.key(i);
      OwnedPolynomial::Term term;
      term.coefficient = store.coefficient(i) * (side == 0 ? sign : 1);
      for (std::size_t k = 0; k < key.size(); ++k) {
        const int e = kinds.impedance[k] ? multiplier[k] - key[k] : key[k];
        if (e == 0) continue;
        term.factors.push_back(FormulaFactor{static_cast<int>(k), e});
        if (kinds.reactive[k]) term.power += e;
      }
      out[side]->terms.push_back(std::move(term));
    }
  }
  reduceCommonFactors(printedNumerator, printedDenominator);
}

// One function being generated: its graph pair and its search.
struct FunctionSearch {
  GraphPair graph;
  std::unique_ptr<DominantTreeSearch> search;
  std::vector<double> largest;  // per frequency: a ceiling on its trees' log sizes
  TermStore terms;
};

}  // namespace

Approximation generateApproximation(AnalysisContext& ctx, const GenerationRequest& request) {
  Approximation result;
  result.eps = request.settings.eps;
  result.duringGeneration = true;
  NetworkStore& s = ctx.store;

  // The two graph pairs (one when numerator and denominator share a function).
  FunctionSearch functions[2];
  const int topofuns[2] = {request.numeratorTopofun, request.denominatorTopofun};
  for (int side = 0; side < 2; ++side) {
    if (!buildFunctionGraph(ctx, s.analysisPassiveCount, s.activeCount, s.treeSize, topofuns[side])) {
      result.outcome = Approximation::Outcome::Undefined;
      return result;
    }
    functions[side].graph = ctx.graph;
  }
  const GraphPair* graphs[2] = {&functions[0].graph, &functions[1].graph};
  const SymbolKinds kinds = symbolKinds(ctx, graphs, 2);
  const std::vector<std::string> names = symbolNames(ctx);

  // The values of the symbols on the edges.
  std::vector<long double> value(kSymbolSlots, 0.0L);
  std::vector<bool> used(kSymbolSlots, false);
  for (const GraphPair* g : graphs)
    for (int e = 2; e <= g->edges; ++e)
      if (g->dmap[e] == kClassAdmittance) used[static_cast<std::size_t>(g->dbranchmap[e])] = true;
  for (int k = 0; k < kinds.span; ++k) {
    if (!used[static_cast<std::size_t>(k)]) continue;
    const ElementValue* v = request.values->find(names[static_cast<std::size_t>(k)]);
    if (v == nullptr)
      result.missing.push_back(names[static_cast<std::size_t>(k)]);
    else
      value[static_cast<std::size_t>(k)] = v->value;
  }
  if (!result.missing.empty()) {
    result.outcome = Approximation::Outcome::MissingValues;
    return result;
  }

  // The band, and the frequencies at which trees are weighed.
  const ExactNumbers& exact = *request.exact;
  FrequencyRange band =
      frequencyBand({exact.zeros, exact.poles}, 0, request.settings.fromHz, request.settings.toHz);
  result.fromHz = band.fromHz;
  result.toHz = band.toHz;
  SymbolAssignment assignment = assignSymbols(names, *request.values);
  ExactResponse response = exact.response;
  NumericSummary roots;
  roots.poles = exact.poles;
  roots.zeros = exact.zeros;
  // The exact response is nodal analysis at each point: the grid is
  // screened, so that it is not worked out where |H| is far below what
  // counts.
  const std::vector<long double> sharp = rootFrequencies(band.fromHz, band.toHz, roots);
  ErrorGrid grid(approximationGrid(band.fromHz, band.toHz, roots), response, nullptr, &sharp, request.jobs);

  // Trees are weighed at a few frequencies across the band, those near
  // which the error counts (a tree that is large only where |H| is too
  // small to count is never needed); each point of the grid belongs to the
  // nearest of them.
  const long double logFrom = std::log(2 * kPi * band.fromHz);
  const long double logTo = std::log(2 * kPi * band.toHz);
  const long double decades = (logTo - logFrom) / std::log(10.0L);
  const int points = std::max(2, static_cast<int>(std::ceil(decades * kSearchPointsPerDecade)) + 1);
  const long double spacing = (logTo - logFrom) / (points - 1);
  auto nearest = [&](long double omega) {
    const long double at = std::round((std::log(omega) - logFrom) / spacing);
    return static_cast<int>(std::clamp(at, 0.0L, static_cast<long double>(points - 1)));
  };
  std::vector<int> searchIndex(static_cast<std::size_t>(points), -1);
  for (long double omega : grid.countedOmegas()) searchIndex[static_cast<std::size_t>(nearest(omega))] = 0;
  if (std::none_of(searchIndex.begin(), searchIndex.end(), [](int i) { return i == 0; }))
    std::fill(searchIndex.begin(), searchIndex.end(), 0);
  std::vector<long double> searchOmega;
  for (int k = 0; k < points; ++k)
    if (searchIndex[static_cast<std::size_t>(k)] == 0) {
      searchIndex[static_cast<std::size_t>(k)] = static_cast<int>(searchOmega.size());
      searchOmega.push_back(std::exp(logFrom + k * spacing));
    }

  // Each edge's log size at each frequency: |1/value| for an impedance
  // symbol, |value| otherwise, times w for a capacitance and over w for an
  // inductance (their power of s).
  int generatedCount = 0;
  ctx.meter.begin(request.name, &generatedCount);
  struct MeterEnd {
    WorkMeter& meter;
    ~MeterEnd() { meter.end(); }
  } meterEnd{ctx.meter};
  bool stopped = false;
  for (FunctionSearch& fn : functions) {
    std::vector<std::vector<double>> edgeLog(searchOmega.size(), std::vector<double>(kEdgeSlots, 0.0));
    for (std::size_t f = 0; f < searchOmega.size(); ++f) {
      const long double logOmega = std::log(searchOmega[f]);
      for (int e = 2; e <= fn.graph.edges; ++e) {
        if (fn.graph.dmap[e] != kClassAdmittance) continue;
        const std::size_t k = static_cast<std::size_t>(fn.graph.dbranchmap[e]);
        const long double v = std::fabs(value[k]);
        if (v == 0 && kinds.impedance[k]) {
          // A zero impedance: its admittance is unbounded.
          result.outcome = Approximation::Outcome::Undefined;
          return result;
        }
        long double logSize = v == 0 ? -INFINITY : kinds.impedance[k] ? -std::log(v) : std::log(v);
        if (kinds.reactive[k]) logSize += kinds.impedance[k] ? -logOmega : logOmega;
        edgeLog[f][static_cast<std::size_t>(e)] = static_cast<double>(logSize);
      }
    }
    fn.search = std::make_unique<DominantTreeSearch>(fn.graph, std::move(edgeLog));
    fn.largest = fn.search->ceiling();
  }
  const bool noDenominator =
      std::none_of(functions[1].largest.begin(), functions[1].largest.end(), [](double v) { return v > kMinusInfinity; });
  if (noDenominator) {
    result.outcome = Approximation::Outcome::Undefined;
    return result;
  }

  // The best set generated: its printed terms, numbers and error.
  struct Generated {
    OwnedPolynomial numerator, denominator;
    NumericFormula formula;
    long double error = INFINITY;
    TermCounts counts;
  };
  std::optional<Generated> best;
  const char* bound = nullptr;
  // The relative threshold at each search frequency: it starts at eps and
  // falls only where the error near that frequency is still too large, the
  // further the larger the error.
  const long double target = request.settings.eps * kCloseEnough;
  std::vector<double> logTau(searchOmega.size(), std::log(static_cast<double>(request.settings.eps)));
  std::vector<long double> lastNear(searchOmega.size(), INFINITY);
  std::vector<double> haste(searchOmega.size(), 1.0);
  std::vector<bool> wasLowered(searchOmega.size(), false);
  const double logTauFloor = logTau.empty() ? 0 : logTau[0] - kLowestThreshold * std::log(10.0);
  for (int step = 0; step < kMaxThresholdSteps && !stopped; ++step) {
    std::size_t bytes = 0;
    for (FunctionSearch& fn : functions) {
      fn.terms.clear();
      std::vector<double> threshold(fn.largest.size());
      for (std::size_t f = 0; f < threshold.size(); ++f) threshold[f] = fn.largest[f] + logTau[f];
      std::string key(static_cast<std::size_t>(kinds.span), '\0');
      const GraphPair& g = fn.graph;
      bool overMemory = false;
      DominantTreeSearch::Visit visit = [&](const int* edges, int count, int sign) {
        std::fill(key.begin(), key.end(), '\0');
        for (int i = 0; i < count; ++i)
          if (g.dmap[edges[i]] == kClassAdmittance) ++key[static_cast<std::size_t>(g.dbranchmap[edges[i]])];
        fn.terms.add(key, sign);
        ++generatedCount;
        if (request.memoryBound != 0 && bytes + fn.terms.bytes() > request.memoryBound) overMemory = true;
      };
      if (!fn.search->collect(threshold, visit, ctx.meter)) stopped = true;
      bytes += fn.terms.bytes();
      if (overMemory) {
        bound = "the memory bound";
        stopped = true;
      }
      if (stopped) break;
    }
    if (stopped) break;  // this step's set is incomplete: the last whole one stands

    Generated now;
    printedForm(functions[0].terms, functions[1].terms, request.sign, kinds, now.numerator, now.denominator);
    now.counts = TermCounts{now.numerator.terms.size(), now.denominator.terms.size()};
    now.formula = numericFormula(now.numerator, now.denominator, assignment.values);
    now.error = now.denominator.terms.empty() ? INFINITY : grid.error(now.formula);
    const bool close = now.error <= request.settings.eps * kCloseEnough;
    // Where the error is still too large, a lower threshold.
    std::vector<long double> near(searchOmega.size(), 0.0L);
    if (!close)
      for (const ErrorGrid::PointError& p : grid.errorProfile(now.formula)) {
        long double& e = near[static_cast<std::size_t>(searchIndex[static_cast<std::size_t>(nearest(p.omega))])];
        e = std::max(e, p.error);
      }
    const bool anyShort = std::any_of(near.begin(), near.end(), [&](long double e) { return !(e <= target); });
    bool lowered = false;
    for (std::size_t f = 0; f < near.size(); ++f) {
      // The error near a frequency can come from trees weighed at its
      // neighbours: they fall with it.
      long double e = near[f];
      if (f > 0) e = std::max(e, near[f - 1]);
      if (f + 1 < near.size()) e = std::max(e, near[f + 1]);
      // A frequency lowered last step whose error hardly moved had no trees
      // just below its threshold: it goes twice as far this time.
      if (wasLowered[f]) haste[f] = e > kStalled * lastNear[f] ? std::min(haste[f] * 2, kLargestHaste) : 1.0;
      lastNear[f] = e;
      wasLowered[f] = false;
      if (anyShort && e <= target) continue;
      // No error at the points above the target: the refinement between
      // them found it, and every frequency takes the smallest step.
      double drop = kSmallestDrop;
      if (!std::isfinite(e))
        drop = kLargestDrop;
      else if (e > target)
        drop = std::clamp(std::log10(static_cast<double>(e / target)) / kErrorSlope, kSmallestDrop, kLargestDrop);
      drop = std::min(drop * haste[f], kLargestDrop);
      const double next = std::max(logTauFloor, logTau[f] - drop * std::log(10.0));
      wasLowered[f] = next < logTau[f];
      lowered = lowered || wasLowered[f];
      logTau[f] = next;
    }
    if (!best || now.error <= best->error) best = std::move(now);
    if (close || !lowered) break;
  }
  if (stopped && bound == nullptr)
    bound = ctx.meter.stopped() == WorkMeter::Stop::kInterrupted ? "an interrupt" : "the time bound";

  result.outcome = Approximation::Outcome::Simplified;
  if (!best) {
    // Stopped before a single set was complete: nothing to show but that.
    result.met = false;
    result.stoppedBy = bound != nullptr ? bound : "the search";
    result.error = 1;
    return result;
  }
  result.generated = best->counts;
  if (best->error <= request.settings.eps) {
    // The fewest of the generated terms that still meet eps.
    // A small set is cut with the quick search (its error measurements
    // are most of the work); a large one refined throughout, where each
    // candidate's cut costs more than its measurement and a search done
    // twice would cost more than it saves.
    const bool quick = best->counts.numerator + best->counts.denominator <= kQuickCutTerms;
    Approximation cut = approximateTerms(best->numerator, best->denominator, names, *request.values, best->formula,
                                         grid, request.settings.eps, 0, nullptr, quick);
    if (cut.simplified()) {
      reduceCommonFactors(cut.numerator, cut.denominator);
      result.numerator = std::move(cut.numerator);
      result.denominator = std::move(cut.denominator);
      result.formula = numericFormula(result.numerator, result.denominator, assignment.values);
      result.error = grid.error(result.formula);
      result.kept = TermCounts{result.numerator.terms.size(), result.denominator.terms.size()};
      if (result.error <= request.settings.eps) return result;
    }
  }
  result.numerator = std::move(best->numerator);
  result.denominator = std::move(best->denominator);
  result.formula = std::move(best->formula);
  result.error = best->error;
  result.kept = best->counts;
  result.met = best->error <= request.settings.eps;
  if (!result.met) result.stoppedBy = bound != nullptr ? bound : "the search";
  return result;
}

}  // namespace velkor

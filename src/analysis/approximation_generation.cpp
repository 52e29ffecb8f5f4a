#include "analysis/approximation_generation.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <numeric>
#include <string>
#include <string_view>

#include "analysis/analysis_context.h"
#include "analysis/formula_evaluator.h"
#include "analysis/formula_finishing.h"
#include "analysis/frequency_response.h"
#include "analysis/numeric_formula.h"
#include "analysis/numeric_summary.h"
#include "support/parallel_for.h"
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
// A generated set of more terms than this that meets eps is cut as it is,
// without that room: the next threshold would search several times as long
// (on the six-stage amplifier, two and a half times as long, for a sixth
// fewer terms kept).
constexpr std::size_t kRoomyTerms = 1000000;
// Generated sets of at most this many terms are cut with the quick search.
constexpr std::size_t kQuickCutTerms = 50000;
// With several jobs, the search of one function is cut into about this
// many units a job, claimed by the jobs as they are free: enough that the
// largest units, which the bound leaves far larger than most, still share
// out evenly.
constexpr int kUnitsPerJob = 64;

constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();

// The terms of one function generated so far, merged by monomial (their
// exponents, one byte per symbol slot, `width` bytes in all), in the order
// first generated. The exponents lie end to end in one block and the index
// is an open-addressed table of positions, so that a term costs its
// exponents and a few words: millions are generated for the largest
// circuits.
class TermStore {
 public:
  void reset(std::size_t width) {
    width_ = width;
    keys_.clear();
    coefficients_.clear();
    slots_.clear();
  }
  void add(std::string_view key, std::int64_t coefficient) {
    if (2 * (coefficients_.size() + 1) > slots_.size()) grow();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = std::hash<std::string_view>{}(key) & mask;; at = (at + 1) & mask) {
      const std::uint32_t slot = slots_[at];
      if (slot == 0) {
        keys_.insert(keys_.end(), key.begin(), key.end());
        coefficients_.push_back(coefficient);
        slots_[at] = static_cast<std::uint32_t>(coefficients_.size());
        return;
      }
      if (this->key(slot - 1) == key) {
        coefficients_[slot - 1] += coefficient;
        return;
      }
    }
  }
  // Adds the terms of `other` (of the same width) in its order.
  void addAll(const TermStore& other) {
    for (std::size_t i = 0; i < other.size(); ++i) add(other.key(i), other.coefficient(i));
  }
  std::size_t size() const { return coefficients_.size(); }
  std::size_t bytes() const {
    return keys_.capacity() + coefficients_.capacity() * sizeof(std::int64_t) + slots_.size() * sizeof(std::uint32_t);
  }
  std::string_view key(std::size_t i) const {
    return std::string_view(keys_.data() + i * width_, width_);
  }
  std::int64_t coefficient(std::size_t i) const { return coefficients_[i]; }

 private:
  static constexpr std::size_t kFirstSlots = 64;
  void grow() {
    std::vector<std::uint32_t> slots(std::max(kFirstSlots, slots_.size() * 2), 0);
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = 0; i < size(); ++i) {
      std::size_t at = std::hash<std::string_view>{}(key(i)) & mask;
      while (slots[at] != 0) at = (at + 1) & mask;
      slots[at] = static_cast<std::uint32_t>(i + 1);
    }
    slots_ = std::move(slots);
  }
  std::size_t width_ = 0;
  std::string keys_;
  std::vector<std::int64_t> coefficients_;
  std::vector<std::uint32_t> slots_;
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
  // A symbol's lowest exponent is 0 unless every term has it.
  std::vector<int> lowest(kSymbolSlots, std::numeric_limits<int>::max());
  std::vector<std::size_t> having(kSymbolSlots, 0);
  std::size_t termCount = 0;
  std::int64_t divisor = 0;
  bool anyPositive = false;
  for (OwnedPolynomial* p : both) {
    std::erase_if(p->terms, [](const OwnedPolynomial::Term& t) { return t.coefficient == 0; });
    termCount += p->terms.size();
    for (const OwnedPolynomial::Term& t : p->terms) {
      lowestPower = std::min(lowestPower, t.power);
      for (const FormulaFactor& f : t.factors) {
        const std::size_t k = static_cast<std::size_t>(f.symbol);
        lowest[k] = std::min(lowest[k], f.exponent);
        ++having[k];
      }
      divisor = std::gcd(divisor, t.coefficient < 0 ? -t.coefficient : t.coefficient);
      anyPositive = anyPositive || t.coefficient > 0;
    }
  }
  for (std::size_t k = 0; k < lowest.size(); ++k)
    if (having[k] < termCount) lowest[k] = 0;
  if (divisor == 0) return;
  const std::int64_t scale = anyPositive ? divisor : -divisor;
  for (OwnedPolynomial* p : both) {
    for (OwnedPolynomial::Term& t : p->terms) {
      t.power -= lowestPower;
      t.coefficient /= scale;
      for (FormulaFactor& f : t.factors) f.exponent -= lowest[static_cast<std::size_t>(f.symbol)];
      std::erase_if(t.factors, [](const FormulaFactor& f) { return f.exponent <= 0; });
    }
    auto byPower = [](const OwnedPolynomial::Term& a, const OwnedPolynomial::Term& b) { return a.power < b.power; };
    if (!std::is_sorted(p->terms.begin(), p->terms.end(), byPower))
      std::stable_sort(p->terms.begin(), p->terms.end(), byPower);
  }
}

// The generated terms of one polynomial in their printed form: impedance
// symbols in ohm units (each multiplied up to its highest exponent among
// the terms of both polynomials, so that R stands for the resistance), the
// parameter's sign on the numerator, the common factors divided out (as
// reduceCommonFactors divides them, worked out on the exponent keys),
// grouped by ascending power in their order within a power. Each term is
// made as it is visited: there are millions for the largest circuits, and
// held as owned terms they took a gigabyte and more.
class PrintedTerms final : public PolynomialView {
 public:
  // How a key's exponent at one slot is printed, the same for both
  // polynomials.
  struct Slot {
    bool impedance = false;
    bool reactive = false;
    int multiplier = 0;  // an impedance symbol's highest exponent
    int lowest = 0;      // the common factor's exponent
    int highest = 0;
    int exponent(char key) const { return impedance ? multiplier - key : key; }
  };
  // A slot whose printed exponent varies among the terms: the factor's
  // exponent is offset + sign * key.
  struct Varying {
    int slot;
    int offset;
    int sign;
    bool reactive;
  };
  struct Form {
    std::vector<Slot> slots;
    std::vector<Varying> varying;
    int lowestPower = 0;
    int power = 0;           // the power of s every term has from the slots that do not vary
    std::int64_t scale = 1;  // the common divisor, negative when no coefficient is positive
  };

  PrintedTerms() = default;
  PrintedTerms(TermStore terms, std::vector<std::uint32_t> order, std::shared_ptr<const Form> form, int sign)
      : terms_(std::move(terms)), order_(std::move(order)), form_(std::move(form)), sign_(sign) {}

  std::size_t size() const { return order_.size(); }

  void forEachTerm(const std::function<void(const TermView&)>& visit) const override {
    if (order_.empty()) return;
    std::vector<FormulaFactor> factors(form_->varying.size());
    for (std::uint32_t i : order_) {
      const char* key = terms_.key(i).data();
      int power = form_->power, count = 0;
      for (const Varying& v : form_->varying) {
        const int exponent = v.offset + v.sign * key[v.slot];
        if (v.reactive) power += exponent;
        factors[static_cast<std::size_t>(count)] = FormulaFactor{v.slot, exponent};
        count += exponent > 0;
      }
      visit(TermView{power, terms_.coefficient(i) / form_->scale * sign_, factors.data(), count, nullptr});
    }
  }

  // The terms as owned ones.
  OwnedPolynomial owned() const {
    OwnedPolynomial out;
    out.terms.reserve(order_.size());
    forEachTerm([&](const TermView& t) {
      out.terms.push_back(OwnedPolynomial::Term{t.power, t.coefficient,
                                                std::vector<FormulaFactor>(t.factors, t.factors + t.factorCount)});
    });
    return out;
  }

 private:
  TermStore terms_;
  std::vector<std::uint32_t> order_;  // the terms of nonzero coefficient, in printed order
  std::shared_ptr<const Form> form_;
  int sign_ = 1;
};

// The generated terms of both polynomials in their printed form (the
// stores move into it).
void printedForm(TermStore& numerator, TermStore& denominator, int sign, const SymbolKinds& kinds,
                 PrintedTerms& printedNumerator, PrintedTerms& printedDenominator) {
  TermStore* stores[2] = {&numerator, &denominator};
  const std::size_t span = static_cast<std::size_t>(kinds.span);
  auto form = std::make_shared<PrintedTerms::Form>();
  form->slots.resize(span);
  for (std::size_t k = 0; k < span; ++k) {
    form->slots[k].impedance = kinds.impedance[k];
    form->slots[k].reactive = kinds.reactive[k];
    form->slots[k].lowest = std::numeric_limits<int>::max();
    form->slots[k].highest = std::numeric_limits<int>::min();
  }
  for (const TermStore* store : stores)
    for (std::size_t i = 0; i < store->size(); ++i) {
      if (store->coefficient(i) == 0) continue;
      const std::string_view key = store->key(i);
      for (std::size_t k = 0; k < key.size(); ++k)
        if (kinds.impedance[k]) form->slots[k].multiplier = std::max(form->slots[k].multiplier, static_cast<int>(key[k]));
    }
  // The common factors: each symbol's lowest exponent, the lowest power of
  // s, the coefficients' greatest common divisor with a minus sign when no
  // coefficient is positive.
  int lowestPower = std::numeric_limits<int>::max(), highestPower = 0;
  std::vector<int> powers[2];  // each term's power of s, before the lowest is divided out
  std::int64_t divisor = 0;
  bool anyPositive = false;
  for (int side = 0; side < 2; ++side) {
    const TermStore* store = stores[side];
    powers[side].assign(store->size(), 0);
    for (std::size_t i = 0; i < store->size(); ++i) {
      const std::int64_t c = store->coefficient(i) * (side == 0 ? sign : 1);
      if (c == 0) continue;
      const std::string_view key = store->key(i);
      int power = 0;
      for (std::size_t k = 0; k < span; ++k) {
        PrintedTerms::Slot& slot = form->slots[k];
        const int e = slot.exponent(key[k]);
        slot.lowest = std::min(slot.lowest, e);
        slot.highest = std::max(slot.highest, e);
        if (slot.reactive) power += e;
      }
      powers[side][i] = power;
      lowestPower = std::min(lowestPower, power);
      highestPower = std::max(highestPower, power);
      divisor = std::gcd(divisor, c < 0 ? -c : c);
      anyPositive = anyPositive || c > 0;
    }
  }
  PrintedTerms* out[2] = {&printedNumerator, &printedDenominator};
  if (divisor == 0) {
    printedNumerator = PrintedTerms();
    printedDenominator = PrintedTerms();
    return;
  }
  form->lowestPower = lowestPower;
  form->scale = anyPositive ? divisor : -divisor;
  // The printed exponent is the key's less the common factor's; a slot
  // where it is the same in every term gives no factor, and its power of s
  // is every term's.
  form->power = -lowestPower;
  for (std::size_t k = 0; k < span; ++k) {
    const PrintedTerms::Slot& slot = form->slots[k];
    if (slot.reactive) form->power += slot.lowest;
    if (slot.highest == slot.lowest) continue;
    form->varying.push_back(PrintedTerms::Varying{static_cast<int>(k),
                                                  slot.impedance ? slot.multiplier - slot.lowest : -slot.lowest,
                                                  slot.impedance ? -1 : 1, slot.reactive});
  }
  for (int side = 0; side < 2; ++side) {
    const TermStore& store = *stores[side];
    // The terms grouped by ascending power, in their order within a power
    // (a counting sort).
    std::vector<std::size_t> first(static_cast<std::size_t>(highestPower - lowestPower) + 2, 0);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < store.size(); ++i)
      if (store.coefficient(i) != 0) {
        ++first[static_cast<std::size_t>(powers[side][i] - lowestPower) + 1];
        ++kept;
      }
    for (std::size_t p = 1; p < first.size(); ++p) first[p] += first[p - 1];
    std::vector<std::uint32_t> order(kept);
    for (std::size_t i = 0; i < store.size(); ++i)
      if (store.coefficient(i) != 0)
        order[first[static_cast<std::size_t>(powers[side][i] - lowestPower)]++] = static_cast<std::uint32_t>(i);
    *out[side] = PrintedTerms(std::move(*stores[side]), std::move(order), form, side == 0 ? sign : 1);
  }
}

// One function being generated: its graph pair and its search.
struct FunctionSearch {
  GraphPair graph;
  std::unique_ptr<DominantTreeSearch> search;
  std::vector<double> largest;  // per frequency: a ceiling on its trees' log sizes
  TermStore terms;
  std::uint64_t lastVisited = 0;  // partial trees looked at by the last search
};

// The monomial of a tree: each symbol's exponent, one byte per slot.
class MonomialKey {
 public:
  MonomialKey(const GraphPair& g, std::size_t width) : g_(g), key_(width, '\0') {}
  std::string_view of(const int* edges, int count) {
    std::fill(key_.begin(), key_.end(), '\0');
    for (int i = 0; i < count; ++i)
      if (g_.dmap[edges[i]] == kClassAdmittance) ++key_[static_cast<std::size_t>(g_.dbranchmap[edges[i]])];
    return key_;
  }

 private:
  const GraphPair& g_;
  std::string key_;
};

// A count of trees for the progress line, `more` on from `from`, held
// within an int.
int countUpTo(int from, long long more) {
  return static_cast<int>(std::min<long long>(std::numeric_limits<int>::max(), from + more));
}

// How one collection of a function's terms went.
struct Collection {
  bool stopped = false;     // the meter (or a job's) stopped it
  bool overMemory = false;  // the terms passed the memory bound
};

// The terms of the trees of `fn` that reach `threshold`, into fn.terms, in
// the order of the search. With several jobs the search is cut into units
// that the jobs claim as they are free; each unit's terms are stored apart
// and added to fn.terms in the units' order, which is the search's. The
// job on `meter` shows the progress line (the count at `generated` takes in
// the other jobs' trees unit by unit); the others stop at the same bounds
// and as soon as any job stops.
Collection collectTerms(FunctionSearch& fn, const std::vector<double>& threshold, std::size_t width,
                        const GenerationRequest& request, std::size_t bytesBefore, WorkMeter& meter,
                        std::chrono::steady_clock::time_point started, int& generated) {
  Collection outcome;
  fn.terms.reset(width);
  const std::uint64_t visitedBefore = fn.search->visited();
  struct NoteVisited {
    FunctionSearch& fn;
    std::uint64_t before;
    ~NoteVisited() { fn.lastVisited = fn.search->visited() - before; }
  } noteVisited{fn, visitedBefore};
  const int jobs = request.jobs;
  const std::size_t memoryBound = request.memoryBound;
  const bool shared = jobs > 1 && fn.lastVisited >= request.sharedSearchNodes;
  // The first edge with enough units: one edge deeper at most doubles them
  // (each node has two children), so that there are never many more than
  // wanted, and each count costs about the units it counts.
  int splitEdge = 2, units = 0;
  while (shared) {
    splitEdge = std::min(splitEdge + 1, fn.search->edges());
    units = fn.search->countUnits(threshold, splitEdge, meter);
    if (units < 0) {
      outcome.stopped = true;
      return outcome;
    }
    if (units >= kUnitsPerJob * jobs || splitEdge == fn.search->edges()) break;
  }
  if (!shared || units <= 1) {
    MonomialKey key(fn.graph, width);
    const DominantTreeSearch::Visit visit = [&](const int* edges, int count, int sign) {
      fn.terms.add(key.of(edges, count), sign);
      generated = countUpTo(generated, 1);
      if (memoryBound != 0 && bytesBefore + fn.terms.bytes() > memoryBound) outcome.overMemory = true;
    };
    outcome.stopped = !fn.search->collect(threshold, visit, meter);
    return outcome;
  }

  std::vector<TermStore> byUnit(static_cast<std::size_t>(units));
  for (TermStore& store : byUnit) store.reset(width);
  std::atomic<int> next{0};
  std::atomic<bool> cancelled{false};
  std::atomic<long long> unitsGenerated{0};  // trees of the units done
  std::atomic<std::size_t> unitBytes{0};
  std::atomic<bool> overMemory{false};
  std::vector<char> stopped(static_cast<std::size_t>(jobs), 0);
  const int generatedBefore = generated;
  parallelFor(static_cast<std::size_t>(jobs), jobs, [&](std::size_t job) {
    WorkMeter piece;
    piece.interruptFlag = meter.interruptFlag;
    piece.secondsPerFunction = meter.secondsPerFunction;
    piece.workLimit = meter.workLimit;
    piece.beginPiece(request.name, started, &cancelled);
    WorkMeter& mine = job == 0 ? meter : piece;
    MonomialKey key(fn.graph, width);
    TermStore* into = nullptr;
    long long count = 0;  // trees of the unit being searched
    auto unitDone = [&] {
      if (into == nullptr) return;
      unitBytes.fetch_add(into->bytes(), std::memory_order_relaxed);
      unitsGenerated.fetch_add(count, std::memory_order_relaxed);
      count = 0;
    };
    DominantTreeSearch::Units share;
    share.splitEdge = splitEdge;
    share.next = &next;
    share.cancelled = &cancelled;
    share.begin = [&](int unit) {
      unitDone();
      into = &byUnit[static_cast<std::size_t>(unit)];
    };
    const DominantTreeSearch::Visit visit = [&](const int* edges, int n, int sign) {
      into->add(key.of(edges, n), sign);
      ++count;
      if (job == 0) generated = countUpTo(generatedBefore, unitsGenerated.load(std::memory_order_relaxed) + count);
      if (memoryBound != 0 &&
          bytesBefore + unitBytes.load(std::memory_order_relaxed) + into->bytes() > memoryBound)
        overMemory.store(true, std::memory_order_relaxed);
    };
    try {
      stopped[job] = !fn.search->collect(threshold, visit, mine, &share);
    } catch (...) {
      cancelled.store(true);
      throw;
    }
    unitDone();
    if (stopped[job] != 0) cancelled.store(true);
    if (job != 0) piece.end();
  });
  generated = countUpTo(generatedBefore, unitsGenerated.load());
  outcome.overMemory = overMemory.load();
  outcome.stopped = std::any_of(stopped.begin(), stopped.end(), [](char c) { return c != 0; });
  if (outcome.stopped) return outcome;
  for (TermStore& store : byUnit) {
    fn.terms.addAll(store);
    store = TermStore();  // its memory goes back at once
  }
  return outcome;
}

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
  const std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
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
    PrintedTerms numerator, denominator;
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
      std::vector<double> threshold(fn.largest.size());
      for (std::size_t f = 0; f < threshold.size(); ++f) threshold[f] = fn.largest[f] + logTau[f];
      const Collection collected =
          collectTerms(fn, threshold, static_cast<std::size_t>(kinds.span), request, bytes, ctx.meter, started,
                       generatedCount);
      stopped = collected.stopped;
      bytes += fn.terms.bytes();
      if (collected.overMemory) {
        bound = "the memory bound";
        stopped = true;
      }
      if (stopped) break;
    }
    if (stopped) break;  // this step's set is incomplete: the last whole one stands

    Generated now;
    printedForm(functions[0].terms, functions[1].terms, request.sign, kinds, now.numerator, now.denominator);
    now.counts = TermCounts{now.numerator.size(), now.denominator.size()};
    now.formula = numericFormula(now.numerator, now.denominator, assignment.values);
    now.error = now.denominator.size() == 0 ? INFINITY : grid.error(now.formula);
    const bool close = now.error <= request.settings.eps * kCloseEnough ||
                       (now.error <= request.settings.eps &&
                        now.counts.numerator + now.counts.denominator > kRoomyTerms);
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
    bound = ctx.meter.stopped() == WorkMeter::Stop::kInterrupted || ctx.meter.interrupted() ? "an interrupt"
                                                                                          : "the time bound";

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
  result.numerator = best->numerator.owned();
  result.denominator = best->denominator.owned();
  result.formula = std::move(best->formula);
  result.error = best->error;
  result.kept = best->counts;
  result.met = best->error <= request.settings.eps;
  if (!result.met) result.stoppedBy = bound != nullptr ? bound : "the search";
  return result;
}

}  // namespace velkor

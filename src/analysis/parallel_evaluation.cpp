#include "analysis/parallel_evaluation.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "analysis/analysis_context.h"
#include "analysis/formula_evaluator.h"
#include "trees/common_tree_split.h"
#include "trees/raw_tree_count.h"

namespace velkor {

namespace {

using Clock = std::chrono::steady_clock;

// Subtrees per job of a large function: enough that the jobs finish close
// together although subtrees differ widely in size.
constexpr int kSubtreesPerJob = 24;
// Fewer subtrees will do when their products are apart.
constexpr int kSubtreesApartPerJob = 8;
// A piece should have about this bound on its trees (commonTreeBound, which
// pruning often brings down tenfold) at least: a smaller one costs
// more to set up and put together than it saves.
constexpr int kTreesPerPiece = 32768;

// One function of the pass.
struct PlannedFunction {
  int topofun = 0;
  const char* parameter = "";  // the first parameter that needs it
  std::unique_ptr<GraphPair> graph;
  std::vector<SubtreeRoot> roots;  // the subtrees of a fast-path function
  double bound = 0;                // the bound on its common trees
  bool whole = false;              // one piece through the tree product (plain path, step bound)
  bool apart = false;              // the subtrees share no product: their terms are put one after another
  int exponentCount = kSymbolSlots;
  int firstPiece = 0;
  int pieceCount = 0;
  int merged = 0;  // its pieces merged (the caller's)
  StringOutput text;
  // Set by the first piece that begins, under the lock.
  bool begun = false;
  Clock::time_point started;
  // The first failure of a piece, under the lock; the other pieces then stop.
  int status = 0;
  WorkMeter::Stop stop = WorkMeter::Stop::kNone;
  std::atomic<bool> cancelled{false};
  bool merging = false;  // the main thread's index over the record is open
  bool boundRefused = false;
};

// One unit of work for a job: a subtree of a function, or a whole function.
struct Piece {
  int function = 0;
  int subtree = 0;
  PolyRecord record;  // the subtree's terms (a function of one piece: the function's own record)
  std::atomic<int> trees{0};
  int lastTree[kTreeSlots] = {};  // the last tree accumulated
  bool done = false;              // under the lock
};

// What one job works with besides the shared plan.
struct JobSpace {
  JobSpace(AnalysisContext& ctx, Output& sink)
      : poly(ctx.alloc, sink, ctx.store.traceBits, ctx.store.netlistNumber, ctx.store.traceLabel, ctx.plainPath) {
    meter.interruptFlag = ctx.meter.interruptFlag;
    meter.secondsPerFunction = ctx.meter.secondsPerFunction;
    meter.workLimit = ctx.meter.workLimit;
  }
  PolyContext poly;
  TreeGenerator generator;
  CommonTreeEnumerator commonTrees;
  ProductState product;
  WorkMeter meter;
  RunStatistics statistics;
};

class PassEvaluation {
 public:
  PassEvaluation(AnalysisContext& ctx, int jobs) : ctx_(ctx), jobs_(jobs) {}

  // Takes the scratch the plan needs; false when the heap refused it (the
  // pass then evaluates as one job does).
  bool ready() {
    scratch_.reset(new (std::nothrow) CommonTreeEnumerator);
    probe_.reset(new (std::nothrow) JobSpace(ctx_, noText_));
    return scratch_ != nullptr && probe_ != nullptr;
  }

  // Builds the functions' graphs and records in pass order and cuts them
  // into pieces.
  void plan(const std::vector<std::pair<int, const char*>>& needed);
  // Runs the pieces on the jobs and merges them, showing progress.
  void run();
  // Hands every function's outcome to the held table.
  void hold();

 private:
  std::vector<bool> functionsToCut(int small) const;
  void work(JobSpace& space);
  void runPiece(JobSpace& space, Piece& piece);
  void failFunction(PlannedFunction& f, int status, WorkMeter::Stop stop);
  void runInline();
  static std::string memoryReport(int rawCount, int trees);
  int treesBefore(const Piece& piece) const;
  int rawOrdinal(JobSpace& space, PlannedFunction& f, const int* tree, int trees) const;
  void merge(Piece& piece);
  void showProgress(Clock::time_point now);
  // Whether a piece's terms wait in a record of their own to be merged
  // (a piece of a cut function); the window bounds how many do.
  bool heldForMerge(const Piece& piece) const {
    return functions_[static_cast<std::size_t>(piece.function)]->pieceCount > 1;
  }
  // The next piece the caller can merge: the next of its function, done,
  // and, where pieces are merged through the term index, not while another
  // function's merge holds the index. Null when there is none yet.
  Piece* nextToMerge(int& open);
  TreeContext treeContext(JobSpace& space, PlannedFunction& f, Output& out) {
    return TreeContext{space.poly,    out,           ctx_.store,    ctx_.maps,        *f.graph,
                       space.generator, space.commonTrees, space.product, space.meter, space.statistics};
  }

  AnalysisContext& ctx_;
  int jobs_;
  std::vector<std::unique_ptr<PlannedFunction>> functions_;
  std::vector<std::unique_ptr<Piece>> pieces_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::size_t nextPiece_ = 0;  // under the lock
  std::size_t merged_ = 0;     // pieces merged (under the lock)
  std::size_t waiting_ = 0;    // pieces of cut functions taken and not merged yet (under the lock)
  std::size_t window_ = 0;     // of those, at most
  StringOutput noText_;
  bool shown_ = false;
  std::unique_ptr<CommonTreeEnumerator> scratch_;
  std::unique_ptr<JobSpace> probe_;
  bool boundRefused_ = false;  // a refusal for the memory bound was seen (under the lock)
  double trees_ = 0;           // the bounds on the pass's trees, in all
};

void PassEvaluation::plan(const std::vector<std::pair<int, const char*>>& needed) {
  NetworkStore& s = ctx_.store;
  const bool cut = !ctx_.plainPath && ctx_.meter.workLimit == 0;
  CommonTreeEnumerator* scratch = scratch_.get();
  for (const auto& [topofun, parameter] : needed) {
    auto f = std::make_unique<PlannedFunction>();
    f->topofun = topofun;
    f->parameter = parameter;
    f->graph = std::make_unique<GraphPair>();
    HeldFunction& held = ctx_.held.functions[topofun];
    held = HeldFunction{};
    held.held = true;
    const FormulaStart start =
        startFormula(ctx_, s.analysisPassiveCount, s.activeCount, s.treeSize, topofun, *f->graph);
    held.noRecord = start == FormulaStart::kNoRecord;
    if (held.noRecord) held.boundRefused = ctx_.alloc.takeBoundRefusal();
    held.started = start == FormulaStart::kReady;
    if (!held.started) continue;
    if (!cut) {
      trees_ = INFINITY;
      f->whole = true;
    } else {
      JobSpace& probe = *probe_;
      TreeContext trees = treeContext(probe, *f, noText_);
      f->exponentCount = termSpan(trees);
      compactTerms(ctx_.polyRecords[topofun], f->exponentCount);
      // The size of a function, told at once by a bound on its trees
      // (which the search's pruning mostly meets in work, if not in trees).
      f->bound = commonTreeBound(*f->graph);
      trees_ += f->bound;
    }
    functions_.push_back(std::move(f));
  }
  const int small = ctx_.splitAbove;
  const double perPiece = small == 0 ? 1 : kTreesPerPiece;
  const std::vector<bool> cutting = functionsToCut(small);
  for (std::size_t index = 0; index < functions_.size(); ++index) {
    PlannedFunction& f = *functions_[index];
    if (f.whole) {
      f.pieceCount = 1;
    } else if (!cutting[index]) {
      if (f.bound >= 0.5) f.roots.push_back(SubtreeRoot{});
      f.pieceCount = static_cast<int>(f.roots.size());
    } else {
      // Cut where the subtrees' products stay apart when that gives the
      // jobs enough pieces: their terms are then only put together.
      // (With every function cut, as tests ask, a few pieces each will do.)
      const int most = small == 0 ? 4 * jobs_ : kSubtreesPerJob * jobs_;
      const int wanted = static_cast<int>(std::clamp(f.bound / perPiece, double(jobs_), double(most)));
      f.roots = listSubtrees(*scratch, *f.graph, wanted, lastDistinguishingEdge(*f.graph));
      f.apart = static_cast<int>(f.roots.size()) >= std::min(wanted, kSubtreesApartPerJob * jobs_);
      if (!f.apart) f.roots = listSubtrees(*scratch, *f.graph, wanted);
      f.pieceCount = static_cast<int>(f.roots.size());
    }
  }
  // The jobs take the functions left whole first, largest bound first, and
  // the pieces of those cut after them: the small pieces then fill in
  // while the last whole function ends, whatever its true size. Each
  // function's pieces stay together, in order.
  std::vector<std::size_t> order(functions_.size());
  for (std::size_t index = 0; index < order.size(); ++index) order[index] = index;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const PlannedFunction& fa = *functions_[a];
    const PlannedFunction& fb = *functions_[b];
    if ((fa.pieceCount > 1) != (fb.pieceCount > 1)) return fb.pieceCount > 1;
    return fa.pieceCount <= 1 && fa.bound > fb.bound;
  });
  for (std::size_t index : order) {
    PlannedFunction& f = *functions_[index];
    f.firstPiece = static_cast<int>(pieces_.size());
    for (int k = 0; k < f.pieceCount; ++k) {
      auto piece = std::make_unique<Piece>();
      piece->function = static_cast<int>(index);
      piece->subtree = k;
      pieces_.push_back(std::move(piece));
    }
  }
  window_ = static_cast<std::size_t>(2 * jobs_ + 2);
}

// Which functions are cut into subtrees. Functions whose bound on trees is
// at most `small` never are; with `small` 0 (as tests ask) every one is.
// Otherwise the functions are handed out whole, in order, to whichever job
// is free first (as the jobs take their pieces), their bounds standing for
// their work; while the last job would end after an even share of the
// pass, the largest function still whole is cut. The bounds are loose, and
// unevenly so (pruning took one function bounded at 460,521 trees down to
// 1,000), so no slack is left: a function whose bound alone upsets the
// share is cut. Functions shared out whole are written straight into
// their records: nothing is put together.
std::vector<bool> PassEvaluation::functionsToCut(int small) const {
  const std::size_t count = functions_.size();
  std::vector<bool> cut(count, false);
  if (small == 0) {
    for (std::size_t k = 0; k < count; ++k) cut[k] = !functions_[k]->whole;
    return cut;
  }
  // A pass evaluated on the calling thread (see run) is not cut either.
  if (trees_ <= small) return cut;
  const double even = trees_ / jobs_;
  for (;;) {
    std::vector<double> load(static_cast<std::size_t>(jobs_), 0.0);
    for (std::size_t k = 0; k < count; ++k) {
      const PlannedFunction& f = *functions_[k];
      // A cut function's pieces spread over every job.
      const int shares = cut[k] ? jobs_ : 1;
      for (int share = 0; share < shares; ++share)
        *std::min_element(load.begin(), load.end()) += f.bound / shares;
    }
    if (*std::max_element(load.begin(), load.end()) <= even) return cut;
    std::size_t largest = count;
    for (std::size_t k = 0; k < count; ++k) {
      const PlannedFunction& f = *functions_[k];
      if (cut[k] || f.whole || f.bound <= small) continue;
      if (largest == count || f.bound > functions_[largest]->bound) largest = k;
    }
    if (largest == count) return cut;
    cut[largest] = true;
  }
}

void PassEvaluation::failFunction(PlannedFunction& f, int status, WorkMeter::Stop stop) {
  if (f.status != 0) return;
  // Which job's request met the bound cannot be told apart; once one has,
  // every later failure is taken as meeting it too.
  if (status == 1) {
    boundRefused_ = ctx_.alloc.takeBoundRefusal() || boundRefused_;
    f.boundRefused = boundRefused_;
  }
  f.status = status;
  f.stop = stop;
  f.cancelled.store(true, std::memory_order_relaxed);
}

int PassEvaluation::treesBefore(const Piece& piece) const {
  const PlannedFunction& f = *functions_[static_cast<std::size_t>(piece.function)];
  int trees = 0;
  for (int k = f.firstPiece; k < f.firstPiece + piece.subtree; ++k)
    trees += pieces_[static_cast<std::size_t>(k)]->trees.load(std::memory_order_relaxed);
  return trees;
}

// The raw-tree count of the plain generator up to `tree`, the `trees`-th
// common tree, as the report of a failure prints it.
int PassEvaluation::rawOrdinal(JobSpace& space, PlannedFunction& f, const int* tree, int trees) const {
  int ordinal = 0;
  if (rawTreeOrdinal(*f.graph, tree, f.graph->actual_nodes - 1, &ordinal)) return ordinal;
  StringOutput unused;
  TreeContext context{space.poly,      unused,          ctx_.store,    ctx_.maps,   *f.graph,
                      space.generator, space.commonTrees, space.product, space.meter, space.statistics};
  space.generator.generatorState = EnumerationState::kStart;
  for (int accepted = 0; accepted < trees; ++accepted) {
    nextTree(context);
    if (space.generator.generatorState != EnumerationState::kRunning) break;
  }
  return space.generator.rawTreeCount;
}

// The report of a function that ran out of memory, as the tree product
// prints it.
std::string PassEvaluation::memoryReport(int rawCount, int trees) {
  char counters[128];
  std::snprintf(counters, sizeof counters, "raw i-trees  evaluated:%9d\nqualified common trees:%9d\n", rawCount,
                trees);
  return std::string("insufficient memory for combining admittance terms\n") + counters;
}

void PassEvaluation::runPiece(JobSpace& space, Piece& piece) {
  PlannedFunction& f = *functions_[static_cast<std::size_t>(piece.function)];
  PolyRecord& own = ctx_.polyRecords[f.topofun];
  if (f.whole) {
    // The tree product as one job runs it, its report into the function's text.
    TreeContext context = treeContext(space, f, f.text);
    const int status =
        treeProduct(context, f.graph->minty_nodes, f.graph->edges, f.graph->actual_nodes, f.graph->form, f.topofun, own);
    std::lock_guard<std::mutex> hold(lock_);
    if (status != 0) failFunction(f, status, space.meter.stopped());
    return;
  }
  if (f.cancelled.load(std::memory_order_relaxed)) return;
  TreeContext context = treeContext(space, f, noText_);
  const bool alone = f.pieceCount == 1;
  PolyRecord& record = alone ? own : piece.record;
  if (!alone && createPolyRecord(space.poly, record) != 0) {
    std::lock_guard<std::mutex> hold(lock_);
    f.text.print("%s", memoryReport(0, treesBefore(piece)).c_str());
    failFunction(f, 1, WorkMeter::Stop::kNone);
    return;
  }
  space.meter.beginPiece(topofunNames[f.topofun], f.started, &f.cancelled);
  int failedTree[kTreeSlots] = {};
  const int status = subtreeProduct(context, f.roots[static_cast<std::size_t>(piece.subtree)], f.exponentCount,
                                    record, alone, piece.trees, failedTree);
  space.meter.end();
  const int treeEdges = f.graph->actual_nodes - 1;
  for (int pos = 1; pos <= treeEdges && pos < kTreeSlots; ++pos) piece.lastTree[pos] = space.generator.treeEdges[pos];
  if (status == 0) return;
  const WorkMeter::Stop stop = space.meter.stopped();
  if (stop == WorkMeter::Stop::kCancelled) return;  // another piece failed first
  std::string report;
  if (status != kCoefficientOutOfRange && status != kProductStopped) {
    int trees = 0;
    {
      std::lock_guard<std::mutex> hold(lock_);
      trees = treesBefore(piece);
    }
    trees += piece.trees.load(std::memory_order_relaxed);
    report = memoryReport(rawOrdinal(space, f, failedTree, trees), trees);
  }
  std::lock_guard<std::mutex> hold(lock_);
  if (f.status == 0) f.text.write(report.data(), report.size());
  failFunction(f, status, stop);
}

void PassEvaluation::work(JobSpace& space) {
  for (;;) {
    Piece* piece = nullptr;
    {
      std::unique_lock<std::mutex> hold(lock_);
      // Pieces are taken in order, never too far ahead of the merge, so
      // that the terms waiting to be merged stay few.
      changed_.wait(hold, [&] {
        return nextPiece_ >= pieces_.size() || !heldForMerge(*pieces_[nextPiece_]) || waiting_ < window_;
      });
      if (nextPiece_ >= pieces_.size()) return;
      piece = pieces_[nextPiece_++].get();
      if (heldForMerge(*piece)) ++waiting_;
      PlannedFunction& f = *functions_[static_cast<std::size_t>(piece->function)];
      if (!f.begun) {
        f.begun = true;
        f.started = Clock::now();
      }
    }
    runPiece(space, *piece);
    {
      std::lock_guard<std::mutex> hold(lock_);
      piece->done = true;
    }
    changed_.notify_all();
  }
}

// Merges a finished piece into its function's record, in piece order (the
// main thread only).
void PassEvaluation::merge(Piece& piece) {
  PlannedFunction& f = *functions_[static_cast<std::size_t>(piece.function)];
  PolyRecord& own = ctx_.polyRecords[f.topofun];
  const bool last = piece.subtree == f.pieceCount - 1;
  int status = 0;
  {
    std::lock_guard<std::mutex> hold(lock_);
    status = f.status;
  }
  if (status == 0 && f.apart) {
    if (own.termCount == 0 && own.live() && piece.record.live()) {
      // The first terms: the piece's record becomes the function's.
      std::swap(own, piece.record);
    } else {
      status = appendTerms(ctx_.poly, own, piece.record);
    }
    if (status == 0 && last) orderColumns(own, jobs_);
    if (status != 0) {
      const int trees = treesBefore(piece) + piece.trees.load(std::memory_order_relaxed);
      const std::string report = memoryReport(rawOrdinal(*probe_, f, piece.lastTree, trees), trees);
      std::lock_guard<std::mutex> hold(lock_);
      f.text.write(report.data(), report.size());
      failFunction(f, status, WorkMeter::Stop::kNone);
    }
  } else if (status == 0 && !f.whole && f.pieceCount > 1) {
    if (piece.subtree == 0) {
      beginIndexedAccumulationOver(ctx_.poly, own);
      f.merging = true;
    }
    // Each term with its power, in the order the piece met them.
    std::vector<std::uint8_t> powerOf(static_cast<std::size_t>(piece.record.termCount));
    for (int power = 0; power < kPowerColumns; ++power)
      for (int r = 0; r < piece.record.powerCounts[power]; ++r)
        powerOf[static_cast<std::size_t>(piece.record.at(r, power))] = static_cast<std::uint8_t>(power);
    for (std::int32_t t = 0; t < piece.record.termCount && status == 0; ++t) {
      const Term& term = piece.record.term(t);
      status = mergeTerm(ctx_.poly, powerOf[static_cast<std::size_t>(t)], term.exponents, term.coefficient, own);
    }
    if (status != 0) {
      std::string report;
      if (status != kCoefficientOutOfRange) {
        const int trees = treesBefore(piece) + piece.trees.load(std::memory_order_relaxed);
        report = memoryReport(rawOrdinal(*probe_, f, piece.lastTree, trees), trees);
      }
      std::lock_guard<std::mutex> hold(lock_);
      f.text.write(report.data(), report.size());
      failFunction(f, status, WorkMeter::Stop::kNone);
    }
  }
  releasePolyRecord(ctx_.poly, piece.record);
  {
    std::lock_guard<std::mutex> hold(lock_);
    status = f.status;
  }
  if (f.merging && (last || status != 0)) {
    endIndexedAccumulation(ctx_.poly, own, status == 0);
    f.merging = false;
  }
  if (status != 0 && !f.whole) releasePolyRecord(ctx_.poly, own);
}

Piece* PassEvaluation::nextToMerge(int& open) {
  for (std::size_t index = 0; index < functions_.size(); ++index) {
    const PlannedFunction& f = *functions_[index];
    if (f.merged >= f.pieceCount) continue;
    Piece& piece = *pieces_[static_cast<std::size_t>(f.firstPiece + f.merged)];
    if (!piece.done) continue;
    const bool indexed = !f.whole && !f.apart && f.pieceCount > 1;
    if (indexed && open >= 0 && open != static_cast<int>(index)) continue;
    return &piece;
  }
  return nullptr;
}

void PassEvaluation::showProgress(Clock::time_point now) {
  const WorkMeter& meter = ctx_.meter;
  if (meter.progress == nullptr || merged_ >= pieces_.size()) return;
  // The first function taken and not merged yet.
  const PlannedFunction* next = nullptr;
  for (const auto& piece : pieces_) {
    const PlannedFunction& f = *functions_[static_cast<std::size_t>(piece->function)];
    if (f.merged < f.pieceCount) {
      next = &f;
      break;
    }
  }
  if (next == nullptr) return;
  const PlannedFunction& f = *next;
  if (!f.begun || now - f.started < std::chrono::milliseconds(500)) return;
  int trees = 0;
  for (int k = f.firstPiece; k < f.firstPiece + f.pieceCount; ++k)
    trees += pieces_[static_cast<std::size_t>(k)]->trees.load(std::memory_order_relaxed);
  char line[160];
  std::snprintf(line, sizeof line, "velkor: %s, function %s: %d trees, %.1f s", f.parameter, topofunNames[f.topofun],
                trees, std::chrono::duration<double>(now - f.started).count());
  meter.progress->showStatus(line, meter.progressInPlace);
  shown_ = meter.progressInPlace;
}

// Without a thread of its own, every piece is run and merged in turn on
// the caller's thread.
void PassEvaluation::runInline() {
  for (merged_ = 0; merged_ < pieces_.size(); ++merged_) {
    Piece& piece = *pieces_[merged_];
    PlannedFunction& f = *functions_[static_cast<std::size_t>(piece.function)];
    if (!f.begun) {
      f.begun = true;
      f.started = Clock::now();
    }
    runPiece(*probe_, piece);
    merge(piece);
  }
}

void PassEvaluation::run() {
  // A pass of few trees in all is evaluated on this thread: starting
  // threads would cost more than it saves (unless every function is cut,
  // as the tests ask).
  const bool fewTrees = ctx_.splitAbove > 0 && trees_ <= ctx_.splitAbove;
  const int jobs =
      fewTrees ? 0 : static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(jobs_), pieces_.size()));
  std::vector<std::unique_ptr<JobSpace>> spaces;
  for (int j = 0; j < jobs; ++j) {
    std::unique_ptr<JobSpace> space(new (std::nothrow) JobSpace(ctx_, noText_));
    if (space == nullptr) break;
    spaces.push_back(std::move(space));
  }
  std::vector<std::thread> threads;
  for (std::size_t j = 0; j < spaces.size(); ++j) {
    try {
      threads.emplace_back([this, space = spaces[j].get()] { work(*space); });
    } catch (const std::system_error&) {
      break;  // no room for another thread: the jobs started do the work
    }
  }
  if (threads.empty()) runInline();
  if (!threads.empty()) {
    // Each function's pieces are merged in their order as they are done,
    // whatever the other functions' pieces wait for.
    std::unique_lock<std::mutex> hold(lock_);
    int open = -1;
    while (merged_ < pieces_.size()) {
      if (Piece* piece = nextToMerge(open)) {
        hold.unlock();
        merge(*piece);
        hold.lock();
        PlannedFunction& f = *functions_[static_cast<std::size_t>(piece->function)];
        ++f.merged;
        ++merged_;
        if (heldForMerge(*piece)) --waiting_;
        open = f.merging ? piece->function : (open == piece->function ? -1 : open);
        changed_.notify_all();
        continue;
      }
      changed_.wait_for(hold, std::chrono::milliseconds(250));
      showProgress(Clock::now());
    }
  }
  for (std::thread& thread : threads) thread.join();
  if (shown_) ctx_.meter.progress->clearStatus();
  spaces.push_back(std::move(probe_));
  for (const auto& space : spaces) {
    if (space == nullptr) continue;
    RunStatistics& total = ctx_.statistics;
    total.rawTrees += space->statistics.rawTrees;
    total.acceptedTrees += space->statistics.acceptedTrees;
    total.terms += space->statistics.terms;
    total.functions += space->statistics.functions;
  }
  for (const auto& f : functions_) {
    if (f->whole) continue;  // counted by its tree product
    ++ctx_.statistics.functions;
    const PolyRecord& own = ctx_.polyRecords[f->topofun];
    if (f->status == 0 && own.live()) ctx_.statistics.terms += static_cast<std::uint64_t>(own.termCount);
  }
}

void PassEvaluation::hold() {
  for (const auto& f : functions_) {
    HeldFunction& held = ctx_.held.functions[f->topofun];
    held.status = f->status;
    held.boundRefused = f->boundRefused;
    held.stop = f->stop;
    held.text = f->text.text();
  }
}

}  // namespace

void evaluatePassAhead(AnalysisContext& ctx, bool scattering) {
  dropHeldFunctions(ctx);
  if (ctx.jobs <= 1 || ctx.store.traceBits != 0 || !ctx.alloc.threadSafe() || ctx.meter.interrupted()) return;
  // The functions in the order the pass's loop evaluates them.
  std::vector<std::pair<int, const char*>> needed;
  bool listed[kTopofunCount] = {};
  for (int r = 0; r < kParameterCount; ++r) {
    const ParameterRecord& row = parameterTable[r];
    if (ctx.store.requestFlags[r] == 0 || isScatteringKind(row.kind) != scattering) continue;
    for (int topofun : {row.numeratorTopofun, row.denominatorTopofun}) {
      if (topofun < 0 || topofun >= kTopofunCount || listed[topofun] || ctx.store.topofunDone[topofun] != 0) continue;
      listed[topofun] = true;
      needed.emplace_back(topofun, parameterNames[r]);
    }
  }
  if (needed.empty()) return;
  std::unique_ptr<PassEvaluation> pass(new (std::nothrow) PassEvaluation(ctx, ctx.jobs));
  if (pass == nullptr || !pass->ready()) return;
  pass->plan(needed);
  pass->run();
  pass->hold();
}

bool takeHeldFunction(AnalysisContext& ctx, int topofun) {
  HeldFunction& held = ctx.held.functions[topofun];
  if (!held.held) return false;
  held.held = false;
  NetworkStore& s = ctx.store;
  ++s.traceLabel;
  if (!held.started) {
    if (held.noRecord)
      reportEarlierAnalysisError(ctx, held.boundRefused, "can't allocate space for function %s\n", topofunNames[topofun]);
    s.topofunDone[topofun] = 0;
    return true;
  }
  ctx.out.write(held.text.data(), held.text.size());
  if (held.status == kProductStopped && held.stop == WorkMeter::Stop::kTimeBound)
    ctx.meter.noteTimeBound(topofunNames[topofun]);
  concludeFormula(ctx, topofun, held.status, held.stop, &held.boundRefused);
  return true;
}

void dropHeldFunctions(AnalysisContext& ctx) {
  for (int id = 0; id < kTopofunCount; ++id) {
    HeldFunction& held = ctx.held.functions[id];
    if (held.held && held.started && ctx.store.topofunDone[id] == 0) releasePolyRecord(ctx.poly, ctx.polyRecords[id]);
    held = HeldFunction{};
  }
}

}  // namespace velkor

#include "analysis/parallel_finishing.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include <sys/resource.h>

#include "analysis/analysis_context.h"
#include "analysis/analysis_sequencer.h"
#include "analysis/formula_sink.h"
#include "model/parameter_table.h"
#include "support/char_source.h"
#include "support/job_pool.h"

namespace velkor {

namespace {

using Clock = std::chrono::steady_clock;
// The progress line for a formula finished on another thread appears once
// it has taken this long (from its start) while the caller waits for it,
// and is refreshed this often.
constexpr std::chrono::milliseconds kFirstShow{500};
constexpr std::chrono::milliseconds kRefresh{250};
// Term positions of a piece of a long polynomial printed by the jobs: about
// 200 KB of text on the larger circuits. With every function cut (as tests
// ask) pieces of two terms, so that they end inside groups and between.
constexpr std::size_t kPieceTerms = 2048;
constexpr std::size_t kTestPieceTerms = 2;
// Terms of a pass's functions in all up to which its formulas are finished
// one by one.
constexpr std::int64_t kApartTerms = 20000;

// The allocator of a formula finished apart: the run's, with the refusals
// for the memory bound that the finishing took noted, so that its error
// can be reported later on the caller's thread as it would have been.
class NotingAllocator final : public Allocator {
 public:
  explicit NotingAllocator(Allocator& inner) : inner_(inner) {}
  void* allocate(std::size_t bytes) override { return inner_.allocate(bytes); }
  void* resize(void* block, std::size_t bytes) override { return inner_.resize(block, bytes); }
  void release(void* block) override { inner_.release(block); }
  bool takeBoundRefusal() override {
    const bool refused = inner_.takeBoundRefusal();
    refusedOnce_ = refusedOnce_ || refused;
    return refused;
  }
  bool threadSafe() const override { return inner_.threadSafe(); }
  bool refused() const { return refusedOnce_; }

 private:
  Allocator& inner_;
  bool refusedOnce_ = false;
};

// One formula worked out apart: a context of its own, with copies of the
// run's store and maps and of the two functions it needs.
struct ApartFormula {
  ApartFormula(AnalysisContext& run, PassFormula& f)
      : formula(f), allocator(run.alloc), ctx(noInput, text, allocator) {}
  PassFormula& formula;
  StringSource noInput{std::string()};
  StringOutput text;  // anything its context printed beside the sink
  NotingAllocator allocator;
  AnalysisContext ctx;
  FinishedFormula fields;        // as computed
  bool named = false;            // prepareFormula found its functions
  JobPool::Task task;
  Clock::time_point started;     // when it was taken
  std::vector<int> fills;        // its copies reserved but not filled yet
  bool serial = false;  // its copies could not be made: finished the usual way
  std::exception_ptr thrown;
  int status = 0;
};

// Copies of the run's functions reserved but not filled yet, by function:
// they are filled by the formula's own thread, and a function is handed
// over (moved) only when no copy of it is pending.
class PendingCopies {
 public:
  PendingCopies() : count_(kTopofunCount, 0) {}
  void add(int topofun) {
    std::lock_guard<std::mutex> hold(lock_);
    ++count_[static_cast<std::size_t>(topofun)];
  }
  void done(int topofun) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      --count_[static_cast<std::size_t>(topofun)];
    }
    changed_.notify_all();
  }
  bool none(int topofun) {
    std::lock_guard<std::mutex> hold(lock_);
    return count_[static_cast<std::size_t>(topofun)] == 0;
  }
  void waitFor(int topofun) {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [&] { return count_[static_cast<std::size_t>(topofun)] == 0; });
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<int> count_;
};

// Copies the run's state that finishing reads into `apart`, and hands it
// the two functions: those `last` marks are taken over when no copy of
// them is pending, the others copied (their blocks reserved here, where a
// refusal shows, and filled by fillCopies). False when a copy could not be
// made (nothing is then taken from the run).
bool prepare(AnalysisContext& run, ApartFormula& apart, LastUse last, PendingCopies& pending) {
  AnalysisContext& ctx = apart.ctx;
  ctx.store = run.store;
  ctx.maps = run.maps;
  ctx.marks = run.marks;
  ctx.plainPath = run.plainPath;
  ctx.meter.interruptFlag = run.meter.interruptFlag;
  const FinishedFormula& fields = apart.formula.fields;
  const int numerator = fields.numeratorTopofun;
  const int denominator = fields.denominatorTopofun;
  auto take = [&](int topofun, bool handOver) {
    if (handOver && pending.none(topofun))
      return takePolyRecord(run.poly, 1, ctx.polyRecords[topofun], run.polyRecords[topofun], true);
    const CopyStatus status = reservePolyCopy(run.poly, ctx.polyRecords[topofun], run.polyRecords[topofun]);
    if (status == CopyStatus::kDone) apart.fills.push_back(topofun);
    return status;
  };
  CopyStatus copied = take(numerator, last.numerator && numerator != denominator);
  if (copied == CopyStatus::kDone && denominator != numerator) {
    copied = take(denominator, last.denominator);
    if (copied != CopyStatus::kDone) {
      // Given back where it came from when it was handed over.
      if (apart.fills.empty() && !run.polyRecords[numerator].live())
        std::swap(run.polyRecords[numerator], ctx.polyRecords[numerator]);
      releasePolyRecord(ctx.poly, ctx.polyRecords[numerator]);
      apart.fills.clear();
    }
  }
  if (copied != CopyStatus::kDone) {
    run.alloc.takeBoundRefusal();
    return false;
  }
  for (int topofun : apart.fills) pending.add(topofun);
  return true;
}

// Fills the copies `apart` reserved (on its own thread, or on the caller's
// before it finishes there).
void fillCopies(const AnalysisContext& run, ApartFormula& apart, PendingCopies& pending) {
  for (int topofun : apart.fills) {
    fillPolyCopy(run.plainPath, 1, apart.ctx.polyRecords[topofun], run.polyRecords[topofun]);
    pending.done(topofun);
  }
  apart.fills.clear();
}

// Works the formula out on its own context, up to its printing (on a job's
// thread, or the caller's).
void compute(ApartFormula& apart) {
  apart.fields = apart.formula.fields;
  apart.named = prepareFormula(apart.ctx, apart.fields);
  if (apart.named) apart.status = computeFormula(apart.ctx, apart.fields, LastUse{true, true});
}

// Prints the formula worked out apart into `sink` (the caller's thread),
// its long polynomials in pieces shared among the jobs.
void print(ApartFormula& apart, FormulaSink& sink, PieceWriter& pieces, std::size_t pieceTerms) {
  if (!apart.named) return;
  FinishedFormula& formula = apart.fields;
  sink.formulaStarted(formula);
  formula.pieces = &pieces;
  formula.pieceTerms = pieceTerms;
  apart.status = printComputedFormula(apart.ctx, formula, sink, apart.status);
  formula.pieces = nullptr;
  apart.formula.fields.outcome = formula.outcome;
  apart.formula.fields.message = formula.message;
}

// What the finishing reported to its own diagnostics, reported to the run's.
void reportFailure(AnalysisContext& run, const ApartFormula& apart) {
  const FinishedFormula& fields = apart.formula.fields;
  if (fields.outcome == FormulaOutcome::kFailedCopy || fields.outcome == FormulaOutcome::kFailedConversion)
    run.diag.mirrorError(run.marks.endAt, fields.message.c_str(), apart.allocator.refused());
}

}  // namespace

bool finishApart(const AnalysisContext& ctx, const FormulaSink& sink, int formulas, std::int64_t terms) {
  // A pass of one formula goes apart too: its long polynomials are then
  // printed in pieces by all the jobs.
  if (ctx.jobs <= 1 || formulas < 1 || ctx.plainPath || ctx.store.traceBits != 0 ||
      ctx.meter.secondsPerFunction > 0 || !ctx.alloc.threadSafe())
    return false;
  // Small formulas are finished one by one: a thread costs more than they
  // take (the Python module's many small calls slowed threefold). With
  // every function cut (splitAbove 0, as the tests ask) they go apart too.
  if (ctx.splitAbove > 0 && terms <= kApartTerms) return false;
  // Formulas finished side by side hold copies of their functions at once,
  // which needs room to spare: under a bound on the address space they are
  // finished one by one, as one job does.
  struct rlimit space {};
  if (getrlimit(RLIMIT_AS, &space) != 0 || space.rlim_cur != RLIM_INFINITY) return false;
  StringOutput probe;
  return sink.printingInto(probe) != nullptr;
}

void deliverApart(AnalysisContext& ctx, FormulaSink& sink, std::vector<PassFormula>& formulas) {
  const std::size_t count = formulas.size();
  const std::size_t jobs = static_cast<std::size_t>(ctx.jobs);
  PendingCopies pending;
  std::vector<std::unique_ptr<ApartFormula>> apart(count);
  // Declared after the formulas, so gone first: the tasks running finish,
  // and those still queued are dropped, before any formula goes.
  JobPool pool(static_cast<int>(jobs) - 1, ctx.pieceTexts);

  // The formulas are taken (their copies reserved) largest first, so that the
  // longest finishings begin first, and printed in order. A function is
  // handed over to the formula taking it only when it is that formula's
  // last use in the pass and no formula still to be taken needs it.
  std::vector<bool> taken(count, false);
  std::vector<std::int64_t> terms(count, 0);
  std::vector<int> needing(kTopofunCount, 0);
  auto functionsOf = [&](std::size_t k) {
    const ParameterRecord& row = parameterTable[formulas[k].row];
    return std::pair<int, int>(row.numeratorTopofun, row.denominatorTopofun);
  };
  auto countNeeds = [&](std::size_t k, int change) {
    const auto [numerator, denominator] = functionsOf(k);
    for (int topofun : {numerator, denominator}) {
      if (topofun < 0 || topofun >= kTopofunCount) continue;
      needing[static_cast<std::size_t>(topofun)] += change;
      if (numerator == denominator) break;
    }
  };
  for (std::size_t k = 0; k < count; ++k) {
    countNeeds(k, 1);
    const auto [numerator, denominator] = functionsOf(k);
    for (int topofun : {numerator, denominator})
      if (topofun >= 0 && topofun < kTopofunCount) terms[k] += ctx.polyRecords[topofun].termCount;
  }
  auto neededElsewhere = [&](int topofun) {
    return topofun < 0 || topofun >= kTopofunCount || needing[static_cast<std::size_t>(topofun)] != 0;
  };

  bool serialWaiting = false;  // a formula must wait to be finished the usual way
  std::size_t held = 0;        // formulas taken and not yet printed
  auto take = [&](std::size_t k) -> ApartFormula* {
    taken[k] = true;
    PassFormula& f = formulas[k];
    ctx.store.traceLabel = parameterTable[f.row].kind;
    countNeeds(k, -1);
    const auto [numerator, denominator] = functionsOf(k);
    const LastUse handOver{f.lastUse.numerator && !neededElsewhere(numerator),
                           f.lastUse.denominator && !neededElsewhere(denominator)};
    apart[k].reset(new (std::nothrow) ApartFormula(ctx, f));
    ApartFormula* a = apart[k].get();
    if (a == nullptr || !prepare(ctx, *a, handOver, pending)) {
      // Finished the usual way on the run's functions: it still needs them.
      if (a != nullptr) a->serial = true;
      countNeeds(k, 1);
      serialWaiting = true;
      return nullptr;
    }
    a->ctx.store.traceLabel = ctx.store.traceLabel;
    a->started = Clock::now();
    a->task.run = [a, &ctx, &pending] {
      fillCopies(ctx, *a, pending);
      // What the work throws (the heap's refusals in the C++ library) is
      // thrown again on the caller's thread, as one job would have thrown it.
      try {
        compute(*a);
      } catch (...) {
        a->thrown = std::current_exception();
      }
    };
    ++held;
    return a;
  };
  auto largestWaiting = [&](std::size_t head) {
    std::size_t largest = count;
    for (std::size_t k = head + 1; k < count; ++k)
      if (!taken[k] && (largest == count || terms[k] > terms[largest])) largest = k;
    return largest;
  };
  // The largest formulas after the head are worked out ahead by the jobs,
  // each up to its printing, until a job beside each one is held (they hold
  // their copies until printed) or one must wait to be finished the usual
  // way. The jobs print the head's pieces before they take one.
  auto dispatch = [&](std::size_t head) {
    while (!serialWaiting && held < jobs + 1) {
      const std::size_t k = largestWaiting(head);
      if (k == count) return;
      ApartFormula* a = take(k);
      if (a == nullptr) return;
      pool.post(a->task);
    }
  };

  for (std::size_t head = 0; head < count; ++head) {
    if (ctx.meter.interrupted()) break;  // the work started is seen through; nothing more is printed
    bool headSerial = false;
    if (!taken[head]) {
      ApartFormula* a = take(head);
      headSerial = a == nullptr;
    } else {
      headSerial = apart[head] == nullptr || apart[head]->serial;
    }
    if (headSerial) serialWaiting = false;
    // None start while the head is finished the usual way.
    if (!headSerial) dispatch(head);
    PassFormula& f = formulas[head];
    ctx.store.traceLabel = parameterTable[f.row].kind;
    if (f.zero) warnIndeterminate(ctx, f.row);
    if (headSerial) {
      // Its functions are still the run's: finished as one job finishes it,
      // once no copy of them is being filled (it may take them over). The
      // copies waiting in the queue are filled here first: with no thread
      // to be had, none would fill them.
      for (std::size_t k = head + 1; k < count; ++k)
        if (apart[k] != nullptr && !apart[k]->serial) pool.runIfWaiting(apart[k]->task);
      const auto [numerator, denominator] = functionsOf(head);
      for (int topofun : {numerator, denominator})
        if (topofun >= 0 && topofun < kTopofunCount) pending.waitFor(topofun);
      FinishedFormula formula = f.fields;
      finishFormula(ctx, formula, sink, f.lastUse);
      countNeeds(head, -1);
      ctx.out.flush();
      continue;
    }
    ApartFormula& a = *apart[head];
    // Worked out here when no job has started it; otherwise awaited, on
    // the progress line as one job's printing shows.
    if (!pool.runIfWaiting(a.task)) {
      bool shown = false;
      Clock::time_point nextShow = a.started + kFirstShow;
      pool.wait(a.task, kRefresh, [&] {
        const Clock::time_point now = Clock::now();
        if (ctx.meter.progress == nullptr || now < nextShow) return;
        nextShow = now + kRefresh;
        const double seconds = std::chrono::duration<double>(now - a.started).count();
        char line[160];
        std::snprintf(line, sizeof line, "velkor: %s, printing, %.1f s", parameterNames[f.row], seconds);
        ctx.meter.progress->showStatus(line, ctx.meter.progressInPlace);
        shown = ctx.meter.progressInPlace;
      });
      if (shown) ctx.meter.progress->clearStatus();
    }
    if (a.thrown) std::rethrow_exception(a.thrown);
    // Printed here, where a long printing shows on the progress line.
    a.ctx.meter.progress = ctx.meter.progress;
    a.ctx.meter.progressInPlace = ctx.meter.progressInPlace;
    a.ctx.meter.parameter = ctx.meter.parameter;
    print(a, sink, pool, ctx.splitAbove == 0 ? kTestPieceTerms : kPieceTerms);
    if (!a.text.text().empty()) sink.printedApart(a.text.text());
    reportFailure(ctx, a);
    ctx.out.flush();
    apart[head].reset();
    --held;
  }
}

}  // namespace velkor

#include "analysis/parallel_finishing.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>

#include <sys/resource.h>

#include "analysis/analysis_context.h"
#include "analysis/analysis_sequencer.h"
#include "analysis/formula_sink.h"
#include "model/parameter_table.h"
#include "support/char_source.h"

namespace velkor {

namespace {

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

// What a formula finished on another thread prints: pieces of about a
// megabyte, handed over as each fills, so that the caller's thread writes
// them out as they come once the formula's turn has come, and a formula
// waiting for its turn is kept in pieces instead of one growing string.
class RelayOutput final : public Output {
 public:
  void write(const char* data, std::size_t size) override {
    if (lost_) return;
    try {
      current_.append(data, size);
    } catch (const std::bad_alloc&) {
      lost_ = true;  // the text is incomplete from here: said once it is out
      return;
    }
    if (current_.size() >= kPieceBytes) handOver(false);
  }
  // Whether the heap refused room for some of the text.
  bool lost() const { return lost_; }
  // The writer is done: the last piece goes too.
  void close() { handOver(true); }
  // Writes every piece to `sink` as they come, until the writer is done
  // (the caller's thread).
  void relayTo(FormulaSink& sink) {
    for (;;) {
      std::deque<std::string> ready;
      bool closed = false;
      {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [this] { return !pieces_.empty() || closed_; });
        ready.swap(pieces_);
        closed = closed_;
      }
      for (const std::string& piece : ready) sink.printedApart(piece);
      if (closed) return;
    }
  }
  // Writes what was printed on the caller's thread itself.
  void writeTo(FormulaSink& sink) {
    for (const std::string& piece : pieces_)
      if (!piece.empty()) sink.printedApart(piece);
  }

 private:
  static constexpr std::size_t kPieceBytes = std::size_t{1} << 20;
  void handOver(bool last) {
    std::string piece;
    piece.swap(current_);
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (!piece.empty()) {
        try {
          pieces_.push_back(std::move(piece));
        } catch (const std::bad_alloc&) {
          lost_ = true;
        }
      }
      closed_ = closed_ || last;
    }
    changed_.notify_one();
  }

  std::string current_;  // the writer's
  bool lost_ = false;     // the writer's
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::string> pieces_;  // under the lock
  bool closed_ = false;             // under the lock
};

// One formula finished apart: a context of its own, with copies of the
// run's store and maps and of the two functions it needs.
struct ApartFormula {
  ApartFormula(AnalysisContext& run, PassFormula& f)
      : formula(f), allocator(run.alloc), ctx(noInput, text, allocator) {}
  PassFormula& formula;
  StringSource noInput{std::string()};
  RelayOutput text;
  NotingAllocator allocator;
  AnalysisContext ctx;
  std::thread thread;
  bool serial = false;  // its copies could not be made: finished the usual way
  std::exception_ptr thrown;
  int status = 0;
};

// Copies the run's state that finishing reads into `apart`, and hands it
// the two functions (the one a later formula needs as a copy). False when
// a copy could not be made (nothing is then taken from the run).
bool prepare(AnalysisContext& run, ApartFormula& apart) {
  AnalysisContext& ctx = apart.ctx;
  ctx.store = run.store;
  ctx.maps = run.maps;
  ctx.marks = run.marks;
  ctx.plainPath = run.plainPath;
  ctx.meter.interruptFlag = run.meter.interruptFlag;
  const FinishedFormula& fields = apart.formula.fields;
  const int numerator = fields.numeratorTopofun;
  const int denominator = fields.denominatorTopofun;
  const LastUse last = apart.formula.lastUse;
  CopyStatus copied = takePolyRecord(run.poly, 1, ctx.polyRecords[numerator], run.polyRecords[numerator],
                                     last.numerator && numerator != denominator);
  if (copied == CopyStatus::kDone && denominator != numerator) {
    copied = takePolyRecord(run.poly, 1, ctx.polyRecords[denominator], run.polyRecords[denominator], last.denominator);
    if (copied != CopyStatus::kDone) {
      // Given back where it came from when it was handed over.
      if (last.numerator && !run.polyRecords[numerator].live())
        std::swap(run.polyRecords[numerator], ctx.polyRecords[numerator]);
      releasePolyRecord(ctx.poly, ctx.polyRecords[numerator]);
    }
  }
  if (copied != CopyStatus::kDone) {
    run.alloc.takeBoundRefusal();
    return false;
  }
  return true;
}

// Finishes the formula on its own context into `sink`; its copies are
// taken over by the finishing.
void finish(ApartFormula& apart, FormulaSink& sink) {
  FinishedFormula formula = apart.formula.fields;
  apart.status = finishFormula(apart.ctx, formula, sink, LastUse{true, true});
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

namespace {
// Terms of a pass's functions in all up to which its formulas are finished
// one by one.
constexpr std::int64_t kApartTerms = 20000;
}  // namespace

bool finishApart(const AnalysisContext& ctx, const FormulaSink& sink, int formulas, std::int64_t terms) {
  if (ctx.jobs <= 1 || formulas < 2 || ctx.plainPath || ctx.store.traceBits != 0 ||
      ctx.meter.secondsPerFunction > 0 || !ctx.alloc.threadSafe())
    return false;
  // Small formulas are finished one by one: a thread costs more than they
  // take (the Python module's many small calls slowed threefold). With
  // every function cut (splitAbove 0, as the tests ask) they go apart too.
  if (ctx.splitAbove > 0 && terms <= kApartTerms) return false;
  // Holding formulas as text needs room to spare: under a bound on the
  // address space they are finished one by one, as one job does.
  struct rlimit space {};
  if (getrlimit(RLIMIT_AS, &space) != 0 || space.rlim_cur != RLIM_INFINITY) return false;
  StringOutput probe;
  return sink.printingInto(probe) != nullptr;
}

void deliverApart(AnalysisContext& ctx, FormulaSink& sink, std::vector<PassFormula>& formulas) {
  const std::size_t count = formulas.size();
  const std::size_t jobs = static_cast<std::size_t>(ctx.jobs);
  std::vector<std::unique_ptr<ApartFormula>> apart(count);
  std::vector<std::unique_ptr<FormulaSink>> sinks(count);
  std::size_t next = 0;  // the next formula to prepare
  bool serialWaiting = false;
  auto prepareNext = [&]() -> ApartFormula* {
    PassFormula& f = formulas[next];
    ctx.store.traceLabel = parameterTable[f.row].kind;
    apart[next].reset(new (std::nothrow) ApartFormula(ctx, f));
    ApartFormula* a = apart[next].get();
    ++next;
    if (a == nullptr || !prepare(ctx, *a)) {
      if (a == nullptr) {
        apart[next - 1].reset();
      } else {
        a->serial = true;
      }
      serialWaiting = true;
      return nullptr;
    }
    a->ctx.store.traceLabel = ctx.store.traceLabel;
    return a;
  };
  for (std::size_t head = 0; head < count; ++head) {
    if (ctx.meter.interrupted()) {
      // The formulas started are seen through; nothing more is printed.
      for (std::size_t k = head; k < next; ++k)
        if (apart[k] != nullptr && apart[k]->thread.joinable()) apart[k]->thread.join();
      break;
    }
    ApartFormula* direct = nullptr;
    bool headSerial = false;
    if (next == head) {
      direct = prepareNext();
      headSerial = direct == nullptr;
      if (headSerial) serialWaiting = false;
    } else {
      headSerial = apart[head] == nullptr || apart[head]->serial;
      if (headSerial) serialWaiting = false;
    }
    // The formulas after the head start on threads of their own, as many
    // as the jobs allow, until one must wait to be finished the usual way;
    // none while the head is finished that way, since it still needs the
    // functions that a later formula may take over.
    while (!headSerial && !serialWaiting && next < count && next - head < jobs && next != head) {
      const std::size_t k = next;
      ApartFormula* a = prepareNext();
      if (a == nullptr) break;
      sinks[k] = sink.printingInto(a->text);
      bool started = false;
      if (sinks[k] != nullptr) {
        try {
          a->thread = std::thread([a, s = sinks[k].get()] {
            // What the finishing throws (the heap's refusals in the C++
            // library) is thrown again on the caller's thread, as one job
            // would have thrown it.
            try {
              finish(*a, *s);
            } catch (...) {
              a->thrown = std::current_exception();
            }
            a->text.close();
          });
          started = true;
        } catch (const std::system_error&) {
        }
      }
      if (!started) {
        // No thread: finished here when its turn comes.
        sinks[k].reset();
        break;
      }
    }
    PassFormula& f = formulas[head];
    ctx.store.traceLabel = parameterTable[f.row].kind;
    if (f.zero) warnIndeterminate(ctx, f.row);
    if (headSerial) {
      // Its functions are still the run's: finished as one job finishes it.
      FinishedFormula formula = f.fields;
      finishFormula(ctx, formula, sink, f.lastUse);
    } else if (direct != nullptr || !apart[head]->thread.joinable()) {
      ApartFormula& a = *apart[head];
      // On the caller's thread, a long printing shows on the progress line.
      a.ctx.meter.progress = ctx.meter.progress;
      a.ctx.meter.progressInPlace = ctx.meter.progressInPlace;
      a.ctx.meter.parameter = ctx.meter.parameter;
      finish(a, sink);
      a.text.close();
      a.text.writeTo(sink);  // anything printed beside the sink
      reportFailure(ctx, a);
    } else {
      ApartFormula& a = *apart[head];
      a.text.relayTo(sink);
      a.thread.join();
      if (a.thrown) {
        for (std::size_t k = head + 1; k < next; ++k)
          if (apart[k] != nullptr && apart[k]->thread.joinable()) apart[k]->thread.join();
        std::rethrow_exception(a.thrown);
      }
      if (a.text.lost()) reportAnalysisError(ctx, "insufficient memory to complete processing\n");
      reportFailure(ctx, a);
    }
    ctx.out.flush();
    apart[head].reset();
    sinks[head].reset();
  }
}

}  // namespace velkor

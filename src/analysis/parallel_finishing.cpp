#include "analysis/parallel_finishing.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include <sys/resource.h>

#include "analysis/analysis_context.h"
#include "analysis/analysis_sequencer.h"
#include "analysis/formula_sink.h"
#include "model/parameter_table.h"
#include "support/char_source.h"
#include "support/memory_use.h"
#include "support/spool_output.h"

namespace velkor {

namespace {

using Clock = std::chrono::steady_clock;
// The progress line for a formula finished on another thread appears once
// it has taken this long (from its start) while the caller waits for it,
// and is refreshed this often.
constexpr std::chrono::milliseconds kFirstShow{500};
constexpr std::chrono::milliseconds kRefresh{250};
// A pass of more than this many formulas a job has its head formulas
// finished on threads too.
constexpr std::size_t kManyFormulasPerJob = 2;
// How often the caller, waiting for a formula's text, looks for a job come
// free.
constexpr std::chrono::milliseconds kDispatch{1};
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

// What a formula finished on another thread prints: pieces of 64 KiB
// (small enough to stay in the processor's cache), handed over as each
// fills. Until the caller's thread has come to the formula, the pieces are
// set aside in a temporary file (the system's file cache takes them far
// faster than fresh memory would, and a formula waiting for its turn costs
// no memory); from then on they are written out as they come. Each piece
// is reserved whole, and pieces handed over come back to the writer to be
// filled again.
class RelayOutput final : public Output {
 public:
  void write(const char* data, std::size_t size) override {
    if (lost_) return;
    try {
      if (current_.capacity() < kPieceBytes) startPiece();
      current_.append(data, size);
    } catch (const std::bad_alloc&) {
      lost_ = true;  // the text is incomplete from here: said once it is out
      return;
    }
    if (current_.size() >= kPieceBytes) handOver(false);
  }
  // Whether the heap refused room for some of the text.
  bool lost() const { return lost_; }
  // Whether some of the text set aside could not be read back (once the
  // text is out).
  bool setAsideLost() const { return setAsideLost_; }
  // The writer is done: the last piece goes too.
  void close() { handOver(true); }
  // Writes the text to `sink`: what was set aside, then every piece as it
  // comes, until the writer is done (the caller's thread); `tick` is called
  // after each batch of pieces and at every `every` that passes with none.
  void relayTo(FormulaSink& sink, std::chrono::milliseconds every, const std::function<void()>& tick) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      relaying_ = true;  // the writer sets nothing more aside
    }
    writeSetAside(sink);
    for (;;) {
      std::deque<std::string> ready;
      bool closed = false;
      {
        std::unique_lock<std::mutex> hold(lock_);
        while (!changed_.wait_for(hold, every, [this] { return !pieces_.empty() || closed_; })) {
          hold.unlock();
          tick();
          hold.lock();
        }
        ready.swap(pieces_);
        closed = closed_;
      }
      for (std::string& piece : ready) {
        sink.printedApart(piece);
        piece.clear();
      }
      if (closed) return;
      tick();
      std::lock_guard<std::mutex> hold(lock_);
      while (!ready.empty() && spare_.size() < kSparePieces) {
        spare_.push_back(std::move(ready.back()));
        ready.pop_back();
      }
    }
  }
  // Writes what was printed on the caller's thread itself (once closed).
  void writeTo(FormulaSink& sink) {
    writeSetAside(sink);
    for (const std::string& piece : pieces_)
      if (!piece.empty()) sink.printedApart(piece);
  }

 private:
  static constexpr std::size_t kPieceBytes = std::size_t{1} << 16;
  static constexpr std::size_t kSparePieces = 4;
  // A piece to fill: one handed over already, else a new one with its
  // pages made ready at once.
  void startPiece() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (!spare_.empty()) {
        current_.swap(spare_.back());
        spare_.pop_back();
        return;
      }
    }
    current_.reserve(kPieceBytes + kPieceBytes / 16);
    preparePagesForWriting(current_.data(), current_.capacity());
  }
  void handOver(bool last) {
    std::string piece;
    piece.swap(current_);
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (!piece.empty()) {
        try {
          if (relaying_) {
            pieces_.push_back(std::move(piece));
          } else {
            setAside_.write(piece.data(), piece.size());
            piece.clear();
            if (spare_.size() < kSparePieces) spare_.push_back(std::move(piece));
          }
        } catch (const std::bad_alloc&) {
          lost_ = true;
        }
      }
      closed_ = closed_ || last;
    }
    changed_.notify_one();
  }
  // What was set aside, to `sink` (the caller's thread, once the writer
  // sets nothing more aside). Every byte must come back.
  void writeSetAside(FormulaSink& sink) {
    if (setAside_.empty()) return;
    std::size_t bytes = 0;
    setAside_.readBackBlocks([&](std::string_view block) {
      bytes += block.size();
      sink.printedApart(block);
    });
    if (setAside_.failed() || bytes != setAside_.size()) setAsideLost_ = true;
    setAside_.clear();
  }

  std::string current_;  // the writer's
  bool lost_ = false;     // the writer's
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::string> pieces_;  // under the lock
  std::deque<std::string> spare_;   // under the lock
  bool closed_ = false;             // under the lock
  bool relaying_ = false;           // under the lock
  SpoolOutput setAside_;            // the writer's under the lock until relaying_, then the caller's
  bool setAsideLost_ = false;       // the caller's
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
  std::atomic<bool> finished{false};  // its thread is done
  Clock::time_point started;          // when its thread began
  std::vector<int> fills;             // its copies reserved but not filled yet
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

// Text set aside that did not come back whole (the temporary file's disk
// full, say) is an error of the run.
void reportSetAsideLost(AnalysisContext& run, const ApartFormula& apart) {
  if (apart.text.setAsideLost())
    reportAnalysisError(run, "the text of %s could not be read back from its temporary file: it is incomplete\n",
                        parameterNames[apart.formula.row]);
}

}  // namespace

bool finishApart(const AnalysisContext& ctx, const FormulaSink& sink, int formulas, std::int64_t terms) {
  if (ctx.jobs <= 1 || formulas < 2 || ctx.plainPath || ctx.store.traceBits != 0 ||
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
  std::vector<std::unique_ptr<FormulaSink>> sinks(count);
  // Every thread started is seen through, however this ends.
  struct JoinAll {
    std::vector<std::unique_ptr<ApartFormula>>& apart;
    ~JoinAll() {
      for (auto& a : apart)
        if (a != nullptr && a->thread.joinable()) a->thread.join();
    }
  } joinAll{apart};

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
    return a;
  };
  auto busy = [&](std::size_t head) {
    std::size_t threads = 0;
    for (std::size_t k = head; k < count; ++k)
      if (apart[k] != nullptr && apart[k]->thread.joinable() && !apart[k]->finished.load()) ++threads;
    return threads;
  };
  auto largestWaiting = [&](std::size_t head) {
    std::size_t largest = count;
    for (std::size_t k = head + 1; k < count; ++k)
      if (!taken[k] && (largest == count || terms[k] > terms[largest])) largest = k;
    return largest;
  };

  // Starts formula k on a thread of its own; false when no thread (or no
  // sink printing into its text) could be had: it is then finished on the
  // caller's thread in its turn (its copies made now, so that none stays
  // pending until then).
  auto startOnThread = [&](std::size_t k, ApartFormula* a) {
    sinks[k] = sink.printingInto(a->text);
    if (sinks[k] != nullptr) {
      try {
        a->started = Clock::now();
        a->thread = std::thread([a, s = sinks[k].get(), &ctx, &pending] {
          fillCopies(ctx, *a, pending);
          // What the finishing throws (the heap's refusals in the C++
          // library) is thrown again on the caller's thread, as one job
          // would have thrown it.
          try {
            finish(*a, *s);
          } catch (...) {
            a->thrown = std::current_exception();
          }
          a->text.close();
          a->finished.store(true);
        });
        return true;
      } catch (const std::system_error&) {
      }
    }
    fillCopies(ctx, *a, pending);
    sinks[k].reset();
    return false;
  };
  // The largest formulas after the head start on threads of their own, as
  // many as the jobs allow beside those running, until one must wait to
  // be finished the usual way. Done again while the caller waits for the
  // head's text, so that a job that is done takes the next formula at once.
  auto dispatch = [&](std::size_t head, bool headHere) {
    while (!serialWaiting && busy(head) + (headHere ? 1 : 0) < jobs) {
      const std::size_t k = largestWaiting(head);
      if (k == count) return;
      ApartFormula* a = take(k);
      if (a == nullptr || !startOnThread(k, a)) return;
    }
  };

  for (std::size_t head = 0; head < count; ++head) {
    if (ctx.meter.interrupted()) break;  // the formulas started are seen through; nothing more is printed
    bool headSerial = false;
    if (!taken[head]) {
      // Among many formulas the head too is finished on a thread: the
      // caller writes its text out as it comes and starts the next
      // formulas as jobs come free (a job done with a short formula would
      // otherwise wait for the caller's). Among few, the caller finishes
      // it straight into the output, sparing its text the way through
      // pieces.
      ApartFormula* a = take(head);
      headSerial = a == nullptr;
      if (a != nullptr && count > kManyFormulasPerJob * jobs) startOnThread(head, a);
    } else {
      headSerial = apart[head] == nullptr || apart[head]->serial;
    }
    if (headSerial) serialWaiting = false;
    // None start while the head is finished the usual way.
    const bool headHere = !headSerial && !apart[head]->thread.joinable();
    if (!headSerial) dispatch(head, headHere);
    PassFormula& f = formulas[head];
    ctx.store.traceLabel = parameterTable[f.row].kind;
    if (f.zero) warnIndeterminate(ctx, f.row);
    if (headSerial) {
      // Its functions are still the run's: finished as one job finishes it,
      // once no copy of them is being filled (it may take them over).
      const auto [numerator, denominator] = functionsOf(head);
      for (int topofun : {numerator, denominator})
        if (topofun >= 0 && topofun < kTopofunCount) pending.waitFor(topofun);
      FinishedFormula formula = f.fields;
      finishFormula(ctx, formula, sink, f.lastUse);
      countNeeds(head, -1);
    } else if (headHere) {
      ApartFormula& a = *apart[head];
      // On the caller's thread, a long printing shows on the progress line.
      a.ctx.meter.progress = ctx.meter.progress;
      a.ctx.meter.progressInPlace = ctx.meter.progressInPlace;
      a.ctx.meter.parameter = ctx.meter.parameter;
      fillCopies(ctx, a, pending);
      finish(a, sink);
      a.text.close();
      a.text.writeTo(sink);  // anything printed beside the sink
      reportSetAsideLost(ctx, a);
      reportFailure(ctx, a);
    } else {
      ApartFormula& a = *apart[head];
      // A formula still being finished shows on the progress line while
      // the caller waits for its text, as one job's printing does.
      bool shown = false;
      Clock::time_point nextShow = a.started + kFirstShow;
      // Looked at often only while formulas wait to be started.
      const auto every = largestWaiting(head) < count ? kDispatch : kRefresh;
      a.text.relayTo(sink, every, [&] {
        dispatch(head, false);
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
      a.thread.join();
      if (a.thrown) std::rethrow_exception(a.thrown);
      if (a.text.lost()) reportAnalysisError(ctx, "insufficient memory to complete processing\n");
      reportSetAsideLost(ctx, a);
      reportFailure(ctx, a);
    }
    ctx.out.flush();
    apart[head].reset();
    sinks[head].reset();
  }
}

}  // namespace velkor

// Watches the enumeration of one topological function: counts its steps
// and, every few thousand of them, looks at the interrupt flag, the time
// bound and the progress line. A step costs one decrement and one branch;
// the clock is read only at those checkpoints, and only when a time bound
// or the progress line asks for it.
//
// The long loops after an enumeration are watched the same way, each as a
// phase with a clock of its own: printing one formula (every term visited),
// approximating it, the plots and report. A phase has no step bound.
#pragma once

#include <chrono>
#include <atomic>
#include <cstdint>

#include "support/stop_flag.h"

namespace velkor {

class Diagnostics;

class WorkMeter {
 public:
  enum class Stop {
    kNone,
    kWorkLimit,    // the step bound of fuzzing: the enumeration ends early
    kTimeBound,    // the function took longer than allowed: abandoned
    kInterrupted,  // SIGINT or SIGTERM: the run ends
    kCancelled,    // a piece of a function that another job has given up
  };

  // Set once for the run.
  const StopFlag* interruptFlag = nullptr;  // nonzero once a signal came
  double secondsPerFunction = 0;  // 0: no bound
  std::uint64_t workLimit = 0;    // steps per function (0: none)
  Diagnostics* progress = nullptr;  // where the progress line goes (nullptr: none)
  bool progressInPlace = true;      // rewrite one line (a terminal) or write lines

  // The parameter whose functions are evaluated next, for the progress line.
  const char* parameter = "";

  // Starts a function; `function` names it on the progress line, `trees`
  // is the count of accepted trees it shows.
  void begin(const char* function, const int* trees);
  // Starts one piece of a function that several jobs share: its time bound
  // counts from `started`, the function's start, and it stops as soon as
  // `cancelled` is set (another piece of the function failed). Such a
  // piece shows no progress line: the run shows one for all jobs.
  void beginPiece(const char* function, std::chrono::steady_clock::time_point started,
                  const std::atomic<bool>* cancelled);
  // Starts a phase after the enumeration (`phase` names it on the
  // progress line and in messages: "printing", "approximation").
  void beginPhase(const char* phase);
  // Ends the function or phase (and clears the progress line).
  void end();
  // How many functions and phases have stopped at the time bound so far in
  // the run, and the last of them.
  int timeBoundsReached() const { return timeBoundsReached_; }
  // Counts a function that a job stopped at the time bound.
  void noteTimeBound(const char* function) {
    ++timeBoundsReached_;
    lastStopped_ = function;
  }
  const char* lastStopped() const { return lastStopped_; }

  // One step of the enumeration; false when it must stop (see stopped()).
  bool step() { return --untilCheck_ != 0 || checkpoint(); }
  // `n` steps at once (n > 0).
  bool steps(std::uint64_t n) {
    if (n < untilCheck_) {
      untilCheck_ -= n;
      return true;
    }
    untilCheck_ = 1;
    return step();
  }

  Stop stopped() const { return stop_; }
  bool interrupted() const {
    return interruptFlag != nullptr && interruptFlag->load(std::memory_order_relaxed) != 0;
  }

 private:
  using Clock = std::chrono::steady_clock;

  bool checkpoint();
  void showProgress(Clock::time_point now);

  static constexpr std::uint64_t kStepsPerCheck = 1 << 14;

  std::uint64_t untilCheck_ = kStepsPerCheck;
  std::uint64_t interval_ = kStepsPerCheck;  // steps between the last checkpoint and the next
  std::uint64_t steps_ = 0;
  Stop stop_ = Stop::kNone;
  Clock::time_point start_;
  Clock::time_point nextShow_;
  bool shown_ = false;
  const char* function_ = "";
  const int* trees_ = nullptr;
  bool phase_ = false;  // a phase: no step bound, no tree count
  const std::atomic<bool>* cancelled_ = nullptr;  // a piece's function given up by another job
  int timeBoundsReached_ = 0;
  const char* lastStopped_ = "";
};

}  // namespace velkor

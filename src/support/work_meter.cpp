#include "support/work_meter.h"

#include <cstdio>

#include "support/diagnostics.h"

namespace velkor {

namespace {

// The progress line appears once a function has taken this long, and is
// refreshed this often.
constexpr std::chrono::milliseconds kFirstShow{500};
constexpr std::chrono::milliseconds kRefresh{250};

}  // namespace

void WorkMeter::begin(const char* function, const int* trees) {
  function_ = function;
  trees_ = trees;
  phase_ = false;
  cancelled_ = nullptr;
  steps_ = 0;
  stop_ = Stop::kNone;
  interval_ = workLimit != 0 && workLimit < kStepsPerCheck ? workLimit + 1 : kStepsPerCheck;
  untilCheck_ = interval_;
  if (secondsPerFunction > 0 || progress != nullptr) {
    start_ = Clock::now();
    nextShow_ = start_ + kFirstShow;
  }
}

void WorkMeter::beginPiece(const char* function, Clock::time_point started, const std::atomic<bool>* cancelled) {
  progress = nullptr;
  begin(function, nullptr);
  start_ = started;
  cancelled_ = cancelled;
}

void WorkMeter::beginPhase(const char* phase) {
  begin(phase, nullptr);
  phase_ = true;
  interval_ = untilCheck_ = kStepsPerCheck;
  if (interrupted()) stop_ = Stop::kInterrupted;
}

void WorkMeter::end() {
  if (shown_ && progress != nullptr) progress->clearStatus();
  shown_ = false;
}

bool WorkMeter::checkpoint() {
  if (stop_ != Stop::kNone) {
    untilCheck_ = 1;
    return false;
  }
  steps_ += interval_;
  interval_ = kStepsPerCheck;
  if (workLimit != 0 && !phase_) {
    if (steps_ > workLimit) {
      stop_ = Stop::kWorkLimit;
      untilCheck_ = 1;
      return false;
    }
    if (workLimit + 1 - steps_ < interval_) interval_ = workLimit + 1 - steps_;
  }
  untilCheck_ = interval_;
  if (interrupted()) {
    stop_ = Stop::kInterrupted;
    untilCheck_ = 1;
    return false;
  }
  if (cancelled_ != nullptr && cancelled_->load(std::memory_order_relaxed)) {
    stop_ = Stop::kCancelled;
    untilCheck_ = 1;
    return false;
  }
  if (secondsPerFunction <= 0 && progress == nullptr) return true;
  const Clock::time_point now = Clock::now();
  if (secondsPerFunction > 0 && now - start_ >= std::chrono::duration<double>(secondsPerFunction)) {
    stop_ = Stop::kTimeBound;
    untilCheck_ = 1;
    ++timeBoundsReached_;
    lastStopped_ = function_;
    return false;
  }
  if (progress != nullptr && now >= nextShow_) showProgress(now);
  return true;
}

void WorkMeter::showProgress(Clock::time_point now) {
  nextShow_ = now + kRefresh;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  char line[160];
  if (phase_)
    std::snprintf(line, sizeof line, "velkor: %s, %s, %.1f s", parameter, function_, seconds);
  else
    std::snprintf(line, sizeof line, "velkor: %s, function %s: %d trees, %.1f s", parameter, function_,
                  trees_ != nullptr ? *trees_ : 0, seconds);
  progress->showStatus(line, progressInPlace);
  shown_ = progressInPlace;
}

}  // namespace velkor

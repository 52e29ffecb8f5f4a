// The scattering rows' functions evaluated by the jobs while the first
// pass's formulas are printed.
//
// The first pass's printing is done by the main thread with the jobs'
// help, but it leaves them idle at times, and two jobs that both print slow
// each other down (the printing is the memory's work more than the
// processor's). The scattering rows' functions depend only on the network
// extended by the wave-converting circuit: they are evaluated on a copy of
// the run's network, extended the same way, by jobs of their own, and the
// pass takes them where it would have evaluated them. The output is the
// same bytes: the evaluation prints nothing itself (what a function's
// evaluation reports is held with it, as for any function evaluated ahead),
// and one whose evaluation did not end normally is not handed over at all,
// so that the pass evaluates them again as it always has.
#pragma once

#include <memory>

namespace velkor {

struct AnalysisContext;

class ScatteringAhead {
 public:
  // Starts the evaluation on a thread of its own; nullptr when no
  // scattering row is asked for, the run has one job or a time bound, or
  // no thread can be had. Called only when the first pass's formulas are
  // finished side by side, which is when it pays.
  static std::unique_ptr<ScatteringAhead> start(AnalysisContext& run);
  // Waits for the evaluation if it is still running.
  ~ScatteringAhead();
  ScatteringAhead(const ScatteringAhead&) = delete;
  ScatteringAhead& operator=(const ScatteringAhead&) = delete;

  // Once the run's own network is extended: waits for the evaluation and
  // hands its functions to the run, held as the run's own evaluation ahead
  // would have held them. False, with nothing handed over, when any of
  // them did not end normally.
  bool handOver(AnalysisContext& run);

 private:
  struct State;
  explicit ScatteringAhead(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace velkor

#include "driver/plot_budget.h"

#include <limits>

#include "support/memory_use.h"

namespace velkor {

PlotBudget plotBudget(int requested, std::size_t curves, std::size_t room) {
  PlotBudget budget;
  const std::size_t perPoint = kBytesPerPoint + curves * kBytesPerPointAndCurve;
  const std::size_t fit = room / perPoint;
  if (fit >= static_cast<std::size_t>(requested)) {
    budget.points = requested;
    return budget;
  }
  if (fit < static_cast<std::size_t>(kFewestPlotPoints)) return budget;
  budget.points = static_cast<int>(fit);
  budget.warning = std::to_string(requested) + " points for " + std::to_string(curves) +
                   (curves == 1 ? " curve" : " curves") + " would pass the memory bound: the plots and report use " +
                   std::to_string(fit) + " points";
  return budget;
}

std::size_t memoryRoom(std::size_t bound) {
  if (bound == 0) return std::numeric_limits<std::size_t>::max();
  const std::size_t used = residentMemory();
  return used < bound ? bound - used : 0;
}

}  // namespace velkor

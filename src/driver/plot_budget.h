// How many frequencies the plots, their data and the report can have under
// the run's memory bound. Their numbers and text do not go through the
// allocator seam; their size is known in advance from the points and the
// curves, so the points are cut to what fits before anything is computed.
#pragma once

#include <cstddef>
#include <string>

namespace velkor {

// The bytes one frequency takes: the grid, and per curve its numbers, its
// paths in the Bode plot (twice: in the plot and in the report) and its CSV
// columns, with room for the strings' growth.
constexpr std::size_t kBytesPerPoint = 64;  // measured: about 45
constexpr std::size_t kBytesPerPointAndCurve = 200;  // measured: 135 to 175
// Fewer points than this make no plot worth drawing: the outputs are
// refused instead.
constexpr int kFewestPlotPoints = 50;

struct PlotBudget {
  int points = 0;       // the points to use; 0 when not even the fewest fit
  std::string warning;  // set when the points were cut
};

// `requested` points for `curves` curves, with `room` bytes free under the
// bound (the bound less the memory in use).
PlotBudget plotBudget(int requested, std::size_t curves, std::size_t room);

// The room left under `bound` (0: none, so unlimited) now.
std::size_t memoryRoom(std::size_t bound);

}  // namespace velkor

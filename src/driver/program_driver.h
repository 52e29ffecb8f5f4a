// The main loop: banner, read and analyse every netlist, elapsed time.
#pragma once

#include <cstdint>
#include <string>

namespace velkor {

class CharSource;
class Output;
class Allocator;
struct RunStatistics;

// Settings that the program itself never changes; tests, benchmarks and
// fuzz targets use them.
struct RunOptions {
  bool plainPath = false;       // step-by-step enumeration and accumulation
  std::uint64_t workLimit = 0;  // enumeration steps per function (0: none)
  RunStatistics* statistics = nullptr;  // receives the run's work counts
};

// Runs velkor over the whole input; returns the exit status (0, or 1 when
// the output could not be written or the run could not start).
int runProgram(CharSource& input, Output& output, Allocator& allocator, const RunOptions& options = {});

// Runs velkor in-process on a string and returns everything it printed.
std::string runOnString(const std::string& input, const RunOptions& options = {});

}  // namespace velkor

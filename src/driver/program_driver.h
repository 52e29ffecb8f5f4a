// The main loop: banner, read and analyse every netlist, elapsed time.
#pragma once

#include <string>

namespace velkor {

class CharSource;
class Output;
class Allocator;

// Runs velkor over the whole input; returns the exit status (0, or 1 when
// the output could not be written).
int runProgram(CharSource& input, Output& output, Allocator& allocator);

// Runs velkor in-process on a string and returns everything it printed.
std::string runOnString(const std::string& input);

}  // namespace velkor

// Helpers shared by the tests: running velkor in-process and comparing output.
#pragma once

#include <string>

namespace velkor::testing {

std::string readFile(const std::string& path);
// The output with the elapsed-time line and printed addresses masked.
std::string maskOutput(const std::string& text);
// Runs velkor on `input` in-process and returns the masked output.
std::string runMasked(const std::string& input);

}  // namespace velkor::testing

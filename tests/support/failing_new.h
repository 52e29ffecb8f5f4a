// The test binary's global operator new, which can be told to refuse the
// N-th request: allocation fault injection for code that allocates through
// the standard library (containers, strings, nlohmann-json) rather than
// through the allocator seam.
#pragma once

#include <cstdint>

namespace velkor::testing {

// Counts the requests made from here on and refuses the `failAt`-th (from
// 1), and with `failAfter` every one after it too, by throwing
// std::bad_alloc. 0 counts without refusing.
void armFailingNew(std::uint64_t failAt, bool failAfter);
// Stops counting and refusing; returns the requests counted since arming.
std::uint64_t disarmFailingNew();

}  // namespace velkor::testing

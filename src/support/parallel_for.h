// Independent pieces of numeric work (the exact response at many
// frequencies, say) shared among a few threads.
#pragma once

#include <cstddef>
#include <functional>

namespace velkor {

// Calls body(i) for every i in [0, count), on up to `jobs` threads, the
// caller's among them; each thread takes the next index as it is free, so
// that pieces of uneven cost still share out evenly. With one job, one
// piece, or no thread to be had, everything runs on the caller's thread.
// `body` must be safe to call from several threads at once on different
// indices. What a call throws is thrown again on the caller's thread once
// every thread is done (the first, if several threw).
void parallelFor(std::size_t count, int jobs, const std::function<void(std::size_t)>& body);

}  // namespace velkor

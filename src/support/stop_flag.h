// The flag that asks a run to stop (SIGINT, SIGTERM, or the caller of an
// in-process run). A signal handler stores to it and every job of the run
// reads it, so it is an atomic that is always lock-free: a handler may
// store to such an atomic, and threads see the store without a race.
#pragma once

#include <atomic>

namespace velkor {

using StopFlag = std::atomic<int>;
static_assert(StopFlag::is_always_lock_free, "a signal handler may store to the stop flag");

}  // namespace velkor

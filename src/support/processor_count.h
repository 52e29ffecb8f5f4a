// How many processors the process may run on.
#pragma once

namespace velkor {

// The processors in the process's affinity mask where the system tells
// it, else those online; at least 1.
int usableProcessors();

}  // namespace velkor

// The built-in manual.
#pragma once

namespace velkor {

struct ReaderContext;

void printHelp(ReaderContext& ctx);

}  // namespace velkor

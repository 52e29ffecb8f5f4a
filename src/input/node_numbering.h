// Input labels to dense internal node numbers, and generated nodes.
#pragma once

namespace velkor {

struct ReaderContext;

int lookupNode(ReaderContext& ctx, int label);
int newNode(ReaderContext& ctx);

}  // namespace velkor

// Input labels to dense internal node numbers, and generated nodes.
#pragma once

namespace velkor {

struct AnalysisContext;

int lookupNode(AnalysisContext& ctx, int label);
int newNode(AnalysisContext& ctx);

}  // namespace velkor

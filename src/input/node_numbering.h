// Input labels to dense internal node numbers, and generated nodes.
#pragma once

namespace velkor {

struct AnalysisContext;
struct SourcePosition;

// A refused label or node is reported at `at` (the label, or the entry
// that generates the node) when it is given.
int lookupNode(AnalysisContext& ctx, int label, const SourcePosition* at = nullptr);
int newNode(AnalysisContext& ctx, const SourcePosition* at = nullptr);

}  // namespace velkor

// Input labels to dense internal node numbers, and generated nodes.
#pragma once

namespace velkor {

struct ReaderContext;
struct SourcePosition;

// A refused label or node is reported at `at` (the label, or the entry
// that generates the node) when it is given.
int lookupNode(ReaderContext& ctx, int label, const SourcePosition* at = nullptr);
int newNode(ReaderContext& ctx, const SourcePosition* at = nullptr);

}  // namespace velkor

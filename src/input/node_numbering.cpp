#include "input/node_numbering.h"

#include "support/analysis_context.h"

namespace velkor {

int lookupNode(AnalysisContext&, int) { return 1; }
int newNode(AnalysisContext&) { return 1; }

}  // namespace velkor

#include "model/scattering_embedding.h"

#include "support/analysis_context.h"

namespace velkor {

void embedScatteringPorts(AnalysisContext&) {}

}  // namespace velkor

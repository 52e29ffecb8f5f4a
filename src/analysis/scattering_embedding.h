// The wave-converting circuit that turns s and F parameters into y and
// chain parameters of an extended network.
#pragma once

namespace velkor {

struct AnalysisContext;

void embedScatteringPorts(AnalysisContext& ctx);

}  // namespace velkor

// Approximations in the output: a sink that works out each finished
// formula's approximation at the element values and passes the formula on
// to the renderer it wraps, shown as that approximation (the kept terms in
// the exact formula's layout) under lines that state eps, the error, the
// band and the terms kept. Where no term can be dropped, or no
// approximation can be made, the exact formula is passed on and the lines
// say so.
#pragma once

#include <optional>

#include "analysis/approximation.h"
#include "analysis/formula_sink.h"
#include "support/output.h"

namespace velkor {

struct ApproximationRequest {
  const ElementValues* values = nullptr;
  ApproximationSettings settings;
};

class ApproximationSink final : public FormulaSink {
 public:
  enum class Caption {
    kLines,    // the introducing lines are written to `out` before the formula (text output)
    kHeading,  // they are appended to the formula's heading line (LaTeX)
  };
  ApproximationSink(FormulaSink& inner, const ApproximationRequest& request, Output& out, Caption caption)
      : inner_(inner), request_(request), out_(out), caption_(caption) {}
  void formulaStarted(const FinishedFormula& formula) override { inner_.formulaStarted(formula); }
  void formulaFinished(const FinishedFormula& formula) override;
  void message(std::string_view text) override { inner_.message(text); }
  void listing(std::string_view text) override { inner_.listing(text); }

 private:
  FormulaSink& inner_;
  const ApproximationRequest& request_;
  Output& out_;
  Caption caption_;
};

}  // namespace velkor

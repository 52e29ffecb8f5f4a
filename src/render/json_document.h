// The run as one JSON document, written as it goes: a netlist at a time,
// the terms of a polynomial one by one, so that nothing is held twice.
// The layout is described in doc/velkor-output.schema.json.
#pragma once

#include <string>
#include <vector>

#include "render/formula_document.h"
#include "support/output.h"

namespace velkor {

class JsonDocument final : public FormulaDocument {
 public:
  JsonDocument(Output& out, std::string version) : out_(out), version_(std::move(version)) {}
  void beginRun() override;
  void beginNetlist(const NetlistRecord& netlist) override;
  void endNetlist(const NetlistRecord& netlist) override;
  void endRun() override;
  void formulaStarted(const FinishedFormula& formula) override;
  void formulaFinished(const FinishedFormula& formula) override;
  void message(std::string_view text) override;
  void listing(std::string_view) override {}
  void addToParameters(ParameterExtra extra) override { extra_ = std::move(extra); }

 private:
  void writeString(std::string_view text);
  void writePolynomial(const FinishedFormula& formula, const PolynomialView& polynomial);
  void writeApproximation(const FinishedFormula& formula, const Approximation& approximation);

  Output& out_;
  std::string version_;
  int netlists_ = 0;
  int parameters_ = 0;
  // Per netlist: the messages of its analysis, the symbols its formulas
  // use (by index, with their names) and its normalization.
  std::vector<std::string> analysisMessages_;
  std::vector<std::string> symbolNames_;
  std::vector<bool> symbolUsed_;
  bool mixedUnits_ = false;
  std::string normalization_;
  std::string line_;  // the term being written
  ParameterExtra extra_;
};

}  // namespace velkor

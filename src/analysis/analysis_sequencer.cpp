// Turns the requests of one netlist into printed formulas: each needed
// topological function is evaluated once per pass and shared by every
// parameter that uses it. The immittance, hybrid and chain parameters come
// first; the scattering rows follow on the network extended by the
// wave-converting circuit.
#include "analysis/analysis_sequencer.h"

#include "analysis/analysis_context.h"
#include "analysis/formula_evaluator.h"
#include "analysis/scattering_embedding.h"
#include "model/parameter_table.h"
#include "render/text_renderer.h"

namespace velkor {

namespace {

struct PortLabels {
  int label[4];
};

// Evaluates `topofun` unless this pass already holds it. Returns the number
// of evaluations made (0 or 1).
int evaluateOnce(AnalysisContext& ctx, int topofun) {
  NetworkStore& s = ctx.store;
  if (s.topofunDone[topofun] != 0) return 0;
  s.topofunDone[topofun] = 1;
  evaluateFormula(ctx, s.analysisPassiveCount, s.activeCount, s.treeSize, topofun);
  return 1;
}

int evaluateRow(AnalysisContext& ctx, const ParameterRecord& row) {
  int count = evaluateOnce(ctx, row.numeratorTopofun);
  count += evaluateOnce(ctx, row.denominatorTopofun);
  return count;
}

bool bothEvaluated(const AnalysisContext& ctx, const ParameterRecord& row) {
  return ctx.store.topofunDone[row.numeratorTopofun] != 0 && ctx.store.topofunDone[row.denominatorTopofun] != 0;
}

void clearDone(AnalysisContext& ctx) {
  for (int& flag : ctx.store.topofunDone) flag = 0;
}

const char* normalizationWord(int normalization) {
  if (normalization == 0) return "Y0";
  if (normalization == 1) return "Z0";
  return "unity";
}

void printHeading(AnalysisContext& ctx, const ParameterRecord& row, const PortLabels& ports) {
  const int* l = ports.label;
  ctx.out.print(" Function:\n %s( %d, %d; %d, %d) = %s( %d, %d)/%s( %d, %d) for %s( %d, %d)=0\n", row.letter,
                l[row.terminals[0]], l[row.terminals[1]], l[row.terminals[2]], l[row.terminals[3]],
                row.numeratorQuantity, l[row.numeratorTerminals[0]], l[row.numeratorTerminals[1]],
                row.denominatorQuantity, l[row.denominatorTerminals[0]], l[row.denominatorTerminals[1]],
                row.constraintQuantity, l[row.constraintTerminals[0]], l[row.constraintTerminals[1]]);
}

void printScatteringHeading(AnalysisContext& ctx, const ParameterRecord& row, const PortLabels& ports) {
  const int* l = ports.label;
  ctx.out.print(" Function:\n %s( %d, %d; %d, %d) for %s normalization\n", row.letter, l[row.terminals[0]],
                l[row.terminals[1]], l[row.terminals[2]], l[row.terminals[3]],
                normalizationWord(ctx.store.normalization));
}

// Whether a formula printed after row `r` in the same pass uses `topofun`.
bool neededLater(const AnalysisContext& ctx, int r, int topofun, bool scattering) {
  for (int later = r + 1; later < kParameterCount; ++later) {
    const ParameterRecord& row = parameterTable[later];
    if (ctx.store.requestFlags[later] == 0 || isScatteringKind(row.kind) != scattering || !bothEvaluated(ctx, row))
      continue;
    if (row.numeratorTopofun == topofun || row.denominatorTopofun == topofun) return true;
  }
  return false;
}

LastUse lastUseOf(const AnalysisContext& ctx, int r, bool scattering) {
  const ParameterRecord& row = parameterTable[r];
  return LastUse{!neededLater(ctx, r, row.numeratorTopofun, scattering),
                 !neededLater(ctx, r, row.denominatorTopofun, scattering)};
}

}  // namespace

void analyseNetlist(AnalysisContext& ctx) {
  NetworkStore& s = ctx.store;
  PortLabels ports{};
  for (int p = 0; p < 4; ++p) ports.label[p] = s.portLabels[p];

  // First pass: immittance, hybrid and chain parameters.
  clearDone(ctx);
  int evaluations = 0;
  for (int r = 0; r < kParameterCount; ++r) {
    const ParameterRecord& row = parameterTable[r];
    s.traceLabel = row.kind;
    if (s.requestFlags[r] != 0 && !isScatteringKind(row.kind)) evaluations += evaluateRow(ctx, row);
  }
  if (evaluations > 0) {
    for (int r = 0; r < kParameterCount; ++r) {
      const ParameterRecord& row = parameterTable[r];
      s.traceLabel = row.kind;
      if (s.requestFlags[r] == 0 || isScatteringKind(row.kind) || !bothEvaluated(ctx, row)) continue;
      printHeading(ctx, row, ports);
      printFormula(ctx, row.sign, row.numeratorTopofun, row.denominatorTopofun, lastUseOf(ctx, r, false));
    }
    releaseFormulaResults(ctx);
  }

  // Second pass: scattering rows, on the network extended by the
  // wave-converting circuit (added once, before the first evaluation).
  clearDone(ctx);
  evaluations = 0;
  for (int r = 0; r < kParameterCount; ++r) {
    if (s.requestFlags[r] == 0) continue;
    const ParameterRecord& row = parameterTable[r];
    s.traceLabel = row.kind;
    if (!isScatteringKind(row.kind)) continue;
    if (evaluations == 0) embedScatteringPorts(ctx);
    evaluations += evaluateRow(ctx, row);
  }
  if (evaluations > 0) {
    for (int r = 0; r < kParameterCount; ++r) {
      const ParameterRecord& row = parameterTable[r];
      s.traceLabel = row.kind;
      if (s.requestFlags[r] == 0 || !isScatteringKind(row.kind) || !bothEvaluated(ctx, row)) continue;
      printScatteringHeading(ctx, row, ports);
      printFormula(ctx, row.sign, row.numeratorTopofun, row.denominatorTopofun, lastUseOf(ctx, r, true));
    }
    releaseFormulaResults(ctx);
  }
}

void releaseFormulaResults(AnalysisContext& ctx) {
  for (int id = 0; id < kTopofunCount; ++id)
    if (ctx.store.topofunDone[id] != 0) releasePolyRecord(ctx, ctx.polyRecords[id]);
}

}  // namespace velkor

// Turns the requests of one netlist into finished formulas: each needed
// topological function is evaluated once per pass and shared by every
// parameter that uses it. The immittance, hybrid and chain parameters come
// first; the scattering rows follow on the network extended by the
// wave-converting circuit.
#include "analysis/analysis_sequencer.h"

#include <cstdarg>
#include <string>

#include "analysis/analysis_context.h"
#include "analysis/formula_evaluator.h"
#include "analysis/formula_finishing.h"
#include "analysis/scattering_embedding.h"
#include "model/parameter_table.h"

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

std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatted(const char* format, ...) {
  StringOutput text;
  va_list args;
  va_start(args, format);
  text.printList(format, args);
  va_end(args);
  return text.text();
}

// The parameter fields of row `r`'s formula, with the heading line that
// names it by the typed port labels.
FinishedFormula parameterOf(const AnalysisContext& ctx, int r, const PortLabels& ports) {
  const ParameterRecord& row = parameterTable[r];
  const int* l = ports.label;
  FinishedFormula formula;
  formula.name = parameterNames[r];
  formula.row = r;
  formula.scattering = isScatteringKind(row.kind);
  if (formula.scattering) {
    formula.normalization = normalizationWord(ctx.store.normalization);
    formula.heading = formatted("%s( %d, %d; %d, %d) for %s normalization", row.letter, l[row.terminals[0]],
                                l[row.terminals[1]], l[row.terminals[2]], l[row.terminals[3]],
                                formula.normalization.c_str());
  } else {
    formula.heading =
        formatted("%s( %d, %d; %d, %d) = %s( %d, %d)/%s( %d, %d) for %s( %d, %d)=0", row.letter,
                  l[row.terminals[0]], l[row.terminals[1]], l[row.terminals[2]], l[row.terminals[3]],
                  row.numeratorQuantity, l[row.numeratorTerminals[0]], l[row.numeratorTerminals[1]],
                  row.denominatorQuantity, l[row.denominatorTerminals[0]], l[row.denominatorTerminals[1]],
                  row.constraintQuantity, l[row.constraintTerminals[0]], l[row.constraintTerminals[1]]);
  }
  formula.sign = row.sign;
  formula.numeratorTopofun = row.numeratorTopofun;
  formula.denominatorTopofun = row.denominatorTopofun;
  return formula;
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

void analyseNetlist(AnalysisContext& ctx, FormulaSink& sink) {
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
      FinishedFormula formula = parameterOf(ctx, r, ports);
      finishFormula(ctx, formula, sink, lastUseOf(ctx, r, false));
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
    if (evaluations == 0) {
      sink.listing("entered s-param\n");
      embedScatteringPorts(ctx);
    }
    evaluations += evaluateRow(ctx, row);
  }
  if (evaluations > 0) {
    for (int r = 0; r < kParameterCount; ++r) {
      const ParameterRecord& row = parameterTable[r];
      s.traceLabel = row.kind;
      if (s.requestFlags[r] == 0 || !isScatteringKind(row.kind) || !bothEvaluated(ctx, row)) continue;
      FinishedFormula formula = parameterOf(ctx, r, ports);
      finishFormula(ctx, formula, sink, lastUseOf(ctx, r, true));
    }
    releaseFormulaResults(ctx);
  }
}

void releaseFormulaResults(AnalysisContext& ctx) {
  for (int id = 0; id < kTopofunCount; ++id)
    if (ctx.store.topofunDone[id] != 0) releasePolyRecord(ctx, ctx.polyRecords[id]);
}

}  // namespace velkor

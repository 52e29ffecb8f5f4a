// Turns the requests of one netlist into printed formulas: each needed
// topological function is evaluated once per pass and shared by every
// parameter that uses it. The immittance, hybrid and chain parameters come
// first; the scattering rows follow on the network extended by the
// wave-converting circuit.
#include "analysis/analysis_sequencer.h"

#include <cstring>

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

bool isZero(const PolyRecord& record) {
  if (!record.live()) return false;
  for (std::int32_t t = 0; t < record.termCount; ++t)
    if (record.term(t).coefficient != 0) return false;
  return true;
}

// The ideal op-amp (an o entry) whose output lies across the port that
// `row` shorts, or nullptr: its output current is then undetermined.
const char* opampAcrossShortedPort(const AnalysisContext& ctx, const ParameterRecord& row) {
  const NetworkStore& s = ctx.store;
  if (std::strcmp(row.constraintQuantity, "v") != 0) return nullptr;
  const int a = s.portNodes[row.constraintTerminals[0]];
  const int b = s.portNodes[row.constraintTerminals[1]];
  for (int e = 1; e <= s.activeCount && e < kActiveEdgeSlots; ++e) {
    const ActiveEdge& edge = s.activeEdges[e];
    const char* full = edge.name >= 0 && edge.name < kNameSlots ? ctx.marks.fullName[edge.name] : "";
    if (full[0] != 'o' && full[0] != 'O') continue;
    if ((edge.outPlus == a && edge.outMinus == b) || (edge.outPlus == b && edge.outMinus == a))
      return s.branchNames[edge.name];
  }
  return nullptr;
}

// A parameter whose numerator and denominator are both 0 is reported, with
// the reason when it is known.
void checkIndeterminate(AnalysisContext& ctx, int r) {
  const ParameterRecord& row = parameterTable[r];
  if (!isZero(ctx.polyRecords[row.numeratorTopofun]) || !isZero(ctx.polyRecords[row.denominatorTopofun])) return;
  const char* name = parameterNames[r];
  const char* opamp = opampAcrossShortedPort(ctx, row);
  if (opamp != nullptr)
    ctx.diag.warning(ctx.marks.endAt, "%s is 0/0: the output of the ideal op-amp '%s' lies across the port that %s "
                     "shorts, so the op-amp's output current is undetermined", name, opamp, name);
  else if (ctx.marks.disconnection[0] != 0)
    ctx.diag.warning(ctx.marks.endAt, "%s is 0/0: %s", name, ctx.marks.disconnection);
  else if (ctx.store.opampcnt > 0)
    ctx.diag.warning(ctx.marks.endAt, "%s is 0/0: the network's ideal op-amps (nullors, also inside u, b, rm and m) "
                     "leave it without a unique solution under this parameter's port conditions", name);
  else
    ctx.diag.warning(ctx.marks.endAt, "%s is 0/0: its numerator and denominator are both 0, so it is "
                     "indeterminate for this network", name);
}

// Each formula leaves the program as soon as it is printed, so that a run
// stopped later keeps it.
void finishFormula(AnalysisContext& ctx) { ctx.out.flush(); }

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
    if (s.requestFlags[r] == 0 || isScatteringKind(row.kind) || ctx.meter.interrupted()) continue;
    ctx.meter.parameter = parameterNames[r];
    evaluations += evaluateRow(ctx, row);
  }
  if (evaluations > 0) {
    for (int r = 0; r < kParameterCount; ++r) {
      const ParameterRecord& row = parameterTable[r];
      s.traceLabel = row.kind;
      if (s.requestFlags[r] == 0 || isScatteringKind(row.kind) || !bothEvaluated(ctx, row)) continue;
      if (ctx.meter.interrupted()) break;
      checkIndeterminate(ctx, r);
      printHeading(ctx, row, ports);
      printFormula(ctx, row.sign, row.numeratorTopofun, row.denominatorTopofun, lastUseOf(ctx, r, false));
      finishFormula(ctx);
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
    if (!isScatteringKind(row.kind) || ctx.meter.interrupted()) continue;
    if (evaluations == 0) embedScatteringPorts(ctx);
    ctx.meter.parameter = parameterNames[r];
    evaluations += evaluateRow(ctx, row);
  }
  if (evaluations > 0) {
    for (int r = 0; r < kParameterCount; ++r) {
      const ParameterRecord& row = parameterTable[r];
      s.traceLabel = row.kind;
      if (s.requestFlags[r] == 0 || !isScatteringKind(row.kind) || !bothEvaluated(ctx, row)) continue;
      if (ctx.meter.interrupted()) break;
      checkIndeterminate(ctx, r);
      printScatteringHeading(ctx, row, ports);
      printFormula(ctx, row.sign, row.numeratorTopofun, row.denominatorTopofun, lastUseOf(ctx, r, true));
      finishFormula(ctx);
    }
    releaseFormulaResults(ctx);
  }
}

void releaseFormulaResults(AnalysisContext& ctx) {
  for (int id = 0; id < kTopofunCount; ++id)
    if (ctx.store.topofunDone[id] != 0) releasePolyRecord(ctx, ctx.polyRecords[id]);
}

}  // namespace velkor

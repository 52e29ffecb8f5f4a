// Turns the requests of one netlist into finished formulas: each needed
// topological function is evaluated once per pass and shared by every
// parameter that uses it. The immittance, hybrid and chain parameters come
// first; the scattering rows follow on the network extended by the
// wave-converting circuit.
#include "analysis/analysis_sequencer.h"

#include <cmath>
#include <complex>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis_context.h"
#include "analysis/approximation_generation.h"
#include "analysis/formula_evaluator.h"
#include "analysis/formula_finishing.h"
#include "analysis/nodal_parameters.h"
#include "analysis/numeric_summary.h"
#include "analysis/parallel_evaluation.h"
#include "analysis/parallel_finishing.h"
#include "analysis/scattering_ahead.h"
#include "analysis/scattering_embedding.h"
#include "model/parameter_table.h"
#include "numeric/nodal_circuit.h"
#include "support/parallel_for.h"

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
  if (takeHeldFunction(ctx, topofun)) return 1;
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

}  // namespace

void warnIndeterminate(AnalysisContext& ctx, int r) {
  const ParameterRecord& row = parameterTable[r];
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

FinishedFormula parameterFields(const AnalysisContext& ctx, int row) {
  PortLabels ports{};
  for (int p = 0; p < 4; ++p) ports.label[p] = ctx.store.portLabels[p];
  return parameterOf(ctx, row, ports);
}

namespace {

// A parameter whose numerator and denominator are both 0 is reported, with
// the reason when it is known.
void checkIndeterminate(AnalysisContext& ctx, int r) {
  const ParameterRecord& row = parameterTable[r];
  if (isZero(ctx.polyRecords[row.numeratorTopofun]) && isZero(ctx.polyRecords[row.denominatorTopofun]))
    warnIndeterminate(ctx, r);
}

// One requested parameter: its 0/0 warning, its formula, and the formula's
// bytes out of the program at once, so that a run stopped later keeps it.
void deliverFormula(AnalysisContext& ctx, FormulaSink& sink, int r, const PortLabels& ports, bool scattering) {
  checkIndeterminate(ctx, r);
  FinishedFormula formula = parameterOf(ctx, r, ports);
  finishFormula(ctx, formula, sink, lastUseOf(ctx, r, scattering));
  ctx.out.flush();
}

// Hands every requested formula of one pass (scattering rows or the
// others) whose functions were evaluated to the sink, in table order, then
// releases the pass's functions. When `ahead` is given and the formulas are
// finished side by side, the scattering rows' functions are evaluated
// meanwhile.
void deliverPass(AnalysisContext& ctx, FormulaSink& sink, const PortLabels& ports, bool scattering,
                 std::unique_ptr<ScatteringAhead>* ahead) {
  NetworkStore& s = ctx.store;
  // With several jobs the formulas are finished side by side (the same
  // bytes, in the same order).
  std::vector<PassFormula> formulas;
  for (int r = 0; r < kParameterCount; ++r) {
    const ParameterRecord& row = parameterTable[r];
    if (s.requestFlags[r] == 0 || isScatteringKind(row.kind) != scattering || !bothEvaluated(ctx, row)) continue;
    formulas.push_back(PassFormula{r, FinishedFormula{}, lastUseOf(ctx, r, scattering),
                                   isZero(ctx.polyRecords[row.numeratorTopofun]) &&
                                       isZero(ctx.polyRecords[row.denominatorTopofun])});
  }
  std::int64_t terms = 0;
  for (const PassFormula& f : formulas)
    for (int topofun : {parameterTable[f.row].numeratorTopofun, parameterTable[f.row].denominatorTopofun})
      if (topofun >= 0 && topofun < kTopofunCount) terms += ctx.polyRecords[topofun].termCount;
  if (finishApart(ctx, sink, static_cast<int>(formulas.size()), terms)) {
    if (ahead != nullptr) *ahead = ScatteringAhead::start(ctx);
    for (PassFormula& f : formulas) {
      s.traceLabel = parameterTable[f.row].kind;
      f.fields = parameterOf(ctx, f.row, ports);
    }
    deliverApart(ctx, sink, formulas);
    s.traceLabel = parameterTable[kParameterCount - 1].kind;
    releaseFormulaResults(ctx);
    return;
  }
  for (int r = 0; r < kParameterCount; ++r) {
    const ParameterRecord& row = parameterTable[r];
    s.traceLabel = row.kind;
    if (s.requestFlags[r] == 0 || isScatteringKind(row.kind) != scattering || !bothEvaluated(ctx, row)) continue;
    if (ctx.meter.interrupted()) break;
    deliverFormula(ctx, sink, r, ports, scattering);
  }
  releaseFormulaResults(ctx);
}

// One requested parameter approximated during generation, against the
// numeric engine's exact response, and handed to the sink in the place of
// its formula. A bound that stopped the search before eps was met is an
// error of the run.
void approximateParameter(AnalysisContext& ctx, FormulaSink& sink, int r, const PortLabels& ports,
                          std::shared_ptr<const NumericCircuit> circuit) {
  const GenerationPlan& plan = *ctx.generation;
  FinishedFormula formula = parameterOf(ctx, r, ports);
  formula.trace.traceBits = ctx.store.traceBits;
  formula.trace.netlistNumber = ctx.store.netlistNumber;
  formula.trace.traceLabel = ctx.store.traceLabel;
  formula.units = ctx.traced(kTraceMixedUnits) ? OhmUnits::kMixed : OhmUnits::kConvert;
  formula.symbols = symbolNames(ctx);
  sink.formulaStarted(formula);
  Approximation approximation;
  if (formula.units == OhmUnits::kMixed) {
    approximation.outcome = Approximation::Outcome::MixedUnits;
  } else if (circuit == nullptr || circuit->status() == NumericCircuit::Status::Indeterminate) {
    approximation.outcome = Approximation::Outcome::Undefined;
  } else if (circuit->status() == NumericCircuit::Status::MissingValues) {
    approximation.outcome = Approximation::Outcome::MissingValues;
    approximation.missing = circuit->missing();
  } else {
    ExactNumbers exact;
    exact.response = [&circuit](long double omega) {
      std::optional<std::complex<long double>> h = circuit->value({0.0L, omega});
      return h ? *h : std::complex<long double>(NAN, NAN);
    };
    exact.poles = nodalRoots(circuit->poleClusters());
    exact.zeros = nodalRoots(circuit->zeroClusters());
    GenerationRequest request;
    request.sign = formula.sign;
    request.numeratorTopofun = formula.numeratorTopofun;
    request.denominatorTopofun = formula.denominatorTopofun;
    request.values = plan.values;
    request.exact = &exact;
    request.settings = plan.settings;
    request.memoryBound = plan.memoryBound;
    request.name = parameterNames[r];
    request.jobs = ctx.jobs;
    request.sharedSearchNodes = plan.sharedSearchNodes;
    approximation = generateApproximation(ctx, request);
  }
  approximation.eps = plan.settings.eps;
  formula.outcome = FormulaOutcome::kApproximated;
  formula.approximation = &approximation;
  formula.nodal = std::move(circuit);
  sink.formulaFinished(formula);
  if (approximation.simplified() && !approximation.met)
    ctx.diag.error(ctx.marks.endAt, "%s: eps %g not met: %s stopped the search at error %.4g", parameterNames[r],
                   static_cast<double>(approximation.eps), approximation.stoppedBy.c_str(),
                   static_cast<double>(approximation.error));
  ctx.out.flush();
}

// Every requested parameter approximated during generation, in the order
// and the passes of the exact analysis. The numeric engine sees the network
// before the scattering embedding.
void approximateNetlist(AnalysisContext& ctx, FormulaSink& sink, const PortLabels& ports) {
  NetworkStore& s = ctx.store;
  const GenerationPlan& plan = *ctx.generation;
  const ValueLookup lookup = valueLookup(*plan.values);
  std::vector<std::shared_ptr<const NumericCircuit>> circuits(kParameterCount);
  for (int r = 0; r < kParameterCount; ++r) {
    if (s.requestFlags[r] == 0) continue;
    circuits[static_cast<std::size_t>(r)] = std::make_shared<const NumericCircuit>(s, r, lookup);
    if (circuits[static_cast<std::size_t>(r)]->status() == NumericCircuit::Status::Indeterminate)
      warnIndeterminate(ctx, r);
  }
  // The poles and zeros of every requested parameter, found by the jobs
  // side by side (each circuit keeps its own).
  std::vector<const NumericCircuit*> solvable;
  for (const auto& circuit : circuits)
    if (circuit != nullptr && circuit->status() == NumericCircuit::Status::Regular) solvable.push_back(circuit.get());
  parallelFor(solvable.size(), ctx.jobs, [&](std::size_t k) {
    solvable[k]->poleClusters();
    solvable[k]->zeroClusters();
  });
  for (int pass = 0; pass < 2; ++pass) {
    const bool scattering = pass == 1;
    bool embedded = false;
    for (int r = 0; r < kParameterCount; ++r) {
      const ParameterRecord& row = parameterTable[r];
      s.traceLabel = row.kind;
      if (s.requestFlags[r] == 0 || isScatteringKind(row.kind) != scattering || ctx.meter.interrupted()) continue;
      if (scattering && !embedded) {
        sink.listing("entered s-param\n");
        embedScatteringPorts(ctx);
        embedded = true;
      }
      ctx.meter.parameter = parameterNames[r];
      approximateParameter(ctx, sink, r, ports, circuits[static_cast<std::size_t>(r)]);
    }
  }
}

}  // namespace

void analyseNetlist(AnalysisContext& ctx, FormulaSink& sink) {
  NetworkStore& s = ctx.store;
  PortLabels ports{};
  for (int p = 0; p < 4; ++p) ports.label[p] = s.portLabels[p];
  if (ctx.generation != nullptr) {
    approximateNetlist(ctx, sink, ports);
    return;
  }

  // First pass: immittance, hybrid and chain parameters.
  clearDone(ctx);
  evaluatePassAhead(ctx, false);
  int evaluations = 0;
  for (int r = 0; r < kParameterCount; ++r) {
    const ParameterRecord& row = parameterTable[r];
    s.traceLabel = row.kind;
    if (s.requestFlags[r] == 0 || isScatteringKind(row.kind) || ctx.meter.interrupted()) continue;
    ctx.meter.parameter = parameterNames[r];
    evaluations += evaluateRow(ctx, row);
  }
  std::unique_ptr<ScatteringAhead> ahead;
  if (evaluations > 0) deliverPass(ctx, sink, ports, false, &ahead);

  // Second pass: scattering rows, on the network extended by the
  // wave-converting circuit (added once, before the first evaluation).
  clearDone(ctx);
  evaluations = 0;
  for (int r = 0; r < kParameterCount; ++r) {
    if (s.requestFlags[r] == 0) continue;
    const ParameterRecord& row = parameterTable[r];
    s.traceLabel = row.kind;
    if (!isScatteringKind(row.kind) || ctx.meter.interrupted()) continue;
    if (evaluations == 0) {
      sink.listing("entered s-param\n");
      embedScatteringPorts(ctx);
      if (ahead == nullptr || !ahead->handOver(ctx)) evaluatePassAhead(ctx, true);
    }
    ctx.meter.parameter = parameterNames[r];
    evaluations += evaluateRow(ctx, row);
  }
  if (evaluations > 0) deliverPass(ctx, sink, ports, true, nullptr);
  dropHeldFunctions(ctx);
}

void releaseFormulaResults(AnalysisContext& ctx) {
  for (int id = 0; id < kTopofunCount; ++id)
    if (ctx.store.topofunDone[id] != 0) releasePolyRecord(ctx, ctx.polyRecords[id]);
}

}  // namespace velkor

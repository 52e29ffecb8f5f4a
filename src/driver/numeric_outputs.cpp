#include "driver/numeric_outputs.h"

#include <algorithm>
#include <complex>
#include <map>

#include "analysis/frequency_response.h"
#include "driver/plot_budget.h"
#include "input/netlist_titles.h"
#include "render/bode_csv.h"
#include "render/html_report.h"
#include "render/svg_plots.h"
#include "support/memory_use.h"
#include "support/shown_text.h"
#include "support/work_meter.h"

namespace velkor {

namespace {

constexpr int kDefaultPoints = 400;

bool openFile(OutputFile& file, const std::string& path, std::string& error) {
  return path.empty() || file.open(path, error);
}

bool writeFile(OutputFile& file, const std::string& path, const std::string& content, std::string& error) {
  return path.empty() || file.write(content, error);
}

std::string formatSeconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", seconds);
  return text;
}

// The label of a formula in legends: its name, with the netlist's number
// when the run has several.
std::string label(const NumericResults::Entry& entry, bool severalNetlists) {
  return severalNetlists ? std::to_string(entry.netlist) + ":" + entry.summary.name : entry.summary.name;
}

}  // namespace

// Formulas without the values of all their symbols are left out of the
// plots and the report's numbers: one warning each, naming the symbols.
std::size_t NumericOutputs::warnMissingValues(std::FILE* warnings) const {
  std::string outputs;
  auto add = [&](bool asked, const char* what) {
    if (asked) outputs += (outputs.empty() ? "" : ", ") + std::string(what);
  };
  add(!options_->bodePath.empty(), "the Bode plot");
  add(!options_->poleZeroPath.empty(), "the pole-zero map");
  add(!options_->reportPath.empty(), "the report's numbers");
  bool several = false;
  for (const NumericResults::Entry& entry : results_.formulas) several = several || entry.netlist != 1;
  std::size_t count = 0;
  for (const NumericResults::Entry& entry : results_.formulas) {
    if (entry.summary.complete()) continue;
    ++count;
    if (warnings == nullptr) continue;
    std::string names;
    for (const std::string& name : entry.summary.missing) names += (names.empty() ? "" : " ") + shownText(name);
    std::fprintf(warnings, "velkor: warning: %s has no value for %s: it is left out of %s\n",
                 shownText(label(entry, several)).c_str(), names.c_str(), outputs.c_str());
  }
  return count;
}

std::string bodePathWith(const std::string& path, const char* extension) {
  std::string base = path;
  for (const char* known : {".svg", ".csv"}) {
    std::size_t n = std::char_traits<char>::length(known);
    if (base.size() > n && base.compare(base.size() - n, n, known) == 0) base.resize(base.size() - n);
  }
  return base + extension;
}

bool NumericOutputs::prepare(const CommandLine& options, std::string& error, const ElementValues* preset) {
  options_ = &options;
  preset_ = preset;
  if (preset != nullptr)
    for (const auto& [name, value] : preset->all()) values_.set(name, value.value, value.origin);
  try {
    for (const CommandLine::ValueSource& source : options.valueSources) {
      if (source.file)
        values_.readFile(source.text);
      else
        values_.set(std::string_view(source.text));
    }
  } catch (const ValuesError& e) {
    error = e.what();
    return false;
  }
  // Values read, but likely not as meant: warnings, or under --strict errors
  // that stop the run before anything is written.
  std::vector<std::string> doubtful = options.warnings;
  doubtful.insert(doubtful.end(), values_.warnings().begin(), values_.warnings().end());
  if (options.strict && !doubtful.empty()) {
    error = doubtful.front();
    return false;
  }
  if (!options.quiet)
    for (const std::string& warning : doubtful) std::fprintf(stderr, "velkor: warning: %s\n", warning.c_str());
  settings_.values = &values_;
  settings_.evaluate = options.evaluate;
  settings_.keep = !options.bodePath.empty() || !options.poleZeroPath.empty() || !options.reportPath.empty();
  settings_.typeset = !options.reportPath.empty();
  memoryBound_ = options.maxMemoryGiven ? options.maxMemory : defaultMemoryBound();
  if (options.approximationEps > 0) {
    approximation_ = ApproximationSettings{options.approximationEps, options.fromHz, options.toHz, memoryBound_};
    if (options.exactFormulas) {
      settings_.approximation = &approximation_;
    } else {
      generation_.values = &values_;
      generation_.settings = approximation_;
      // The generated terms may take most of the memory the run may use.
      generation_.memoryBound = memoryBound_;
      generating_ = true;
    }
  }
  std::string bode = options.bodePath.empty() ? "" : bodePathWith(options.bodePath, ".svg");
  std::string csv = options.bodePath.empty() ? "" : bodePathWith(options.bodePath, ".csv");
  if (openFile(bodeSvg_, bode, error) && openFile(bodeCsv_, csv, error) &&
      openFile(poleZero_, options.poleZeroPath, error) && openFile(report_, options.reportPath, error))
    return true;
  discard();
  return false;
}

bool NumericOutputs::finish(const std::string& inputText, std::FILE* warnings, std::string& error) {
  std::vector<std::string> unused;
  for (const auto& [name, value] : values_.all())
    if (results_.symbols.count(name) == 0 && (preset_ == nullptr || preset_->find(name) == nullptr)) {
      unused.push_back(name);
      if (warnings != nullptr)
        std::fprintf(warnings, "velkor: warning: %s: '%s' is no element of any netlist analysed\n",
                     value.origin.c_str(), shownText(name).c_str());
    }
  warnings_ = unused.size();
  if (!settings_.keep) return true;
  warnings_ += warnMissingValues(warnings);

  bool several = false;
  for (const NumericResults::Entry& entry : results_.formulas) several = several || entry.netlist != 1;
  std::vector<const NumericResults::Entry*> complete;
  std::vector<std::vector<PolynomialRoot>> roots;
  std::vector<PoleZeroSet> poleZeroSets;
  for (const NumericResults::Entry& entry : results_.formulas) {
    if (!entry.summary.hasNumbers()) continue;
    complete.push_back(&entry);
    roots.push_back(entry.summary.zeros);
    roots.push_back(entry.summary.poles);
    poleZeroSets.push_back({label(entry, several), entry.summary.zeros, entry.summary.poles});
  }

  // The frequency response is drawn only in the Bode plot and the report:
  // the pole-zero map alone needs the roots and nothing more.
  const bool responsesWanted = !options_->bodePath.empty() || !options_->reportPath.empty();
  // The points, cut to what fits under the memory bound.
  std::size_t curves = 0;
  for (const NumericResults::Entry* entry : complete)
    curves += entry->approximation && entry->approximation->simplified ? 2 : 1;
  const PlotBudget budget =
      responsesWanted ? plotBudget(options_->points > 0 ? options_->points : kDefaultPoints,
                                   std::max<std::size_t>(curves, 1), memoryRoom(memoryBound_))
                      : PlotBudget{1, {}};
  if (budget.points == 0) {
    error = "the plots and report would pass the memory bound: not written";
    discard();
    return false;
  }
  if (!budget.warning.empty()) {
    ++warnings_;
    if (warnings != nullptr) std::fprintf(warnings, "velkor: warning: %s\n", budget.warning.c_str());
  }
  // The plots are a phase of their own: a signal or the time bound stops
  // them, and nothing is written.
  WorkMeter meter;
  meter.interruptFlag = interruptFlag_;
  meter.secondsPerFunction = options_->maxSeconds;
  meter.beginPhase("plots");
  auto stopped = [&] {
    if (meter.stopped() == WorkMeter::Stop::kNone && !meter.interrupted()) return false;
    if (meter.stopped() == WorkMeter::Stop::kTimeBound)
      error = "time bound of " + formatSeconds(options_->maxSeconds) + " seconds reached: plots and report abandoned";
    discard();
    return true;
  };

  // The range: as asked, or two decades beyond the outermost pole or zero.
  FrequencyRange range = frequencyBand(roots, budget.points, options_->fromHz, options_->toHz);
  // Each response once per frequency: without a formula every value is a
  // solution of the nodal equations, and the grid's search asks for the
  // same frequencies again and again (magnitude and phase, pass by pass).
  std::vector<std::map<long double, std::complex<long double>>> solved(complete.size());
  auto responseOf = [&solved](const NumericSummary& summary, std::size_t k) -> ResponseAt {
    if (!summary.circuit) return [&summary](long double omega) { return summary.atFrequency(omega); };
    return [&summary, &known = solved[k]](long double omega) {
      auto [at, fresh] = known.try_emplace(omega);
      if (fresh) at->second = summary.atFrequency(omega);
      return at->second;
    };
  };
  std::vector<ResponseAt> drawn;
  for (std::size_t k = 0; k < complete.size(); ++k) {
    const NumericResults::Entry* entry = complete[k];
    const NumericSummary& summary = entry->summary;
    drawn.push_back(responseOf(summary, k));
    if (entry->approximation && entry->approximation->simplified) {
      const NumericFormula& approximated = entry->approximation->formula;
      drawn.push_back([&approximated](long double omega) { return approximated.atFrequency(omega); });
    }
  }
  std::vector<long double> grid;
  if (responsesWanted) grid = bodeFrequencyGrid(range, roots, drawn, &meter);
  if (stopped()) return false;
  std::vector<FrequencyResponse> responses;
  for (std::size_t k = 0; k < complete.size() && responsesWanted; ++k) {
    const NumericResults::Entry* entry = complete[k];
    const NumericSummary& summary = entry->summary;
    responses.push_back(frequencyResponse(responseOf(summary, k), grid,
                                          label(*entry, several), startPhaseDeg(summary.lowFrequency), &meter));
    responses.back().unit = responseUnitOf(entry->summary.name);
    // An approximation is drawn beside its exact formula.
    if (entry->approximation && entry->approximation->simplified) {
      responses.push_back(
          frequencyResponse(entry->approximation->formula, grid, label(*entry, several) + " approx.", &meter));
      responses.back().approximated = true;
      responses.back().unit = responseUnitOf(entry->summary.name);
    }
    if (stopped()) return false;
  }

  // The netlists' titles (their first comments) name the plots and the report.
  const std::string title = joinedTitle(netlistTitles(inputText));
  std::string bode = responsesWanted ? bodeSvg(grid, responses, title.empty() ? "Bode plot" : title) : std::string();
  std::string poleZero = poleZeroSvg(poleZeroSets, title.empty() ? "Poles and zeros" : title);
  std::string report;
  if (!options_->reportPath.empty()) {
    ReportInput input;
    input.title = title.empty() ? "velkor report" : "velkor report: " + title;
    input.inputText = inputText;
    input.values = &values_;
    input.unusedValues = unused;
    for (const NumericResults::Entry& entry : results_.formulas) {
      if (input.netlists.empty() || entry.netlist != static_cast<int>(input.netlists.size()))
        input.netlists.resize(static_cast<std::size_t>(std::max(entry.netlist, 1)));
      ReportFormula formula{entry.heading, entry.mathml, entry.summary, {}, {}};
      formula.atValues = entry.atValues;
      if (entry.approximation) {
        formula.approximationCaption = entry.approximation->caption;
        formula.approximationMathml = entry.approximation->mathml;
      }
      input.netlists.back().formulas.push_back(std::move(formula));
    }
    if (!responses.empty()) input.bodeSvg = bode;
    if (!poleZeroSets.empty()) input.poleZeroSvg = poleZero;
    if (stopped()) return false;
    report = htmlReport(input);
  }
  if (stopped()) return false;
  bool written = writeFile(bodeSvg_, options_->bodePath.empty() ? "" : "svg", bode, error) &&
                 writeFile(bodeCsv_, options_->bodePath.empty() ? "" : "csv",
                           options_->bodePath.empty() ? std::string() : bodeCsv(grid, responses), error) &&
                 writeFile(poleZero_, options_->poleZeroPath, poleZero, error) &&
                 writeFile(report_, options_->reportPath, report, error);
  if (!written) discard();
  return written;
}

bool NumericOutputs::commit(OutputFile& results, std::string& error) {
  return commitTogether({&results, &bodeSvg_, &bodeCsv_, &poleZero_, &report_}, error);
}

void NumericOutputs::discard() {
  bodeSvg_.discard();
  bodeCsv_.discard();
  poleZero_.discard();
  report_.discard();
}

}  // namespace velkor

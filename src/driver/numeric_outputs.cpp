#include "driver/numeric_outputs.h"

#include <algorithm>

#include "analysis/frequency_response.h"
#include "render/bode_csv.h"
#include "render/html_report.h"
#include "render/svg_plots.h"

namespace velkor {

namespace {

constexpr int kDefaultPoints = 400;

bool openFile(OutputFile& file, const std::string& path, std::string& error) {
  return path.empty() || file.open(path, error);
}

bool writeFile(OutputFile& file, const std::string& path, const std::string& content, std::string& error) {
  if (path.empty()) return true;
  if (std::fwrite(content.data(), 1, content.size(), file.stream()) != content.size()) {
    error = "error writing " + file.name();
    return false;
  }
  return file.commit(error);
}

// The label of a formula in legends: its name, with the netlist's number
// when the run has several.
std::string label(const NumericResults::Entry& entry, bool severalNetlists) {
  return severalNetlists ? std::to_string(entry.netlist) + ":" + entry.summary.name : entry.summary.name;
}

}  // namespace

std::string bodePathWith(const std::string& path, const char* extension) {
  std::string base = path;
  for (const char* known : {".svg", ".csv"}) {
    std::size_t n = std::char_traits<char>::length(known);
    if (base.size() > n && base.compare(base.size() - n, n, known) == 0) base.resize(base.size() - n);
  }
  return base + extension;
}

bool NumericOutputs::prepare(const CommandLine& options, std::string& error) {
  options_ = &options;
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
  settings_.values = &values_;
  settings_.evaluate = options.evaluate;
  settings_.keep = !options.bodePath.empty() || !options.poleZeroPath.empty() || !options.reportPath.empty();
  settings_.typeset = !options.reportPath.empty();
  if (options.approximationEps > 0) {
    approximation_ = ApproximationSettings{options.approximationEps, options.fromHz, options.toHz};
    if (options.exactFormulas) {
      settings_.approximation = &approximation_;
    } else {
      generation_.values = &values_;
      generation_.settings = approximation_;
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
    if (results_.symbols.count(name) == 0) {
      unused.push_back(name);
      if (warnings != nullptr)
        std::fprintf(warnings, "velkor: warning: %s: '%s' is no element of any netlist analysed\n",
                     value.origin.c_str(), name.c_str());
    }
  unusedValues_ = unused.size();
  if (!settings_.keep) return true;

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

  // The range: as asked, or two decades beyond the outermost pole or zero.
  FrequencyRange range =
      frequencyBand(roots, options_->points > 0 ? options_->points : kDefaultPoints, options_->fromHz, options_->toHz);
  std::vector<long double> grid = logFrequencyGrid(range);
  std::vector<FrequencyResponse> responses;
  for (const NumericResults::Entry* entry : complete) {
    const NumericSummary& summary = entry->summary;
    responses.push_back(frequencyResponse([&summary](long double omega) { return summary.atFrequency(omega); }, grid,
                                          label(*entry, several)));
    // An approximation is drawn beside its exact formula.
    if (entry->approximation && entry->approximation->simplified) {
      responses.push_back(frequencyResponse(entry->approximation->formula, grid, label(*entry, several) + " approx."));
      responses.back().approximated = true;
    }
  }

  std::string bode = bodeSvg(grid, responses, "Bode plot");
  std::string poleZero = poleZeroSvg(poleZeroSets, "Poles and zeros");
  std::string report;
  if (!options_->reportPath.empty()) {
    ReportInput input;
    input.title = "velkor report";
    input.inputText = inputText;
    input.values = &values_;
    input.unusedValues = unused;
    for (const NumericResults::Entry& entry : results_.formulas) {
      if (input.netlists.empty() || entry.netlist != static_cast<int>(input.netlists.size()))
        input.netlists.resize(static_cast<std::size_t>(std::max(entry.netlist, 1)));
      ReportFormula formula{entry.heading, entry.mathml, entry.summary, {}, {}};
      if (entry.approximation) {
        formula.approximationCaption = entry.approximation->caption;
        formula.approximationMathml = entry.approximation->mathml;
      }
      input.netlists.back().formulas.push_back(std::move(formula));
    }
    if (!responses.empty()) input.bodeSvg = bode;
    if (!poleZeroSets.empty()) input.poleZeroSvg = poleZero;
    report = htmlReport(input);
  }
  bool written = writeFile(bodeSvg_, options_->bodePath.empty() ? "" : "svg", bode, error) &&
                 writeFile(bodeCsv_, options_->bodePath.empty() ? "" : "csv", bodeCsv(grid, responses), error) &&
                 writeFile(poleZero_, options_->poleZeroPath, poleZero, error) &&
                 writeFile(report_, options_->reportPath, report, error);
  if (!written) discard();
  return written;
}

void NumericOutputs::discard() {
  bodeSvg_.discard();
  bodeCsv_.discard();
  poleZero_.discard();
  report_.discard();
}

}  // namespace velkor

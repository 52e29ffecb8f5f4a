#include "render/json_document.h"

#include <charconv>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "analysis/approximation.h"
#include "model/element_symbols.h"

namespace velkor {

namespace {

const char* outcomeName(FormulaOutcome outcome) {
  switch (outcome) {
    case FormulaOutcome::kDone: return "done";
    case FormulaOutcome::kSkipped: return "skipped";
    case FormulaOutcome::kNoFormula: return "numbers_only";
    case FormulaOutcome::kApproximated: return "approximated";
    case FormulaOutcome::kFailedCopy:
    case FormulaOutcome::kFailedConversion: return "failed";
  }
  return "failed";
}

void appendNumber(std::string& line, std::int64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  line.append(digits, static_cast<std::size_t>(end - digits));
}

const char* approximationOutcomeName(Approximation::Outcome outcome) {
  switch (outcome) {
    case Approximation::Outcome::Simplified: return "simplified";
    case Approximation::Outcome::Whole: return "whole";
    case Approximation::Outcome::MissingValues: return "missing_values";
    case Approximation::Outcome::Undefined: return "undefined";
    case Approximation::Outcome::MixedUnits: return "mixed_units";
    case Approximation::Outcome::Abandoned: return "abandoned";
    case Approximation::Outcome::OverMemory: return "memory_bound";
  }
  return "undefined";
}

// A message without its final line end.
std::string_view trimmed(std::string_view text) {
  while (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  return text;
}

}  // namespace

void JsonDocument::writeString(std::string_view text) {
  // Bytes that are not UTF-8 (the input may hold any) become U+FFFD.
  const std::string quoted =
      nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  out_.write(quoted.data(), quoted.size());
}

void JsonDocument::beginRun() {
  out_.print("{\"program\": \"velkor\", \"version\": ");
  writeString(version_);
  out_.print(", \"netlists\": [");
}

void JsonDocument::beginNetlist(const NetlistRecord& netlist) {
  out_.print("%s\n {\"number\": %d, \"input\": ", netlists_++ == 0 ? "" : ",", netlist.number);
  writeString(netlist.input);
  out_.print(",\n  \"parameters\": [");
  parameters_ = 0;
  analysisMessages_.clear();
  symbolNames_.clear();
  symbolUsed_.clear();
  mixedUnits_ = false;
  normalization_.clear();
}

void JsonDocument::formulaStarted(const FinishedFormula&) {}

void JsonDocument::formulaFinished(const FinishedFormula& formula) {
  out_.print("%s\n   {\"name\": ", parameters_++ == 0 ? "" : ",");
  writeString(formula.name);
  out_.print(", \"heading\": ");
  writeString(formula.heading);
  out_.print(", \"outcome\": \"%s\"", outcomeName(formula.outcome));
  if (!formula.valuesInFormula.empty()) {
    // The elements written as numbers in the polynomials, with their values.
    std::string values = ",\n    \"at_values\": {";
    for (std::size_t k = 0; k < formula.valuesInFormula.size(); ++k) {
      const FinishedFormula::ValueInFormula& v = formula.valuesInFormula[k];
      values += (k == 0 ? "" : ", ") +
                nlohmann::json(v.name).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + ": " +
                nlohmann::json(static_cast<double>(v.value)).dump();
    }
    values += "}";
    out_.write(values.data(), values.size());
  }
  if (formula.scattering) normalization_ = formula.normalization;
  if (formula.units == OhmUnits::kMixed) mixedUnits_ = true;
  if (symbolNames_.size() < formula.symbols.size()) {
    symbolNames_ = formula.symbols;
    symbolUsed_.resize(symbolNames_.size(), false);
  } else {
    // The scattering rows add names of their own after the others.
    for (std::size_t k = 0; k < formula.symbols.size(); ++k)
      if (!formula.symbols[k].empty()) symbolNames_[k] = formula.symbols[k];
  }
  if (formula.failed()) {
    out_.print(", \"error\": ");
    writeString(trimmed(formula.message));
    analysisMessages_.emplace_back(trimmed(formula.message));
  }
  if (formula.outcome == FormulaOutcome::kDone && formula.numerator != nullptr && formula.denominator != nullptr) {
    out_.print(",\n    \"numerator\": [");
    writePolynomial(formula, *formula.numerator);
    out_.print("],\n    \"denominator\": [");
    writePolynomial(formula, *formula.denominator);
    out_.print("]");
    if (formula.approximation != nullptr) writeApproximation(formula, *formula.approximation);
  }
  if (formula.outcome == FormulaOutcome::kApproximated && formula.approximation != nullptr)
    writeApproximation(formula, *formula.approximation);
  if (extra_) {
    const std::string more = extra_(formula);
    if (!more.empty()) out_.print(",\n    %s", more.c_str());
  }
  out_.print("}");
}

// The "approximation" member: what was asked and achieved, and the kept
// terms in the layout of the exact ones (all of them when none could go).
void JsonDocument::writeApproximation(const FinishedFormula& formula, const Approximation& approximation) {
  auto number = [](long double value) { return nlohmann::json(static_cast<double>(value)).dump(); };
  auto counts = [](const TermCounts& c) {
    return "{\"numerator\": " + std::to_string(c.numerator) + ", \"denominator\": " + std::to_string(c.denominator) + "}";
  };
  std::string head = ",\n    \"approximation\": {\"eps\": " + number(approximation.eps) + ", \"outcome\": \"" +
                     approximationOutcomeName(approximation.outcome) + "\"";
  if (approximation.outcome == Approximation::Outcome::MissingValues)
    head += ", \"missing\": " +
            nlohmann::json(approximation.missing).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  if (approximation.computed())
    head += ", \"error\": " + number(approximation.error) + ", \"band\": [" + number(approximation.fromHz) + ", " +
            number(approximation.toHz) + "], \"kept\": " + counts(approximation.kept) +
            (approximation.duringGeneration
                 ? ", \"generated\": " + counts(approximation.generated) +
                       ", \"met\": " + (approximation.met ? "true" : "false")
                 : ", \"total\": " + counts(approximation.total));
  out_.write(head.data(), head.size());
  if (approximation.computed() && (approximation.simplified() || formula.numerator != nullptr)) {
    const bool simplified = approximation.simplified();
    out_.print(",\n     \"numerator\": [");
    writePolynomial(formula, simplified ? approximation.numerator : *formula.numerator);
    out_.print("],\n     \"denominator\": [");
    writePolynomial(formula, simplified ? approximation.denominator : *formula.denominator);
    out_.print("]");
  }
  out_.print("}");
}

// Terms are formatted by hand into one reused line: a large formula has
// millions of them.
void JsonDocument::writePolynomial(const FinishedFormula& formula, const PolynomialView& polynomial) {
  // Each symbol's key, quoted and escaped once per polynomial.
  std::vector<std::string> keys(formula.symbols.size());
  for (std::size_t k = 0; k < keys.size(); ++k)
    keys[k] = nlohmann::json(formula.symbols[k]).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + ": ";
  std::string& line = line_;
  bool first = true;
  polynomial.forEachTerm([&](const TermView& term) {
    line.assign(first ? "\n     {\"s\": " : ",\n     {\"s\": ");
    first = false;
    appendNumber(line, term.power);
    line += ", \"coefficient\": ";
    if (term.real != nullptr)
      // The shortest text that reads back as the same double.
      line += nlohmann::json(static_cast<double>(term.real->value)).dump();
    else
      appendNumber(line, term.coefficient);
    line += ", \"factors\": {";
    for (int i = 0; i < term.factorCount; ++i) {
      const int symbol = term.factors[i].symbol;
      if (i > 0) line += ", ";
      if (symbol >= 0 && static_cast<std::size_t>(symbol) < keys.size()) {
        line += keys[static_cast<std::size_t>(symbol)];
        if (static_cast<std::size_t>(symbol) < symbolUsed_.size()) symbolUsed_[static_cast<std::size_t>(symbol)] = true;
      } else {
        line += "\"#" + std::to_string(symbol) + "\": ";
      }
      appendNumber(line, term.factors[i].exponent);
    }
    line += "}}";
    out_.write(line.data(), line.size());
  });
}

void JsonDocument::message(std::string_view text) { analysisMessages_.emplace_back(trimmed(text)); }

void JsonDocument::endNetlist(const NetlistRecord& netlist) {
  out_.print("],\n  \"messages\": [");
  bool first = true;
  const std::vector<std::string>* lists[] = {&netlist.messages, &analysisMessages_};
  for (const std::vector<std::string>* list : lists)
    for (const std::string& message : *list) {
      if (!first) out_.print(", ");
      first = false;
      writeString(message);
    }
  out_.print("],\n  \"symbols\": [");
  first = true;
  for (std::size_t k = 0; k < symbolUsed_.size(); ++k) {
    if (!symbolUsed_[k]) continue;
    const SymbolMeaning meaning = symbolMeaning(symbolNames_[k], mixedUnits_);
    out_.print("%s\n   {\"name\": ", first ? "" : ",");
    first = false;
    writeString(symbolNames_[k]);
    out_.print(", \"kind\": ");
    writeString(meaning.kind);
    out_.print(", \"meaning\": ");
    writeString(meaning.meaning);
    out_.print("}");
  }
  out_.print("],\n  \"normalization\": ");
  if (normalization_.empty())
    out_.print("null");
  else
    writeString(normalization_);
  out_.print(",\n  \"trace\": ");
  if (!netlist.traced || !netlist.trace) {
    out_.print("null");
  } else {
    // The listings may be long: each piece is escaped on its own, between
    // one pair of quotes.
    out_.print("\"");
    netlist.trace([&](std::string_view piece) {
      const std::string quoted =
          nlohmann::json(std::string(piece)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
      out_.write(quoted.data() + 1, quoted.size() - 2);
    });
    out_.print("\"");
  }
  out_.print("}");
}

void JsonDocument::endRun() { out_.print("\n]}\n"); }

}  // namespace velkor

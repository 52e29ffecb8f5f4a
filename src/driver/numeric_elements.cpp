#include "driver/numeric_elements.h"

#include <set>

#include "support/shown_text.h"

namespace velkor {

bool NumericElements::prepare(const CommandLine& options, const DeckInputs& decks, const ElementValues& values,
                              std::string& error) {
  choice_.allBut = !options.symbolicNames.empty();
  choice_.names = choice_.allBut ? options.symbolicNames : options.numericNames;
  option_ = choice_.allBut ? "symbolic" : "numeric";
  values_ = &values;
  decks_ = decks.active();
  if (!choice_.any()) return true;
  const std::string prefix = std::string("--") + option_ + ": ";
  if (decks_) {
    std::set<std::string> elements;
    for (const DeckCircuit& deck : decks.decks())
      for (const DeckElement& element : deck.elements) elements.insert(element.symbol);
    for (std::string& name : choice_.names) {
      for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      if (elements.count(name) == 0) {
        error = prefix + "'" + shownText(name) + "' is no element of the deck";
        return false;
      }
    }
  }
  if (!choice_.allBut)
    for (const std::string& name : choice_.names)
      if (values.find(name) == nullptr) {
        error = prefix + "'" + shownText(name) + "' has no value (give one with --values or --set)";
        return false;
      }
  return true;
}

void NumericElements::applyTo(RunOptions& run) {
  if (!choice_.any()) return;
  run.numericChoice = &choice_;
  run.substitutionValues = values_;
  run.substitutionRecord = &record_;
}

bool NumericElements::finish(std::FILE* warnings, std::string& error) {
  if (!choice_.any()) return true;
  // Names of decks were checked against their elements before the run; a
  // run without a formula has nothing to check them against.
  if (!decks_ && !record_.symbols.empty())
    for (const std::string& name : choice_.names)
      if (record_.symbols.count(name) == 0) {
        error = std::string("--") + option_ + ": '" + shownText(name) + "' is no element of any netlist analysed";
        return false;
      }
  warnings_ = record_.withoutValue.size() + (record_.mixedUnits > 0 ? 1 : 0);
  if (warnings == nullptr) return true;
  for (const std::string& name : record_.withoutValue)
    std::fprintf(warnings, "velkor: warning: --%s: %s has no value: it stays a symbol\n", option_,
                 shownText(name).c_str());
  if (record_.mixedUnits > 0)
    std::fprintf(warnings, "velkor: warning: --%s: %d formula%s in mixed ohm units keep%s every symbol\n", option_,
                 record_.mixedUnits, record_.mixedUnits == 1 ? "" : "s", record_.mixedUnits == 1 ? "s" : "");
  return true;
}

}  // namespace velkor

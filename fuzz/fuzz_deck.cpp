// Reads whole inputs as circuit decks (and as an operating-point file):
// reading either ends with the flat circuit or a DeckError whose place is
// FILE:LINE:COLUMN within the input. A deck that reads is then analysed in
// process, as a run with --input=spice would, with the checks of every run.
#include <cstddef>
#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "analysis/element_values.h"
#include "fuzz_support.h"
#include "input/deck_circuit.h"
#include "input/operating_point_reader.h"
#include "input/spice_deck_reader.h"

namespace {

std::optional<long double> parse(std::string_view text) { return velkor::parseEngineeringNumber(text); }

void checkPlace(const velkor::DeckError& e) {
  static const std::regex kPlace("fuzz\\.cir:[1-9][0-9]*:[1-9][0-9]*");
  if (!std::regex_match(e.where(), kPlace))
    velkor::fuzz::fail("error without a place: '" + e.where() + "': " + e.what());
  if (std::string(e.what()).rfind("expected ", 0) != 0)
    velkor::fuzz::fail(std::string("error without what was expected: ") + e.what());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velkor;
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<OperatingPoint> op;
  try {
    op = std::make_unique<OperatingPoint>(readOperatingPoint(input, "fuzz.op"));
  } catch (const DeckError&) {
  }
  DeckSettings settings;
  settings.parse = parse;
  settings.includes = false;
  settings.operatingPoint = (size & 1) != 0 ? op.get() : nullptr;
  std::vector<DeckCircuit> decks;
  try {
    decks.push_back(readDeck(input, "fuzz.cir", ".", settings));
  } catch (const DeckError& e) {
    checkPlace(e);
    return 0;
  }
  for (const DeckElement& e : decks.front().elements)
    if (e.symbol.size() > 12 || e.symbol.empty())
      fuzz::fail("a symbol of " + std::to_string(e.symbol.size()) + " characters");
  RunOptions options;
  options.workLimit = fuzz::kWorkLimit;
  options.decks = &decks;
  fuzz::RunSummary run = fuzz::runOnce("", options);
  fuzz::checkRun(run, "deck run");
  return 0;
}

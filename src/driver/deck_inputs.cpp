#include "driver/deck_inputs.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>

#include "input/operating_point_reader.h"
#include "input/spice_deck_reader.h"

namespace velkor {

namespace {

bool endsWith(const std::string& text, const char* ending) {
  const std::string tail(ending);
  if (text.size() <= tail.size()) return false;
  std::string end = text.substr(text.size() - tail.size());
  for (char& c : end) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return end == tail;
}

bool deckName(const std::string& name) {
  for (const char* ending : {".cir", ".sp", ".spice", ".ckt"})
    if (endsWith(name, ending)) return true;
  return false;
}

bool readAll(const std::string& name, std::string& text) {
  if (name == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return !std::cin.bad();
  }
  std::ifstream in(name, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  text = content.str();
  return !in.bad();
}

std::optional<long double> parseNumber(std::string_view text) { return parseEngineeringNumber(text); }

}  // namespace

int DeckInputs::read(const CommandLine& options, std::string& error) {
  if (options.inputFormat == CommandLine::InputFormat::kNetlist) return 0;
  const std::vector<std::string> inputs = options.inputs.empty() ? std::vector<std::string>{"-"} : options.inputs;
  std::vector<std::string> texts(inputs.size());
  bool anyDeck = false, anyNetlist = false;
  for (std::size_t k = 0; k < inputs.size(); ++k) {
    const std::string& name = inputs[k];
    bool deck = options.inputFormat == CommandLine::InputFormat::kDeck;
    if (!deck && name != "-") {
      // Contents are looked at in regular files only: a pipe read here
      // would be empty for the netlist reader. A file that cannot be read
      // is left to the netlist reader's message.
      std::error_code failed;
      deck = deckName(name);
      if (!deck && std::filesystem::is_regular_file(name, failed)) {
        if (!readAll(name, texts[k])) return 0;
        deck = looksLikeDeck(texts[k]);
      }
    }
    (deck ? anyDeck : anyNetlist) = true;
  }
  if (!anyDeck) return 0;
  if (anyNetlist) {
    error = "decks and velkor netlists cannot be mixed in one run; give --input=spice or --input=velkor";
    return 2;
  }
  std::unique_ptr<OperatingPoint> op;
  if (!options.operatingPointPath.empty()) {
    std::string text;
    if (!readAll(options.operatingPointPath, text)) {
      error = "cannot read '" + options.operatingPointPath + "'";
      return 2;
    }
    try {
      op = std::make_unique<OperatingPoint>(readOperatingPoint(text, options.operatingPointPath));
    } catch (const DeckError& e) {
      error = e.where() + ": error: " + e.what();
      return 1;
    }
  }
  DeckSettings settings;
  settings.parse = parseNumber;
  settings.ports = options.ports;
  settings.operatingPoint = op.get();
  for (std::size_t k = 0; k < inputs.size(); ++k) {
    const std::string& name = inputs[k];
    if (texts[k].empty() && !readAll(name, texts[k])) {
      error = "cannot read '" + name + "'";
      return 2;
    }
    const std::string shown = name == "-" ? "<stdin>" : name;
    const std::size_t slash = name.rfind('/');
    const std::string directory = name == "-" ? "." : slash == std::string::npos ? "." : name.substr(0, slash);
    try {
      decks_.push_back(readDeck(texts[k], shown, directory, settings));
    } catch (const DeckError& e) {
      error = e.where() + ": error: " + e.what();
      return 1;
    }
    text_ += texts[k];
    const DeckCircuit& deck = decks_.back();
    for (const DeckWarning& w : deck.warnings) warnings_.push_back(deck.where(w.at) + ": warning: " + w.text);
    for (const DeckElement& e : deck.elements) {
      if (!e.value) continue;
      const std::string origin = deck.files[static_cast<std::size_t>(e.at.file)] + ":" + std::to_string(e.at.line);
      if (const ElementValue* earlier = values_.find(e.symbol); earlier != nullptr && earlier->value != *e.value) {
        error = origin + ": error: '" + e.symbol + "' has another value at " + earlier->origin +
                "; analyse decks whose elements share names in runs of their own";
        return 1;
      }
      values_.set(e.symbol, *e.value, origin);
    }
  }
  return 0;
}

}  // namespace velkor

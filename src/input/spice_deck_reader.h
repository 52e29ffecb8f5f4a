// Reads a circuit deck as circuit simulators and schematic editors write it
// into a flat circuit: subcircuit instances expanded, parameters and values
// worked out, independent sources turned into the port or into shorts and
// opens, transistors into their small-signal models.
#pragma once

#include <string>
#include <vector>

#include "input/deck_circuit.h"

namespace velkor {

struct OperatingPoint;

struct DeckSettings {
  NumberParser parse = nullptr;
  // --ports: +port1 -port1 +port2 -port2 as node names (empty: from the deck).
  std::vector<std::string> ports;
  // Transistor values (nullptr: none; the symbols then have no values).
  const OperatingPoint* operatingPoint = nullptr;
  // Whether .include may read files (the fuzz target reads none).
  bool includes = true;
};

// Reads the deck `text`, named `fileName` in places; `.include` files are
// found relative to `directory`. Throws DeckError for the first thing that
// cannot be read or modelled.
DeckCircuit readDeck(const std::string& text, const std::string& fileName, const std::string& directory,
                     const DeckSettings& settings);

// Whether `text` reads as a deck rather than a netlist of velkor's own
// language: some line starts with a dot card or is a `*` comment line.
bool looksLikeDeck(const std::string& text);

}  // namespace velkor

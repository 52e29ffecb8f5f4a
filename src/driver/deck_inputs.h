// The circuit decks of a run, read whole before the run starts: which
// inputs are decks, their operating point, and the element values they
// carry.
#pragma once

#include <string>
#include <vector>

#include "analysis/element_values.h"
#include "driver/command_line.h"
#include "input/deck_circuit.h"

namespace velkor {

class DeckInputs {
 public:
  // Decides whether the run reads decks (--input, else every input file
  // named *.cir, *.sp, *.spice or *.ckt or whose contents read as a deck;
  // standard input only with --input=spice) and reads them. Returns the
  // exit status of a failure (0 when all went well) with `error` set to the
  // message: 2 for a mistake on the command line, 1 for a deck that cannot
  // be read (the message then starts with FILE:LINE:COLUMN).
  int read(const CommandLine& options, std::string& error);

  bool active() const { return !decks_.empty(); }
  const std::vector<DeckCircuit>& decks() const { return decks_; }
  // The values on the decks' element lines, each with its FILE:LINE.
  const ElementValues& values() const { return values_; }
  // The warnings of every deck, one line each (FILE:LINE:COLUMN: warning: ...).
  const std::vector<std::string>& warnings() const { return warnings_; }
  // The decks' text as read, one after the other (for the report).
  const std::string& text() const { return text_; }

 private:
  std::vector<DeckCircuit> decks_;
  ElementValues values_;
  std::vector<std::string> warnings_;
  std::string text_;
};

}  // namespace velkor

// A circuit deck after reading: every subcircuit instance expanded, every
// value worked out, ready to be put into the network store. The deck reader
// makes it; the deck loader puts it into the store one element at a time.
#pragma once

#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

// Where a word of a deck lies: its file (an index into DeckCircuit::files),
// its line and its column, both from 1.
struct DeckPlace {
  int file = 0;
  int line = 1;
  int column = 1;
};

// What an element of the flat circuit is, in the terms of the network store.
enum class DeckKind {
  kResistor,     // r: n1 n2
  kCapacitor,    // c: n1 n2
  kInductor,     // l: n1 n2
  kConductance,  // g: n1 n2 (transistor output conductances)
  kVccs,         // gm: +out -out +in -in
  kVcvs,         // u: +out -out +in -in
  kCccs,         // b: +out -out +in -in, the input a short that senses its current
  kCcvs,         // rm: the same
  kMutual,       // m: the two halves' terminals, as the store's mutual inductance
};

struct DeckElement {
  DeckKind kind = DeckKind::kResistor;
  std::string symbol;  // the name in the formulas, lower case
  int nodes[4] = {};   // node indices into DeckCircuit::nodeNames
  std::optional<long double> value;
  DeckPlace at;  // its element line
};

struct DeckWarning {
  DeckPlace at;
  std::string text;
};

// A deck that cannot be read: `where` is FILE:LINE:COLUMN, `what()` the
// reason (what was expected, and what was found).
class DeckError : public std::runtime_error {
 public:
  DeckError(std::string where, const std::string& what) : std::runtime_error(what), where_(std::move(where)) {}
  const std::string& where() const { return where_; }

 private:
  std::string where_;
};

// Reads a number as element values are read (the numeric layer's own
// reader, so that a deck value and the same text in a values file are the
// same number).
using NumberParser = std::optional<long double> (*)(std::string_view);

struct DeckCircuit {
  // The deck and its included files, as named in places. A deque, so that
  // the names stay where they are while files are added.
  std::deque<std::string> files;
  std::string title;
  // Node names by index; index 0 is ground ("0").
  std::vector<std::string> nodeNames{"0"};
  std::vector<DeckElement> elements;
  // Port terminals as node indices: +port1 -port1 +port2 -port2.
  int ports[4] = {};
  DeckPlace portsAt;  // where the port was found (the source line), for messages
  // Two-port parameters asked for by name (empty: the default set).
  std::vector<std::string> parameters;
  std::vector<DeckWarning> warnings;

  std::string where(const DeckPlace& at) const {
    const std::string& file = at.file >= 0 && at.file < static_cast<int>(files.size()) ? files[at.file] : files.front();
    return file + ":" + std::to_string(at.line) + ":" + std::to_string(at.column);
  }
};

}  // namespace velkor

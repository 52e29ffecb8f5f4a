// The cross-check's own view of a netlist: elements with their typed node
// labels, the port designator, the requested parameters and the
// normalization, read from netlist text independently of velkor's reader.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace velkor::crosscheck {

enum class ElementKind {
  Resistor,       // r: resistance, ohm
  Inductor,       // l: inductance
  Capacitor,      // c: capacitance
  Conductance,    // g: conductance
  Admittance,     // y: admittance
  Impedance,      // z: impedance
  Transconductor, // gm: voltage-controlled current source
  Gyrator,        // gy
  OpAmp,          // o: ideal op-amp (nullor)
  VoltageGain,    // u: voltage-controlled voltage source
  CurrentGain,    // b: current-controlled current source
  Transresistor,  // rm: current-controlled voltage source
  Mutual,         // m: mutual inductance
};

bool isTwoPort(ElementKind kind);

// Every two-port kind, in the order of the enumeration.
inline constexpr ElementKind kTwoPortKinds[] = {ElementKind::Transconductor, ElementKind::Gyrator,
                                                ElementKind::OpAmp,          ElementKind::VoltageGain,
                                                ElementKind::CurrentGain,    ElementKind::Transresistor,
                                                ElementKind::Mutual};

struct Element {
  ElementKind kind = ElementKind::Resistor;
  std::string name;                 // as velkor sees it (at most 12 characters)
  std::array<int, 4> nodes{};       // one-ports use nodes[0], nodes[1];
                                    // two-ports +out, -out, +in, -in
};

struct Netlist {
  std::vector<Element> elements;
  std::array<int, 4> ports{};       // +port1, -port1, +port2, -port2 labels
  std::array<bool, 32> requested{}; // by parameter table row
  int normalization = 0;            // n entry: 0 Y0, 1 Z0, other unity
  std::string text;                 // the netlist as velkor reads it
};

// The element kind that velkor's reader chooses from a name's first one or
// two characters; false for words that are not elements.
bool elementKindOf(const std::string& word, ElementKind& kind);

// Reads every netlist of `input` (entries up to each end entry), with nested
// brace comments and the reader's separators. Throws std::runtime_error on
// anything it does not understand, so that test inputs stay well-formed.
std::vector<Netlist> readNetlists(const std::string& input);

// The netlist as input text: elements, f, n, and p entries (all rows when
// every row is requested), then end.
std::string netlistText(const Netlist& netlist);

}  // namespace velkor::crosscheck

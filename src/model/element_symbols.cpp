#include "model/element_symbols.h"

#include <cctype>

namespace velkor {

namespace {

std::string lower(const std::string& text) {
  std::string out;
  for (char c : text) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

int elementPrefixLength(const std::string& name) {
  if (name.empty()) return 0;
  const std::string two = lower(name.substr(0, 2));
  return two == "gm" || two == "gy" || two == "rm" ? 2 : 1;
}

SymbolMeaning symbolMeaning(const std::string& name, bool mixedUnits) {
  if (name == "Y0") return {"n", "reference admittance of the scattering normalization, in siemens"};
  if (name == "Z0") return {"n", "reference impedance of the scattering normalization, in ohms"};
  const std::string kind = lower(name.substr(0, static_cast<std::size_t>(elementPrefixLength(name))));
  struct Entry {
    const char* kind;
    const char* value;       // what the element's value is
    const char* reciprocal;  // what the symbol is in mixed units (impedance types only)
  };
  static const Entry kEntries[] = {
      {"r", "resistance in ohms", "conductance 1/R in siemens"},
      {"z", "impedance in ohms", "admittance 1/Z in siemens"},
      {"l", "inductance in henries", "reciprocal inductance 1/L in 1/henries"},
      {"m", "mutual inductance in henries", "reciprocal mutual inductance 1/M in 1/henries"},
      {"rm", "transresistance of a current-controlled voltage source, in ohms",
       "reciprocal transresistance 1/rm in siemens"},
      {"c", "capacitance in farads", nullptr},
      {"g", "conductance in siemens", nullptr},
      {"y", "admittance in siemens", nullptr},
      {"gm", "transconductance of a voltage-controlled current source, in siemens", nullptr},
      {"gy", "gyration conductance of a gyrator, in siemens", nullptr},
      {"u", "voltage gain of a voltage-controlled voltage source (dimensionless)", nullptr},
      {"b", "current gain of a current-controlled current source (dimensionless)", nullptr},
  };
  for (const Entry& entry : kEntries)
    if (kind == entry.kind)
      return {kind, mixedUnits && entry.reciprocal != nullptr ? entry.reciprocal : entry.value};
  return {kind, "element value"};
}

}  // namespace velkor

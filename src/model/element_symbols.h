// What an element symbol stands for, told by its name's prefix.
#pragma once

#include <string>

namespace velkor {

struct SymbolMeaning {
  std::string kind;     // the element letter or letters, lower case ("r", "gm"); "n" for Y0 and Z0
  std::string meaning;  // the quantity the symbol stands for, in ordinary units
};

// The meaning of a symbol in a formula converted to ohm units; with
// `mixedUnits` an impedance-type symbol (r, z, l, m, rm) stands for the
// reciprocal of its element's value.
SymbolMeaning symbolMeaning(const std::string& name, bool mixedUnits);

// The length of the element prefix of a name: 2 for gm, gy and rm, else 1
// (0 for an empty name).
int elementPrefixLength(const std::string& name);

}  // namespace velkor

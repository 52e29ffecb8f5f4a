// The constant table of the 32 two-port parameters.
#pragma once

#include "support/capacities.h"

namespace velkor {

enum TopofunId : int { kV = 0, kWijkl = 1, kWijij = 2, kWklkl = 3, kWklij = 4, kUijkl = 5 };

struct ParameterRecord {
  int kind;
  const char* letter;
  int terminals[4];
  const char* numeratorQuantity;
  int numeratorTerminals[2];
  const char* denominatorQuantity;
  int denominatorTerminals[2];
  const char* constraintQuantity;
  int constraintTerminals[2];
  int sign;
  int numeratorTopofun;
  int denominatorTopofun;
};

extern const ParameterRecord parameterTable[kParameterCount];
extern const char* const parameterNames[kParameterCount];
extern const char* const parameterAliases[kParameterCount];
extern const char* const topofunNames[kTopofunCount];

// True for the eight scattering rows (kinds 12 .. 19).
inline bool isScatteringKind(int kind) { return kind >= 12 && kind <= 19; }
// Number of port edges' worth of tree order: 1 for V, 3 for Uijkl, else 2.
inline int topofunTreeOrder(int topofun) { return topofun == kV ? 1 : topofun == kUijkl ? 3 : 2; }
// Row of the first name or alias equal to `word`, or -1.
int findParameter(const char* word);

}  // namespace velkor

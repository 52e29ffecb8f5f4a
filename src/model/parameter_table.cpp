#include "model/parameter_table.h"

#include <cstring>

namespace velkor {

// Terminal positions: 0 = +port1 (i), 1 = -port1 (j), 2 = +port2 (k), 3 = -port2 (l).
const ParameterRecord parameterTable[kParameterCount] = {
    {20, "g", {0, 1, 0, 1}, "i", {0, 1}, "v", {0, 1}, "i", {2, 3}, +1, kV, kWijij},
    {3, "g", {0, 1, 2, 3}, "i", {0, 1}, "i", {2, 3}, "v", {0, 1}, -1, kWklij, kWijij},
    {0, "g", {2, 3, 0, 1}, "v", {2, 3}, "v", {0, 1}, "i", {2, 3}, +1, kWijkl, kWijij},
    {21, "g", {2, 3, 2, 3}, "v", {2, 3}, "i", {2, 3}, "v", {0, 1}, +1, kUijkl, kWijij},
    {22, "h", {0, 1, 0, 1}, "v", {0, 1}, "i", {0, 1}, "v", {2, 3}, +1, kUijkl, kWklkl},
    {1, "h", {0, 1, 2, 3}, "v", {0, 1}, "v", {2, 3}, "i", {0, 1}, +1, kWklij, kWklkl},
    {2, "h", {2, 3, 0, 1}, "i", {2, 3}, "i", {0, 1}, "v", {2, 3}, -1, kWijkl, kWklkl},
    {23, "h", {2, 3, 2, 3}, "i", {2, 3}, "v", {2, 3}, "i", {0, 1}, +1, kV, kWklkl},
    {4, "y", {0, 1, 0, 1}, "i", {0, 1}, "v", {0, 1}, "v", {2, 3}, +1, kWklkl, kUijkl},
    {6, "y", {0, 1, 2, 3}, "i", {0, 1}, "v", {2, 3}, "v", {0, 1}, -1, kWklij, kUijkl},
    {5, "y", {2, 3, 0, 1}, "i", {2, 3}, "v", {0, 1}, "v", {2, 3}, -1, kWijkl, kUijkl},
    {7, "y", {2, 3, 2, 3}, "i", {2, 3}, "v", {2, 3}, "v", {0, 1}, +1, kWijij, kUijkl},
    {8, "z", {0, 1, 0, 1}, "v", {0, 1}, "i", {0, 1}, "i", {2, 3}, +1, kWijij, kV},
    {10, "z", {0, 1, 2, 3}, "v", {0, 1}, "i", {2, 3}, "i", {0, 1}, +1, kWklij, kV},
    {9, "z", {2, 3, 0, 1}, "v", {2, 3}, "i", {0, 1}, "i", {2, 3}, +1, kWijkl, kV},
    {11, "z", {2, 3, 2, 3}, "v", {2, 3}, "i", {2, 3}, "i", {0, 1}, +1, kWklkl, kV},
    {24, "A", {2, 3, 0, 1}, "v", {0, 1}, "v", {2, 3}, "i", {2, 3}, +1, kWijij, kWijkl},
    {25, "B", {2, 3, 0, 1}, "v", {0, 1}, "-i", {2, 3}, "v", {2, 3}, +1, kUijkl, kWijkl},
    {26, "C", {2, 3, 0, 1}, "i", {0, 1}, "v", {2, 3}, "i", {2, 3}, +1, kV, kWijkl},
    {27, "D", {2, 3, 0, 1}, "i", {0, 1}, "-i", {2, 3}, "v", {2, 3}, +1, kWklkl, kWijkl},
    {28, "a", {0, 1, 2, 3}, "v", {2, 3}, "v", {0, 1}, "i", {0, 1}, +1, kWklkl, kWklij},
    {29, "b", {0, 1, 2, 3}, "v", {2, 3}, "-i", {0, 1}, "v", {0, 1}, +1, kUijkl, kWklij},
    {30, "c", {0, 1, 2, 3}, "i", {2, 3}, "v", {0, 1}, "i", {0, 1}, +1, kV, kWklij},
    {31, "d", {0, 1, 2, 3}, "i", {2, 3}, "-i", {0, 1}, "v", {0, 1}, +1, kWijij, kWklij},
    {12, "s", {0, 1, 0, 1}, " ", {0, 0}, " ", {0, 0}, " ", {0, 0}, -1, kWklkl, kUijkl},
    {13, "s", {0, 1, 2, 3}, " ", {0, 0}, " ", {0, 0}, " ", {0, 0}, +1, kWklij, kUijkl},
    {14, "s", {2, 3, 0, 1}, " ", {0, 0}, " ", {0, 0}, " ", {0, 0}, +1, kWijkl, kUijkl},
    {15, "s", {2, 3, 2, 3}, " ", {0, 0}, " ", {0, 0}, " ", {0, 0}, -1, kWijij, kUijkl},
    {16, "F", {0, 1, 0, 1}, " ", {0, 0}, " ", {0, 0}, " ", {0, 0}, -1, kV, kWijkl},
    {17, "F", {0, 1, 2, 3}, " ", {0, 0}, " ", {0, 0}, " ", {0, 0}, -1, kWklkl, kWijkl},
    {18, "F", {2, 3, 0, 1}, " ", {0, 0}, " ", {0, 0}, " ", {0, 0}, +1, kWijij, kWijkl},
    {19, "F", {2, 3, 2, 3}, " ", {0, 0}, " ", {0, 0}, " ", {0, 0}, +1, kUijkl, kWijkl},
};

const char* const parameterNames[kParameterCount] = {
    "g11", "g12", "g21", "g22", "h11", "h12", "h21", "h22", "y11", "y12", "y21",
    "y22", "z11", "z12", "z21", "z22", "A",   "B",   "C",   "D",   "a",   "b",
    "c",   "d",   "s11", "s12", "s21", "s22", "f11", "f12", "f21", "f22"};

const char* const parameterAliases[kParameterCount] = {
    "G11", "G12", "G21", "G22", "H11", "H12", "H21", "H22", "Y11", "Y12", "Y21",
    "Y22", "Z11", "Z12", "Z21", "Z22", "A21", "B21", "C21", "D21", "a12", "b12",
    "c12", "d12", "S11", "S12", "S21", "S22", "F11", "F12", "F21", "F22"};

const char* const topofunNames[kTopofunCount] = {"V", "Wijkl", "Wijij", "Wklkl", "Wklij", "Uijkl"};

int findParameter(const char* word) {
  for (int r = 0; r < kParameterCount; ++r)
    if (std::strcmp(word, parameterNames[r]) == 0) return r;
  for (int r = 0; r < kParameterCount; ++r)
    if (std::strcmp(word, parameterAliases[r]) == 0) return r;
  return -1;
}

}  // namespace velkor

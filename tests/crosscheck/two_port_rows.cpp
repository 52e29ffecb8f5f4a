#include "crosscheck/two_port_rows.h"

namespace velkor::crosscheck {

namespace {
using Q = Quantity;
constexpr PortQuantity v1{Q::V, 1}, v2{Q::V, 2}, i1{Q::I, 1}, i2{Q::I, 2};
constexpr PortQuantity mi1{Q::MinusI, 1}, mi2{Q::MinusI, 2};
constexpr PortQuantity a1{Q::WaveIn, 1}, a2{Q::WaveIn, 2}, b1{Q::WaveOut, 1}, b2{Q::WaveOut, 2};

// The defining relations: numerator / denominator while the constraint is 0.
// The scattering chain rows follow from b1 = F11 a2 + F12 b2 and
// a1 = F21 a2 + F22 b2.
constexpr std::array<TwoPortRow, 32> kRows{{
    {"g11", "G11", 'g', false, i1, v1, i2},
    {"g12", "G12", 'g', false, i1, i2, v1},
    {"g21", "G21", 'g', false, v2, v1, i2},
    {"g22", "G22", 'g', false, v2, i2, v1},
    {"h11", "H11", 'h', false, v1, i1, v2},
    {"h12", "H12", 'h', false, v1, v2, i1},
    {"h21", "H21", 'h', false, i2, i1, v2},
    {"h22", "H22", 'h', false, i2, v2, i1},
    {"y11", "Y11", 'y', false, i1, v1, v2},
    {"y12", "Y12", 'y', false, i1, v2, v1},
    {"y21", "Y21", 'y', false, i2, v1, v2},
    {"y22", "Y22", 'y', false, i2, v2, v1},
    {"z11", "Z11", 'z', false, v1, i1, i2},
    {"z12", "Z12", 'z', false, v1, i2, i1},
    {"z21", "Z21", 'z', false, v2, i1, i2},
    {"z22", "Z22", 'z', false, v2, i2, i1},
    {"A", "A21", 'A', false, v1, v2, i2},
    {"B", "B21", 'B', false, v1, mi2, v2},
    {"C", "C21", 'C', false, i1, v2, i2},
    {"D", "D21", 'D', false, i1, mi2, v2},
    {"a", "a12", 'a', false, v2, v1, i1},
    {"b", "b12", 'b', false, v2, mi1, v1},
    {"c", "c12", 'c', false, i2, v1, i1},
    {"d", "d12", 'd', false, i2, mi1, v1},
    {"s11", "S11", 's', true, b1, a1, a2},
    {"s12", "S12", 's', true, b1, a2, a1},
    {"s21", "S21", 's', true, b2, a1, a2},
    {"s22", "S22", 's', true, b2, a2, a1},
    {"f11", "F11", 'F', true, b1, a2, b2},
    {"f12", "F12", 'F', true, b1, b2, a2},
    {"f21", "F21", 'F', true, a1, a2, b2},
    {"f22", "F22", 'F', true, a1, b2, a2},
}};
}  // namespace

const std::array<TwoPortRow, 32>& twoPortRows() { return kRows; }

int findRow(const std::string& word) {
  for (int row = 0; row < 32; ++row)
    if (word == kRows[static_cast<std::size_t>(row)].name) return row;
  for (int row = 0; row < 32; ++row)
    if (word == kRows[static_cast<std::size_t>(row)].alias) return row;
  return -1;
}

}  // namespace velkor::crosscheck

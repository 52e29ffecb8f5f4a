// The 32 two-port parameters by their physical definitions: each row says
// which port quantity is divided by which while a third is held at zero.
#pragma once

#include <array>
#include <string>

namespace velkor::crosscheck {

// A port quantity. Voltages are taken from the + to the - terminal of the
// port; currents enter the network at the + terminal. WaveIn and WaveOut are
// the incident and reflected waves a = (V + Z0 I)/2 and b = (V - Z0 I)/2.
enum class Quantity { V, I, MinusI, WaveIn, WaveOut };

struct PortQuantity {
  Quantity quantity;
  int port;  // 1 or 2
};

struct TwoPortRow {
  const char* name;       // primary p word
  const char* alias;      // alternative p word
  char letter;            // letter of the printed heading
  bool scattering;        // s and F rows: evaluated on the embedded network
  PortQuantity numerator;
  PortQuantity denominator;
  PortQuantity constraint;  // held at zero
};

// Rows in the order of the parameter table (also the order of printing:
// rows 24..31 are the scattering rows and come last).
const std::array<TwoPortRow, 32>& twoPortRows();

// Row index of a p word (primary names first, then aliases), or -1.
int findRow(const std::string& word);

}  // namespace velkor::crosscheck

// Times reading a deck of 10,000 elements: a subcircuit of a hundred RC
// sections, instanced fifty times in a chain, read, expanded and turned
// into the flat circuit that the store receives (the analysis then refuses
// it at its limits, which is not timed here).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "analysis/element_values.h"
#include "input/spice_deck_reader.h"

using namespace velkor;

namespace {

std::optional<long double> parse(std::string_view text) { return parseEngineeringNumber(text); }

}  // namespace

int main() {
  constexpr int kSections = 100, kInstances = 50;
  std::string deck = "long RC line\n.subckt line a b params: r=1k c=1n\n";
  for (int k = 1; k <= kSections; ++k) {
    const std::string from = k == 1 ? "a" : "n" + std::to_string(k - 1);
    const std::string to = k == kSections ? "b" : "n" + std::to_string(k);
    deck += "R" + std::to_string(k) + " " + from + " " + to + " {r}\n";
    deck += "C" + std::to_string(k) + " " + to + " 0 {c*2}\n";
  }
  deck += ".ends\nV1 t0 0 ac 1\n";
  for (int k = 1; k <= kInstances; ++k)
    deck += "X" + std::to_string(k) + " t" + std::to_string(k - 1) + " t" + std::to_string(k) + " line r=4k7\n";
  deck += ".print ac v(t" + std::to_string(kInstances) + ")\n.end\n";

  DeckSettings settings;
  settings.parse = parse;
  double best = 1e9;
  std::size_t elements = 0;
  for (int run = 0; run < 5; ++run) {
    auto start = std::chrono::steady_clock::now();
    DeckCircuit circuit = readDeck(deck, "line.cir", ".", settings);
    auto end = std::chrono::steady_clock::now();
    elements = circuit.elements.size();
    best = std::min(best, std::chrono::duration<double>(end - start).count());
  }
  std::printf("deck of %zu elements (%zu bytes): read and expanded in %.4f s (best of 5)\n", elements, deck.size(),
              best);
  return best < 0.1 ? 0 : 1;
}

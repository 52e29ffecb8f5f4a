// Puts a deck's flat circuit into the network store, as the netlist reader
// puts a netlist there: the element models, the limits checked after every
// element, the port, the reference edge and the branch maps.
#pragma once

#include <string>
#include <vector>

namespace velkor {

struct ReaderContext;
struct DeckCircuit;

// 0 when the deck is ready for analysis; 1 when a limit stopped it (the
// message has been printed and reported). `parameters` are the two-port
// parameters asked for by name (empty: all of them); each must be a name
// of the parameter table.
int loadDeck(ReaderContext& ctx, const DeckCircuit& deck, const std::vector<std::string>& parameters);

}  // namespace velkor

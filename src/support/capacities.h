// Every fixed capacity and input limit of velkor, in one place.
//
// Tables are indexed from 1; index 0 exists and is never used, so a table
// with "slots" N holds entries 1 .. N-1.
#pragma once

#include <cstddef>

namespace velkor {

// ---- Limits the netlist reader enforces after every entry (and prints). ----
constexpr int kMaxPassiveEdges = 60;  // reading stops when passiveCount reaches this
constexpr int kMaxActiveEdges = 30;   // ... activeCount reaches this
constexpr int kMaxNodes = 35;         // ... nodeCount reaches this
constexpr int kShownNameLimit = 90;   // shown in listings, never enforced

// ---- Node numbering. ----
constexpr int kMaxNodeLabel = 999;        // input labels 0 .. 999
constexpr int kFirstGeneratedLabel = 1000;
constexpr int kGeneratedNodeLimit = 43;   // newNode refuses at this count

// ---- Store tables (slot counts, index 0 included). ----
// The last entry before the reader stops may overshoot a limit by its own
// size: up to 63 passive edges, 35 active edges, 40 nodes and 98 names.
// The scattering embedding adds 8 passive, 4 active edges, 8 nodes and
// 12 names to an accepted netlist (at most 59, 29, 34 and 88), and the
// formula evaluator appends up to two port names after the last name.
constexpr int kPassiveEdgeSlots = 68;
constexpr int kActiveEdgeSlots = 36;  // room for an m entry at 29 active edges
constexpr int kNodeSlots = 44;        // nodeList; newNode may fill index 42
constexpr int kNameSlots = 104;       // branchNames; port names may use 101, 102
constexpr int kNameChars = 13;        // 12 characters and the terminator
constexpr int kMaxNameLength = 12;
constexpr int kWordCapacity = 128;    // readWord buffer of the reader

static_assert(kPassiveEdgeSlots > kMaxPassiveEdges + 2 + 8 - 3,
              "an accepted netlist plus the embedding fits the passive table");
static_assert(kActiveEdgeSlots > kMaxActiveEdges - 1 + 6,
              "an m entry at the active limit fits before it is refused");
static_assert(kNodeSlots > kGeneratedNodeLimit - 1, "newNode never writes past nodeList");

// ---- Parameters and topological functions. ----
constexpr int kParameterCount = 32;
constexpr int kTopofunCount = 6;

// ---- Graph pair and generator. ----
constexpr int kEdgeSlots = 104;       // edges 1 .. 102 (and a spare)
constexpr int kGraphNodeSlots = 44;   // nodes 1 .. 42 (M at most 42)
constexpr int kMaxGraphNodes = 42;
constexpr int kTreeSlots = 44;        // treeEdges, permutations, termEdges

static_assert(kEdgeSlots > (kMaxPassiveEdges - 1) + (kMaxActiveEdges - 1) + 12 + 2,
              "the largest embedded netlist with two port edges fits the graph pair");
static_assert(kNameSlots >= kEdgeSlots, "every edge's name slot has a map entry");

// ---- Polynomials. ----
constexpr int kSymbolSlots = 102;     // exponent vector length, symbols 0 .. 101
// Powers of s. Tree products have powers 0 .. 41, but the ohm-unit conversion
// can raise a term's power up to the number of reactive edges of the
// network (at most 71 after the scattering embedding), so the columns go on
// past 42 and every loop over powers covers all of them.
constexpr int kPowerColumns = 128;
static_assert(kPowerColumns > kPassiveEdgeSlots, "every reachable power has a column");
constexpr int kInitialTermCapacity = 4386;  // 102 x 43
constexpr int kInitialPolyRows = 102;
constexpr int kPolySlots = 8;         // six functions, numerator and denominator copies
constexpr int kNumeratorSlot = 6;
constexpr int kDenominatorSlot = 7;

// Size of one term as the growth trace reports it (102 exponents,
// coefficient, inverted flag: 104 words of 4 bytes).
constexpr std::size_t kTermElementSize = 416;
// Size of one poly row as the growth trace reports it (43 words).
constexpr std::size_t kPolyRowElementSize = 172;

}  // namespace velkor

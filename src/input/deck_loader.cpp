// The echo of a deck is what the store receives, in the netlist language's
// layout: the node labels given to the deck's node names, then one line an
// element (its symbol and labels), the port designator and the parameters.
// The models of the elements are those of the netlist reader:
//   r, c, l, g  passive name(n1, n2)
//   gm          active  name(+out, -out, +in, -in)
//   u           active  name(G1, -out, +in, -in), o(+out, -out, -out, G1); passive a(G1, +out)
//   b           active  name(-out, +out, G1, -in), o(G1, -in, -in, +in); passive a(+in, G1)
//   rm          passive name(+in, G1); active a(G2, -out, -in, G1), o(+out, -out, -out, G2),
//               o(G1, -in, -in, +in); passive a(+out, G2)
//   m           the two coupled halves of the mutual inductance
#include "input/deck_loader.h"

#include <cstring>

#include "input/deck_circuit.h"
#include "input/netlist_checks.h"
#include "input/node_numbering.h"
#include "input/reader_context.h"
#include "model/branch_maps.h"
#include "model/internal_listing.h"
#include "model/parameter_table.h"

namespace velkor {

namespace {

class DeckBuilder {
 public:
  DeckBuilder(ReaderContext& ctx, const DeckCircuit& deck) : ctx_(ctx), s_(ctx.store), deck_(deck) {
    labels_.assign(deck.nodeNames.size(), -1);
    labels_[0] = 0;
  }

  // The label of a deck node, given in order of first use (ground is 0).
  int label(int node) {
    int& l = labels_[static_cast<std::size_t>(node)];
    if (l < 0) l = ++lastLabel_;
    return l;
  }
  SourcePosition position(const DeckPlace& at) const {
    return SourcePosition{deck_.files[static_cast<std::size_t>(at.file)].c_str(), at.line, at.column};
  }
  int node(int deckNode, const SourcePosition& at) { return lookupNode(ctx_, label(deckNode), &at); }
  int generated(const SourcePosition& at) { return newNode(ctx_, &at); }

  int takeName(const char* text) {
    if (s_.nameCount + 1 >= kNameSlots) return s_.nameCount;
    ++s_.nameCount;
    std::strncpy(s_.branchNames[s_.nameCount], text, kNameChars - 1);
    s_.branchNames[s_.nameCount][kNameChars - 1] = 0;
    return s_.nameCount;
  }
  int userName(const DeckElement& e, const SourcePosition& at) {
    const int slot = takeName(e.symbol.c_str());
    if (slot < kNameSlots) {
      ctx_.marks.nameAt[slot] = at;
      std::strncpy(ctx_.marks.fullName[slot], e.symbol.c_str(), kWordCapacity - 1);
    }
    return slot;
  }
  void passive(int name, int n1, int n2) {
    if (s_.passiveCount + 1 >= kPassiveEdgeSlots) return;
    s_.passiveEdges[++s_.passiveCount] = PassiveEdge{name, n1, n2};
  }
  void active(int name, int outPlus, int outMinus, int inPlus, int inMinus) {
    if (s_.activeCount + 1 >= kActiveEdgeSlots) return;
    s_.activeEdges[++s_.activeCount] = ActiveEdge{name, outPlus, outMinus, inPlus, inMinus};
  }
  void nullor(int outPlus, int outMinus, int inPlus, int inMinus) {
    active(takeName("o"), outPlus, outMinus, inPlus, inMinus);
    ++s_.opampcnt;
  }
  void unit(int n1, int n2) { passive(takeName("a"), n1, n2); }

  void element(const DeckElement& e) {
    const SourcePosition at = position(e.at);
    const bool twoTerminal = e.kind == DeckKind::kResistor || e.kind == DeckKind::kCapacitor ||
                             e.kind == DeckKind::kInductor || e.kind == DeckKind::kConductance;
    ctx_.out.print("%s", e.symbol.c_str());
    for (int k = 0; k < (twoTerminal ? 2 : 4); ++k) ctx_.out.print(" %d", label(e.nodes[k]));
    ctx_.out.print("\n");
    if (twoTerminal) {
      const int name = userName(e, at);
      const int n1 = node(e.nodes[0], at);
      passive(name, n1, node(e.nodes[1], at));
      return;
    }
    const int outPlus = node(e.nodes[0], at);
    const int outMinus = node(e.nodes[1], at);
    const int inPlus = node(e.nodes[2], at);
    const int inMinus = node(e.nodes[3], at);
    switch (e.kind) {
      case DeckKind::kVccs:
        active(userName(e, at), outPlus, outMinus, inPlus, inMinus);
        break;
      case DeckKind::kVcvs: {
        const int g1 = generated(at);
        active(userName(e, at), g1, outMinus, inPlus, inMinus);
        nullor(outPlus, outMinus, outMinus, g1);
        unit(g1, outPlus);
        break;
      }
      case DeckKind::kCccs: {
        const int g1 = generated(at);
        active(userName(e, at), outMinus, outPlus, g1, inMinus);
        nullor(g1, inMinus, inMinus, inPlus);
        unit(inPlus, g1);
        break;
      }
      case DeckKind::kCcvs: {
        const int g1 = generated(at);
        const int g2 = generated(at);
        passive(userName(e, at), inPlus, g1);
        active(takeName("a"), g2, outMinus, inMinus, g1);
        nullor(outPlus, outMinus, outMinus, g2);
        nullor(g1, inMinus, inMinus, inPlus);
        unit(outPlus, g2);
        break;
      }
      case DeckKind::kMutual: {
        int g[6];
        for (int& n : g) n = generated(at);
        // g[0..5] stand for the reader's G1, G2, G3, G4, G5, G6.
        passive(userName(e, at), inPlus, g[2]);
        active(takeName("a"), g[3], g[1], g[0], g[2]);
        nullor(outPlus, g[1], g[1], g[3]);
        nullor(g[2], g[0], g[0], inPlus);
        unit(outPlus, g[3]);
        passive(userName(e, at), g[1], g[4]);
        active(takeName("a"), g[5], inMinus, outMinus, g[4]);
        nullor(g[0], inMinus, inMinus, g[5]);
        nullor(g[4], outMinus, outMinus, g[1]);
        unit(g[0], g[5]);
        break;
      }
      default:
        break;
    }
  }

  // The message of the first count at its limit; true when loading stops.
  bool limitReached(const SourcePosition& at) {
    const char* tail = " or improper input applied\n";
    if (s_.passiveCount >= kMaxPassiveEdges) {
      reportError(ctx_, at, "number of one-port elements(= %d) exceeds limit of %d\n%s", s_.passiveCount,
                  kMaxPassiveEdges - 1, tail);
      return true;
    }
    if (s_.activeCount >= kMaxActiveEdges) {
      reportError(ctx_, at, "number of two-port elements(= %d) exceeds limit of %d\n%s", s_.activeCount,
                  kMaxActiveEdges - 1, tail);
      return true;
    }
    if (s_.nodeCount >= kMaxNodes) {
      reportError(ctx_, at, "number of nodes(= %d) exceeds limit of %d\n%s", s_.nodeCount, kMaxNodes - 1, tail);
      return true;
    }
    return false;
  }

  void legend() {
    ctx_.out.print("nodes:");
    std::vector<std::size_t> byLabel(static_cast<std::size_t>(lastLabel_) + 1, 0);
    for (std::size_t n = 0; n < labels_.size(); ++n)
      if (labels_[n] >= 0) byLabel[static_cast<std::size_t>(labels_[n])] = n;
    for (std::size_t l = 0; l < byLabel.size(); ++l)
      ctx_.out.print(" %d=%s", static_cast<int>(l), deck_.nodeNames[byLabel[l]].c_str());
    ctx_.out.print("\n");
  }

 private:
  ReaderContext& ctx_;
  NetworkStore& s_;
  const DeckCircuit& deck_;
  std::vector<int> labels_;
  int lastLabel_ = 0;
};

}  // namespace

int loadDeck(ReaderContext& ctx, const DeckCircuit& deck, const std::vector<std::string>& parameters) {
  NetworkStore& s = ctx.store;
  InputMarks& marks = ctx.marks;
  ctx.out.print("\ninput data:\n");
  s.reset();
  marks = InputMarks{};
  marks.started = true;
  DeckBuilder b(ctx, deck);
  const SourcePosition start = b.position(DeckPlace{0, 1, 1});
  marks.netlistAt = start;
  ctx.out.print("%s%s\n", deck.title.rfind('*', 0) == 0 ? "" : "* ", deck.title.c_str());
  // The port terminals take the first labels, so that the headings read
  // ( 1, 0; 2, 0) as for a netlist written by hand.
  for (int k = 0; k < 4; ++k) b.label(deck.ports[k]);
  for (const DeckElement& e : deck.elements) {
    b.element(e);
    if (b.limitReached(b.position(e.at))) return 1;
  }
  const SourcePosition portAt = b.position(deck.portsAt);
  ctx.out.print("f");
  for (int k = 0; k < 4; ++k) {
    s.portLabels[k] = b.label(deck.ports[k]);
    ctx.out.print(" %d", s.portLabels[k]);
    marks.portAt[k] = portAt;
    s.portNodes[k] = lookupNode(ctx, s.portLabels[k], &portAt);
  }
  ctx.out.print("\n");
  if (b.limitReached(portAt)) return 1;
  if (!parameters.empty()) {
    for (int& flag : s.requestFlags) flag = 0;
    for (const std::string& name : parameters) {
      const int row = findParameter(name.c_str());
      if (row >= 0) s.requestFlags[row] = 1;
      ctx.out.print("p %s\n", name.c_str());
    }
  }
  b.legend();
  ctx.out.print("e");
  // The reference edge, as the end entry adds it.
  std::strcpy(s.branchNames[1], "x");
  s.passiveEdges[1] = PassiveEdge{1, s.nodeCount + 1, 1};
  ++s.nodeCount;
  marks.endAt = portAt;
  ctx.out.print("\n\n");
  checkConnections(ctx);
  s.analysisPassiveCount = s.passiveCount;
  s.treeSize = s.nodeCount - 1;
  buildBranchMaps(ctx.out, ctx.store, ctx.maps);
  return 0;
}

}  // namespace velkor

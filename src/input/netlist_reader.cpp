// Reads one netlist: echoes it, expands every element into the edges of the
// two-graph model, checks the limits after every entry and, at the end
// entry, adds the reference edge, builds the branch maps and prints the
// listings the t entry asked for.
//
// Element models (G1, G2, ... are generated nodes, "o" a nullor edge, "a" a
// unit branch; every edge takes the next name slot, in the order below):
//   one-port   passive name(n1, n2)
//   gm, o      active  name(+out, -out, +in, -in)
//   gy         active  name(+out, -out, +in, -in), copy(-in, +in, +out, -out)
//   u          active  name(G1, -out, +in, -in), o(+out, -out, -out, G1);
//              passive a(G1, +out)
//   b          active  name(-out, +out, G1, -in), o(G1, -in, -in, +in);
//              passive a(+in, G1)
//   rm         passive name(+in, G1); active a(G2, -out, -in, G1),
//              o(+out, -out, -out, G2), o(G1, -in, -in, +in); passive a(+out, G2)
//   m          ten edges over six generated nodes, see expandTwoPort
#include "input/netlist_reader.h"

#include <cstring>

#include "input/coupled_coils_check.h"
#include "input/help_text.h"
#include "input/netlist_checks.h"
#include "input/node_numbering.h"
#include "input/reader_context.h"
#include "input/token_reader.h"
#include "model/branch_maps.h"
#include "model/internal_listing.h"
#include "model/parameter_table.h"

namespace velkor {

namespace {

// Largest growth of each table by one entry (the m entry), and the largest
// counts before an entry that the limit checks let through. The last entry
// may overshoot a limit by its own size; these keep it inside the tables.
constexpr int kEntryNames = 10;
constexpr int kEntryPassive = 4;
constexpr int kEntryActive = 6;
static_assert(kMaxPassiveEdges - 1 + kEntryPassive < kPassiveEdgeSlots, "passive table overflow");
static_assert(kMaxActiveEdges - 1 + kEntryActive < kActiveEdgeSlots, "active table overflow");
static_assert(1 + (kMaxPassiveEdges - 2) + (kMaxActiveEdges - 1) + kEntryNames < kNameSlots,
              "name table overflow");
static_assert(kMaxNameLength < kNameChars, "a name and its terminator fit a slot");

enum class EntryKind {
  kOnePort,
  kTransconductance,  // gm
  kTransresistance,   // rm
  kOpamp,             // o
  kVoltageGain,       // u
  kCurrentGain,       // b
  kMutualInductance,  // m
  kGyrator,           // gy
  kPort,              // f
  kParameter,         // p
  kNormalization,     // n
  kEnd,               // e
  kHelp,              // h
  kTrace,             // t
  kUnknown,
};

bool oneOf(char c, const char* set) { return c != 0 && std::strchr(set, c) != nullptr; }

// Only the first one or two characters decide: gmax is a gm, rmain an rm,
// exit an end entry, gx a conductance.
EntryKind classify(const char* word) {
  char c0 = word[0];
  char c1 = c0 != 0 ? word[1] : 0;
  if ((oneOf(c0, "gGrR") && oneOf(c1, "mM")) || oneOf(c0, "oOuUbB")) {
    switch (c0) {
      case 'g': case 'G': return EntryKind::kTransconductance;
      case 'r': case 'R': return EntryKind::kTransresistance;
      case 'o': case 'O': return EntryKind::kOpamp;
      case 'u': case 'U': return EntryKind::kVoltageGain;
      default: return EntryKind::kCurrentGain;
    }
  }
  if (oneOf(c0, "mM")) return EntryKind::kMutualInductance;
  if (oneOf(c0, "gG") && oneOf(c1, "yY")) return EntryKind::kGyrator;
  if (oneOf(c0, "fF")) return EntryKind::kPort;
  if (oneOf(c0, "pP")) return EntryKind::kParameter;
  if (oneOf(c0, "rRlLcCgGyYzZ")) return EntryKind::kOnePort;
  if (oneOf(c0, "nN")) return EntryKind::kNormalization;
  if (oneOf(c0, "eE")) return EntryKind::kEnd;
  if (oneOf(c0, "hH")) return EntryKind::kHelp;
  if (oneOf(c0, "tT")) return EntryKind::kTrace;
  return EntryKind::kUnknown;
}

// Copies at most kMaxNameLength characters of `name` into a name slot.
void setName(char (&slot)[kNameChars], const char* name) {
  std::size_t n = std::strlen(name);
  if (n > static_cast<std::size_t>(kMaxNameLength)) n = kMaxNameLength;
  std::memcpy(slot, name, n);
  slot[n] = 0;
}

// An element entry as read: its word, as written and as kept, where it
// lies, and its node labels with theirs.
struct ElementEntry {
  const char* fullWord;
  const char* word;
  SourcePosition at;
  int label[4];
  SourcePosition labelAt[4];
};

// Appends edges and names to the store. Every append is checked against the
// table size; the limits keep an accepted entry far below it, so a refused
// append would only drop a record of a netlist that is refused anyway.
class Builder {
 public:
  Builder(ReaderContext& ctx, const ElementEntry& entry) : ctx_(ctx), s_(ctx.store), entry_(entry) {}

  // Takes the next name slot with the given text and returns its index.
  int takeName(const char* text) {
    if (s_.nameCount + 1 >= kNameSlots) return s_.nameCount;
    ++s_.nameCount;
    setName(s_.branchNames[s_.nameCount], text);
    return s_.nameCount;
  }
  // Takes a slot for the user's name, remembering where it was written.
  int userName() {
    const int slot = takeName(entry_.word);
    if (slot >= kNameSlots) return slot;
    ctx_.marks.nameAt[slot] = entry_.at;
    setText(ctx_.marks.fullName[slot], entry_.fullWord);
    checkElementName(ctx_, slot);
    return slot;
  }

  void passive(int name, int node1, int node2) {
    if (s_.passiveCount + 1 >= kPassiveEdgeSlots) return;
    ++s_.passiveCount;
    s_.passiveEdges[s_.passiveCount] = PassiveEdge{name, node1, node2};
  }
  void active(int name, int outPlus, int outMinus, int inPlus, int inMinus) {
    if (s_.activeCount + 1 >= kActiveEdgeSlots) return;
    ++s_.activeCount;
    s_.activeEdges[s_.activeCount] = ActiveEdge{name, outPlus, outMinus, inPlus, inMinus};
  }
  // A nullor edge: counted for the tree enumeration.
  void nullor(int outPlus, int outMinus, int inPlus, int inMinus) {
    active(takeName("o"), outPlus, outMinus, inPlus, inMinus);
    ++s_.opampcnt;
  }
  void unitPassive(int node1, int node2) { passive(takeName("a"), node1, node2); }

  // The internal node of the entry's k-th label.
  int node(int k) { return lookupNode(ctx_, entry_.label[k], &entry_.labelAt[k]); }
  int generated() { return newNode(ctx_, &entry_.at); }

 private:
  static void setText(char (&slot)[kWordCapacity], const char* text) {
    std::size_t n = std::strlen(text);
    if (n >= kWordCapacity) n = kWordCapacity - 1;
    std::memcpy(slot, text, n);
    slot[n] = 0;
  }

  ReaderContext& ctx_;
  NetworkStore& s_;
  const ElementEntry& entry_;
};

// Reads `count` numbers, printing each and noting where each was written
// (when `at` is given); the count read, which is less than `count` when
// input ends first.
int readNumbers(ReaderContext& ctx, int* values, int count, NumberRole role, SourcePosition* at = nullptr) {
  for (int i = 0; i < count; ++i) {
    // Node labels saturate instead of wrapping, so that no label past 32
    // bits wraps into the range of valid ones.
    const NumberRange range = role == NumberRole::kNodeLabel ? NumberRange::kSaturate : NumberRange::kWrap;
    if (readNumber(ctx, &values[i], range) != 0) return i;
    ctx.out.print("%u", static_cast<unsigned>(values[i]));
    if (at != nullptr) at[i] = ctx.token.at;
    checkNumber(ctx, role, values[i]);
  }
  return count;
}

// Expands a two-port entry whose four numbers are +out, -out, +in, -in.
// Node lookups and generated nodes are made in each model's fixed order,
// which decides the internal numbering.
void expandTwoPort(ReaderContext& ctx, EntryKind kind, const ElementEntry& entry) {
  Builder b(ctx, entry);
  switch (kind) {
    case EntryKind::kTransconductance:
    case EntryKind::kOpamp: {
      int outPlus = b.node(0);
      int outMinus = b.node(1);
      int inPlus = b.node(2);
      int inMinus = b.node(3);
      b.active(b.userName(), outPlus, outMinus, inPlus, inMinus);
      if (kind == EntryKind::kOpamp) ++ctx.store.opampcnt;
      break;
    }
    case EntryKind::kGyrator: {
      int outPlus = b.node(0);
      int outMinus = b.node(1);
      int inPlus = b.node(2);
      int inMinus = b.node(3);
      b.active(b.userName(), outPlus, outMinus, inPlus, inMinus);
      b.active(b.userName(), inMinus, inPlus, outPlus, outMinus);
      break;
    }
    case EntryKind::kVoltageGain: {
      int g1 = b.generated();
      int outMinus = b.node(1);
      int inPlus = b.node(2);
      int inMinus = b.node(3);
      int outPlus = b.node(0);
      b.active(b.userName(), g1, outMinus, inPlus, inMinus);
      b.nullor(outPlus, outMinus, outMinus, g1);
      b.unitPassive(g1, outPlus);
      break;
    }
    case EntryKind::kCurrentGain: {
      int outMinus = b.node(1);
      int outPlus = b.node(0);
      int g1 = b.generated();
      int inMinus = b.node(3);
      int inPlus = b.node(2);
      b.active(b.userName(), outMinus, outPlus, g1, inMinus);
      b.nullor(g1, inMinus, inMinus, inPlus);
      b.unitPassive(inPlus, g1);
      break;
    }
    case EntryKind::kTransresistance: {
      int inPlus = b.node(2);
      int g1 = b.generated();
      int g2 = b.generated();
      int outMinus = b.node(1);
      int inMinus = b.node(3);
      int outPlus = b.node(0);
      b.passive(b.userName(), inPlus, g1);
      b.active(b.takeName("a"), g2, outMinus, inMinus, g1);
      b.nullor(outPlus, outMinus, outMinus, g2);
      b.nullor(g1, inMinus, inMinus, inPlus);
      b.unitPassive(outPlus, g2);
      break;
    }
    case EntryKind::kMutualInductance: {
      // Two coupled halves, each a passive edge carrying the user's name
      // (so the symbol is an inductance), a unit transconductance, two
      // nullors and a unit branch.
      int g1 = b.generated();
      int g2 = b.generated();
      int inPlus = b.node(2);
      int g3 = b.generated();
      int g4 = b.generated();
      int outPlus = b.node(0);
      int g5 = b.generated();
      int g6 = b.generated();
      int inMinus = b.node(3);
      int outMinus = b.node(1);
      const int firstHalf = b.userName();
      b.passive(firstHalf, inPlus, g3);
      b.active(b.takeName("a"), g4, g2, g1, g3);
      b.nullor(outPlus, g2, g2, g4);
      b.nullor(g3, g1, g1, inPlus);
      b.unitPassive(outPlus, g4);
      b.passive(b.userName(), g2, g5);
      b.active(b.takeName("a"), g6, inMinus, outMinus, g5);
      b.nullor(g1, inMinus, inMinus, g6);
      b.nullor(g5, outMinus, outMinus, g2);
      b.unitPassive(g1, g6);
      noteMutualEntry(ctx, firstHalf, {outPlus, outMinus, inPlus, inMinus});
      break;
    }
    default:
      break;
  }
}

// Prints the limit message of the first count that has reached its limit
// (reported at the entry `at`); true when reading must stop.
bool limitReached(ReaderContext& ctx, const SourcePosition& at) {
  const NetworkStore& s = ctx.store;
  const char* tail = " or improper input applied\n";
  if (s.passiveCount >= kMaxPassiveEdges) {
    reportError(ctx, at, "number of one-port elements(= %d) exceeds limit of %d\n%s", s.passiveCount,
                kMaxPassiveEdges - 1, tail);
    return true;
  }
  if (s.activeCount >= kMaxActiveEdges) {
    reportError(ctx, at, "number of two-port elements(= %d) exceeds limit of %d\n%s", s.activeCount,
                kMaxActiveEdges - 1, tail);
    return true;
  }
  if (s.nodeCount >= kMaxNodes) {
    reportError(ctx, at, "number of nodes(= %d) exceeds limit of %d\n%s", s.nodeCount, kMaxNodes - 1, tail);
    return true;
  }
  return false;
}

void printResourceListing(ReaderContext& ctx) {
  const NetworkStore& s = ctx.store;
  ctx.out.print(" currently configured resource limits:\n");
  ctx.out.print("branch name list limit:%d, used:%d\n", kShownNameLimit, s.nameCount);
  ctx.out.print("node list limit:%d, used:%d\n", kMaxNodes, s.nodeCount);
  ctx.out.print("passive edges limit:%d, used:%d\n", kMaxPassiveEdges, s.passiveCount);
  ctx.out.print("active edges limit:%d, used:%d\n", kMaxActiveEdges, s.activeCount);
}

}  // namespace

int readNetlist(ReaderContext& ctx) {
  NetworkStore& s = ctx.store;
  InputMarks& marks = ctx.marks;
  ctx.out.print("\ninput data:\n");
  s.reset();
  marks = InputMarks{};
  bool portSeen = false;
  bool parameterSeen = false;
  bool more = true;
  char fullWord[kWordCapacity];
  char word[kWordCapacity];
  int length = 0;
  // The element entry before this one, whose nodes a value would follow.
  char previousElement[kNameChars] = {};

  while (more) {
    if (readWord(ctx, &length, kWordCapacity, word) != 0) {
      reportCutShort(ctx, nullptr, ctx.token.at, 0, 0);
      return 1;
    }
    ElementEntry entry{fullWord, word, ctx.token.at, {}, {}};
    if (!marks.started) marks.netlistAt = entry.at;
    marks.started = true;
    std::memcpy(fullWord, word, sizeof word);
    if (static_cast<int>(std::strlen(word)) > kMaxNameLength) {
      ctx.out.print("following branch name was truncated to %d characters:\n", kMaxNameLength);
      word[kMaxNameLength] = 0;
      ctx.diag.error(entry.at, "following branch name was truncated to %d characters: '%s' is read as '%s'",
                     kMaxNameLength, fullWord, word);
    }
    // The word waits in the scratch slot after the last name until the
    // entry turns out to be an element that keeps it.
    if (s.nameCount + 1 < kNameSlots) setName(s.branchNames[s.nameCount + 1], word);
    ctx.out.print("%s", word);

    EntryKind kind = classify(word);
    checkEntryWord(ctx, word, previousElement[0] != 0 ? previousElement : nullptr);
    previousElement[0] = 0;
    switch (kind) {
      case EntryKind::kUnknown:
        ctx.out.print("unrecognized element prefix-- '%s': must be r,l,c,g,y,z,gm,gy,o,u,b,rm,m,n,f,e\n", word);
        ctx.out.print("h as input prints help\n");
        ctx.diag.error(entry.at, "unrecognized element prefix-- '%s': must be r,l,c,g,y,z,gm,gy,o,u,b,rm,m,n,f,e; "
                       "h as input prints help", word);
        return 1;
      case EntryKind::kOnePort: {
        const int read = readNumbers(ctx, entry.label, 2, NumberRole::kNodeLabel, entry.labelAt);
        if (read != 2) {
          reportCutShort(ctx, word, entry.at, read, 2);
          return 1;
        }
        Builder b(ctx, entry);
        int name = b.userName();
        int node1 = b.node(0);
        int node2 = b.node(1);
        b.passive(name, node1, node2);
        setName(previousElement, word);
        break;
      }
      case EntryKind::kTransconductance:
      case EntryKind::kTransresistance:
      case EntryKind::kOpamp:
      case EntryKind::kVoltageGain:
      case EntryKind::kCurrentGain:
      case EntryKind::kMutualInductance:
      case EntryKind::kGyrator: {
        const int read = readNumbers(ctx, entry.label, 4, NumberRole::kNodeLabel, entry.labelAt);
        if (read != 4) {
          reportCutShort(ctx, word, entry.at, read, 4);
          return 1;
        }
        checkTwoPortLines(ctx, word, entry.at, entry.labelAt);
        expandTwoPort(ctx, kind, entry);
        setName(previousElement, word);
        break;
      }
      case EntryKind::kPort: {
        if (portSeen) {
          reportError(ctx, entry.at, "error-- more than one port indicator is used\n");
          return 1;
        }
        portSeen = true;
        const int read = readNumbers(ctx, s.portLabels, 4, NumberRole::kNodeLabel, marks.portAt);
        if (read != 4) {
          reportCutShort(ctx, word, entry.at, read, 4);
          return 1;
        }
        for (int i = 0; i < 4; ++i) s.portNodes[i] = lookupNode(ctx, s.portLabels[i], &marks.portAt[i]);
        break;
      }
      case EntryKind::kParameter: {
        if (!parameterSeen) {
          for (int& flag : s.requestFlags) flag = 0;
          parameterSeen = true;
        }
        if (readWord(ctx, &length, kWordCapacity, word) != 0) {
          reportCutShort(ctx, fullWord, entry.at, 0, 1);
          return 1;
        }
        ctx.out.print("%s", word);
        int row = findParameter(word);
        if (row >= 0)
          s.requestFlags[row] = 1;
        else
          reportError(ctx, ctx.token.at, " %s does not match the list of parameter names, see help info.\n", word);
        break;
      }
      case EntryKind::kNormalization:
        if (readNumbers(ctx, &s.normalization, 1, NumberRole::kNormalization) != 1) {
          reportCutShort(ctx, word, entry.at, 0, 1);
          return 1;
        }
        break;
      case EntryKind::kTrace:
        if (readNumbers(ctx, &s.traceBits, 1, NumberRole::kTraceBits) != 1) {
          reportCutShort(ctx, word, entry.at, 0, 1);
          return 1;
        }
        break;
      case EntryKind::kHelp:
        printHelp(ctx);
        return 1;
      case EntryKind::kEnd:
        // The reference edge joins a fresh auxiliary node, the highest
        // numbered one, to internal node 1; it has no label of its own.
        setName(s.branchNames[1], "x");
        s.passiveEdges[1] = PassiveEdge{1, s.nodeCount + 1, 1};
        ++s.nodeCount;
        marks.endAt = entry.at;
        more = false;
        break;
    }
    if (limitReached(ctx, entry.at)) return 1;
  }

  ctx.out.print("\n\n");
  if (!portSeen) {
    ctx.out.print("please provide a port node indication: f (lower case or upper case),\n");
    ctx.out.print(
        "whitespace, +port1 node#, whitespace, -port1 node#, whitespace, +port2 node#, whitespace, "
        "-port2 node#\n\r");
    ctx.out.print("example:\n");
    ctx.out.print("f 1 0 2 4\n");
    ctx.diag.error(marks.endAt, "this netlist has no port designator: write f +port1 -port1 +port2 -port2 before "
                   "'end', for example f 1 0 2 4");
    return 1;
  }
  checkConnections(ctx);
  checkCoilsAcrossWindings(ctx);
  if (ctx.traced(kTraceResources)) printResourceListing(ctx);
  s.analysisPassiveCount = s.passiveCount;
  s.treeSize = s.nodeCount - 1;
  buildBranchMaps(ctx.out, ctx.store, ctx.maps);
  if (ctx.traced(kTraceDump)) printInternalRepresentation(ctx.out, ctx.store, false);
  return 0;
}

}  // namespace velkor

#include "input/netlist_checks.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "input/reader_context.h"

namespace velkor {

namespace {

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
bool isLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool equalIgnoringCase(const char* a, const char* b) {
  for (; *a != 0 && *b != 0; ++a, ++b)
    if (lower(*a) != lower(*b)) return false;
  return *a == *b;
}

// A number as a circuit simulator writes an element value: digits with an
// optional sign, point and exponent, then a scale suffix and perhaps a unit
// (10k, 4.7u, 2.2uF, 1meg, 1e3); a bare integer does not count.
bool looksLikeValue(const char* word) {
  const char* p = word;
  if (*p == '+' || *p == '-') ++p;
  int digits = 0;
  bool point = false;
  while (isDigit(*p) || (*p == '.' && !point)) {
    if (*p == '.') point = true;
    else ++digits;
    ++p;
  }
  if (digits == 0) return false;
  bool exponent = false;
  if (lower(*p) == 'e' && (isDigit(p[1]) || ((p[1] == '+' || p[1] == '-') && isDigit(p[2])))) {
    p += 2;
    while (isDigit(*p)) ++p;
    exponent = true;
  }
  if (*p == 0) return point || exponent;
  if (std::strchr("fpnumkgtFPNUMKGT", *p) == nullptr) return false;
  for (; *p != 0; ++p)
    if (!isLetter(*p)) return false;
  return true;
}

// The name with a separator after its kind letter: a name that no longer
// begins with two letters that choose another kind.
void renamed(const char* word, char (&out)[kNameChars + 1]) {
  out[0] = word[0];
  out[1] = '_';
  std::size_t n = 2;
  for (const char* p = word + 1; *p != 0 && n < kNameChars; ++p) out[n++] = *p;
  out[n] = 0;
}

// The shown text of the token just read, marked when it was cut.
const char* cutMark(const TokenRecord& t) { return t.textCut ? "..." : ""; }

}  // namespace

void checkNumber(ReaderContext& ctx, NumberRole role, int value) {
  const TokenRecord& t = ctx.token;
  if (t.plainNumber) return;
  const unsigned read = static_cast<unsigned>(value);
  const char* what = role == NumberRole::kNodeLabel      ? "node label"
                     : role == NumberRole::kNormalization ? "normalization"
                                                          : "trace bits";
  char meaning[64] = "";
  if (role == NumberRole::kNormalization)
    std::snprintf(meaning, sizeof meaning, " (%s normalization)", read == 0 ? "Y0" : read == 1 ? "Z0" : "unity");
  const char* hint = role == NumberRole::kNodeLabel      ? "write labels as numbers from 0 to 999"
                     : role == NumberRole::kNormalization ? "write n 0 (Y0), n 1 (Z0) or n 2 (unity)"
                                                          : "write the sum of the listings' bits, for example t 65";
  if (t.spansWords) {
    // The first word had no digit: show it apart from the words the
    // digits came from.
    const char* gap = std::strchr(t.text, ' ');
    const int firstLength = gap != nullptr ? static_cast<int>(gap - t.text) : t.textLength;
    ctx.diag.warning(t.at, "'%.*s' is not a %s: velkor reads numbers from their digits alone and took %u%s from "
                     "the words after it ('%s%s'); %s, and check that the entry is complete", firstLength, t.text,
                     what, read, meaning, gap != nullptr ? gap + 1 : "", cutMark(t), hint);
    return;
  }
  ctx.diag.warning(t.at, "%s '%s%s' is not a plain number: velkor reads numbers from their digits alone and took "
                   "%u%s; %s", what, t.text, cutMark(t), read, meaning, hint);
}

void checkEntryWord(ReaderContext& ctx, const char* word, const char* previousElement) {
  const SourcePosition& at = ctx.token.at;
  if (previousElement != nullptr && looksLikeValue(word)) {
    ctx.diag.warning(at, "'%s' after the nodes of '%s' looks like an element value: a netlist gives no values, "
                     "each element is the symbol its name makes; remove the value", word, previousElement);
    return;
  }
  const char c0 = lower(word[0]);
  const char c1 = c0 != 0 ? lower(word[1]) : 0;
  if (c1 == 0) return;  // the one-letter keywords
  switch (c0) {
    case 'e':
      if (equalIgnoringCase(word, "end")) return;
      ctx.diag.warning(at, "'%s' is the end entry: every word that begins with 'e' ends the netlist; a "
                       "voltage-controlled voltage source is written 'u.. +out -out +in -in'", word);
      break;
    case 'h':
      if (equalIgnoringCase(word, "help")) return;
      ctx.diag.warning(at, "'%s' is the help entry: every word that begins with 'h' prints the manual and ends the "
                       "run; a current-controlled voltage source is written 'rm.. +out -out +in -in'", word);
      break;
    case 'f':
      ctx.diag.warning(at, "'%s' is the port designator f +port1 -port1 +port2 -port2 (every word that begins "
                       "with 'f'); a current-controlled current source is written 'b.. +out -out +in -in'", word);
      break;
    case 't':
      ctx.diag.warning(at, "'%s' is the trace entry t BITS (every word that begins with 't'), which takes the "
                       "next number; there are no transmission lines", word);
      break;
    case 'n':
      ctx.diag.warning(at, "'%s' is the normalization entry n 0|1|2 (every word that begins with 'n'), which "
                       "takes the next number", word);
      break;
    case 'p':
      ctx.diag.warning(at, "'%s' is a parameter request p NAME (every word that begins with 'p'), which takes "
                       "the next word", word);
      break;
    default:
      break;
  }
}

void checkTwoPortLines(ReaderContext& ctx, const char* word, const SourcePosition& at,
                       const SourcePosition (&labelAt)[4]) {
  const char c0 = lower(word[0]);
  const char c1 = c0 != 0 ? lower(word[1]) : 0;
  if (labelAt[2].line == at.line || !((c0 == 'r' || c0 == 'g') && (c1 == 'm' || (c0 == 'g' && c1 == 'y')))) return;
  char better[kNameChars + 1];
  renamed(word, better);
  const char* kind = c0 == 'r'   ? "a current-controlled voltage source"
                     : c1 == 'm' ? "a voltage-controlled current source"
                                 : "a gyrator";
  const char* meant = c0 == 'r' ? "resistor" : "conductance";
  ctx.diag.warning(at, "'%s' begins with '%c%c', so it is %s with four nodes (+out -out +in -in) and took its "
                   "third and fourth from the next line; a %s's name must not begin with '%c%c' (for example '%s')",
                   word, word[0], word[1], kind, meant, word[0], word[1], better);
}

void checkElementName(ReaderContext& ctx, int slot) {
  const NetworkStore& s = ctx.store;
  const InputMarks& m = ctx.marks;
  if (slot < 2 || slot >= kNameSlots) return;
  const char* full = m.fullName[slot];
  for (int k = 2; k < slot; ++k) {
    const char* other = m.fullName[k];
    if (other[0] == 0 || std::strcmp(other, full) == 0) continue;
    if (std::strcmp(s.branchNames[k], s.branchNames[slot]) == 0) {
      ctx.diag.warning(m.nameAt[slot], "'%s' and '%s' (line %d) are both cut to '%s' and become one symbol; make "
                       "names differ in their first %d characters", full, other, m.nameAt[k].line,
                       s.branchNames[slot], kMaxNameLength);
      return;
    }
    if (equalIgnoringCase(s.branchNames[k], s.branchNames[slot])) {
      ctx.diag.warning(m.nameAt[slot], "'%s' and '%s' (line %d) differ only in letter case, so they are two "
                       "symbols; write them alike if they are one element's value", s.branchNames[slot],
                       s.branchNames[k], m.nameAt[k].line);
      return;
    }
  }
}

namespace {

// Nodes joined by the elements' edges in either graph.
class NodeParts {
 public:
  explicit NodeParts(int nodes) : nodes_(nodes < kNodeSlots ? nodes : kNodeSlots - 1) {
    for (int v = 0; v < kNodeSlots; ++v) parent_[v] = v;
  }
  int find(int v) const {
    if (v < 0 || v > nodes_) return 0;
    while (parent_[v] != v) v = parent_[v];
    return v;
  }
  void join(int a, int b) {
    a = find(a);
    b = find(b);
    if (a != b) parent_[a] = b;
  }

 private:
  int nodes_;
  int parent_[kNodeSlots];
};

// Whether a user's element edge names `slot`; generated edges have no place
// in the input.
bool userSlot(const ReaderContext& ctx, int slot) {
  return slot >= 2 && slot < kNameSlots && ctx.marks.fullName[slot][0] != 0;
}

}  // namespace

void checkConnections(ReaderContext& ctx) {
  const NetworkStore& s = ctx.store;
  InputMarks& m = ctx.marks;
  bool touched[kNodeSlots] = {};
  NodeParts parts(s.nodeCount);
  auto touch = [&](int v) {
    if (v >= 0 && v < kNodeSlots) touched[v] = true;
  };
  for (int p = 2; p <= s.passiveCount && p < kPassiveEdgeSlots; ++p) {
    const PassiveEdge& e = s.passiveEdges[p];
    touch(e.node1);
    touch(e.node2);
    parts.join(e.node1, e.node2);
  }
  for (int a = 1; a <= s.activeCount && a < kActiveEdgeSlots; ++a) {
    const ActiveEdge& e = s.activeEdges[a];
    for (int v : {e.outPlus, e.outMinus, e.inPlus, e.inMinus}) touch(v);
    parts.join(e.outPlus, e.outMinus);
    parts.join(e.inPlus, e.inMinus);
  }
  for (int i = 0; i < 4; ++i) {
    const int node = s.portNodes[i];
    bool earlier = false;
    for (int k = 0; k < i; ++k) earlier = earlier || s.portNodes[k] == node;
    if (earlier || (node >= 0 && node < kNodeSlots && touched[node])) continue;
    ctx.diag.warning(m.portAt[i], "node %d of port %d is connected to no element: the f entry's labels are "
                     "+port1 -port1 +port2 -port2; most formulas of this netlist will be 0/0", s.portLabels[i],
                     i / 2 + 1);
    std::snprintf(ctx.marks.disconnection, sizeof ctx.marks.disconnection,
                  "node %d of port %d is connected to no element", s.portLabels[i], i / 2 + 1);
  }
  bool portPart[kNodeSlots] = {};
  for (int i = 0; i < 4; ++i) portPart[parts.find(s.portNodes[i])] = true;
  bool reported[kNodeSlots] = {};
  auto report = [&](int node, int slot) {
    const int part = parts.find(node);
    if (portPart[part] || reported[part] || !userSlot(ctx, slot)) return;
    reported[part] = true;
    ctx.diag.warning(m.nameAt[slot], "'%s' is in a part of the network connected to neither port: no tree spans "
                     "the network, so every formula is 0/0; connect that part or remove it", s.branchNames[slot]);
    std::snprintf(ctx.marks.disconnection, sizeof ctx.marks.disconnection,
                  "'%s' is in a part of the network connected to neither port", s.branchNames[slot]);
  };
  for (int p = 2; p <= s.passiveCount && p < kPassiveEdgeSlots; ++p)
    report(s.passiveEdges[p].node1, s.passiveEdges[p].name);
  for (int a = 1; a <= s.activeCount && a < kActiveEdgeSlots; ++a)
    report(s.activeEdges[a].outPlus, s.activeEdges[a].name);
}

void reportCutShort(ReaderContext& ctx, const char* entry, const SourcePosition& entryAt, int read, int needed) {
  const TokenRecord& t = ctx.token;
  if (ctx.meter.interrupted()) return;  // the input did not end: the run was stopped
  if (t.endedInComment) {
    ctx.diag.error(t.commentAt, "input ends inside this comment, which a '}' should close: everything after it "
                   "was read as comment%s", ctx.marks.started ? ", and this netlist is not analysed" : "");
    return;
  }
  if (entry != nullptr) {
    const bool word = entry[0] == 'p' || entry[0] == 'P';
    const int missing = needed - read;
    ctx.diag.error(entryAt, "input ends inside the entry '%s', which needs %d more %s%s: this netlist is not "
                   "analysed", entry, missing, word ? "word" : "number", missing > 1 ? "s" : "");
    return;
  }
  if (ctx.marks.started)
    ctx.diag.error(ctx.marks.netlistAt, "input ends before this netlist's 'end': it is not analysed");
}

}  // namespace velkor

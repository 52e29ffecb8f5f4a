#include "model/branch_maps.h"

#include <cstring>

#include "model/network_store.h"
#include "support/output.h"

namespace velkor {

namespace {

bool isReactive(char c) { return c == 'C' || c == 'c' || c == 'L' || c == 'l' || c == 'M' || c == 'm'; }

bool isImpedance(char c) {
  return c == 'r' || c == 'R' || c == 'z' || c == 'Z' || c == 'l' || c == 'L' || c == 'm' || c == 'M';
}

int classOf(char c) {
  if (c == 'a') return kClassUnit;
  if (c == 'o' || c == 'O') return kClassNullor;
  return kClassAdmittance;
}

}  // namespace

int canonicalBranch(Output& out, const NetworkStore& s, int b) {
  if (b < 0 || b >= kNameSlots) return b;
  int last = s.nameCount < kNameSlots ? s.nameCount : kNameSlots - 1;
  for (int i = 1; i <= last; ++i)
    if (std::strcmp(s.branchNames[i], s.branchNames[b]) == 0) return i;
  out.print("can't find %s <=> branch[%d] in %d branches\n", s.branchNames[b], b, s.nameCount);
  return b;
}

void buildBranchMaps(Output& out, const NetworkStore& s, BranchMaps& m) {
  int last = s.nameCount < kNameSlots ? s.nameCount : kNameSlots - 1;
  for (int b = 1; b <= last; ++b) m.branchmap[b] = canonicalBranch(out, s, b);
  for (int& e : m.ohmExponents) e = 0;
  m.impedanceCount = 0;
  for (int b = 1; b <= last; ++b) {
    int canonical = m.branchmap[b];
    char c = s.branchNames[canonical][0];
    m.powermap[b] = isReactive(c) ? 1 : 0;
    m.fmap[b] = classOf(c);
    if (canonical == b && isImpedance(c)) m.impedanceSymbols[m.impedanceCount++] = b;
  }
}

}  // namespace velkor

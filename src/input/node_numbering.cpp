// Input labels map to dense internal node numbers in order of first use;
// generated nodes of the element models get labels from 1000 upward.
//
// A refused label or node yields internal node 1 after its message: the
// caller stores it like any other number and reading goes on (a full node
// list stops the reader after the current entry).
#include "input/node_numbering.h"

#include "input/reader_context.h"

namespace velkor {

namespace {

constexpr int kInputNodeLimit = kMaxNodes;            // no new label at this count
constexpr int kNewNodeLimit = kGeneratedNodeLimit;    // no generated node at this count

static_assert(kInputNodeLimit < kNodeSlots, "lookupNode never writes past nodeList");
static_assert(kNewNodeLimit < kNodeSlots, "newNode never writes past nodeList");

// The place of a message: the word concerned, or where the reader is.
SourcePosition placeOf(const ReaderContext& ctx, const SourcePosition* at) {
  return at != nullptr ? *at : ctx.token.at;
}

void nodeLimitMessage(ReaderContext& ctx, int count, int shown, const SourcePosition* at) {
  reportError(ctx, placeOf(ctx, at), "number of nodes(= %d) exceeds limit of %d\n or improper input applied\n",
              count, shown);
}

}  // namespace

int lookupNode(ReaderContext& ctx, int label, const SourcePosition* at) {
  NetworkStore& s = ctx.store;
  // A label is compared as unsigned so that a digit string that wrapped to
  // a negative value is refused like any other label above 999.
  if (static_cast<unsigned>(label) > static_cast<unsigned>(kMaxNodeLabel)) {
    reportError(ctx, placeOf(ctx, at), "node label %u must be less than 1000\n", static_cast<unsigned>(label));
    return 1;
  }
  for (int i = 1; i <= s.nodeCount && i < kNodeSlots; ++i)
    if (s.nodeList[i] == label) return i;
  if (s.nodeCount >= kInputNodeLimit) {
    nodeLimitMessage(ctx, s.nodeCount, kInputNodeLimit - 1, at);
    return 1;
  }
  ++s.nodeCount;
  s.nodeList[s.nodeCount] = label;
  return s.nodeCount;
}

int newNode(ReaderContext& ctx, const SourcePosition* at) {
  NetworkStore& s = ctx.store;
  if (s.nodeCount >= kNewNodeLimit) {
    nodeLimitMessage(ctx, s.nodeCount, kNewNodeLimit - 1, at);
    return 1;
  }
  ++s.nodeCount;
  ++s.lastGeneratedLabel;
  s.nodeList[s.nodeCount] = s.lastGeneratedLabel;
  return s.nodeCount;
}

}  // namespace velkor

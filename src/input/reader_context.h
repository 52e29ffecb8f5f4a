// What reading a netlist works with: the input, the output that echoes it
// and carries the reader's messages, the character the token reader holds
// over, what it knows of the last token and of where the entries lie, the
// diagnostics, and the store and maps it fills. Everything belongs to the run and
// is bound by reference.
#pragma once

#include <cstdarg>

#include "model/branch_maps.h"
#include "model/network_store.h"
#include "support/capacities.h"
#include "support/char_source.h"
#include "support/diagnostics.h"
#include "support/output.h"
#include "support/work_meter.h"

namespace velkor {

// What the token reader knows of the token it read last, for messages that
// point at it.
struct TokenRecord {
  static constexpr int kTextCapacity = 40;
  SourcePosition at;         // its first character
  // A number: whether it was written as digits alone, and whether it took
  // its digits from beyond a separator (the words before them had none).
  bool plainNumber = true;
  bool spansWords = false;
  // The characters it was read from, outside comments, with every run of
  // separators as one blank; cut after kTextCapacity - 1 characters.
  char text[kTextCapacity] = {};
  int textLength = 0;
  bool textCut = false;
  // Where the outermost comment open at the end of input began.
  bool endedInComment = false;
  SourcePosition commentAt;
};

// Where the entries of the netlist being read lie in the input, and the
// names as written, before they were cut to a slot's length.
// An m entry: the name slot of its first coupled half and its terminals as
// internal nodes (+out -out +in -in), for the check of coils across a
// winding. An m takes six active edges, so a netlist that is read to its
// end holds at most kMaxActiveEdges / 6 of them.
struct MutualMark {
  int slot = 0;
  int nodes[4] = {};
};
constexpr int kMutualMarks = kMaxActiveEdges / 6 + 1;

struct InputMarks {
  SourcePosition netlistAt;              // its first word
  SourcePosition endAt;                  // its end entry
  SourcePosition nameAt[kNameSlots];     // each name slot's element word
  char fullName[kNameSlots][kWordCapacity];
  SourcePosition portAt[4];              // the f entry's labels
  bool started = false;                  // a word of this netlist was read
  MutualMark mutuals[kMutualMarks];      // the m entries, in input order
  int mutualCount = 0;
  // Why every formula will be 0/0, when the connections tell (empty: no
  // such reason known).
  char disconnection[160] = {};
};

struct ReaderContext {
  CharSource& in;
  Output& out;
  // The last character taken from the input, kept for the run.
  char& pendingChar;
  TokenRecord& token;
  InputMarks& marks;
  Diagnostics& diag;
  NetworkStore& store;
  BranchMaps& maps;
  // Says whether a signal asked the run to end (reading then stops without
  // a message about the input).
  const WorkMeter& meter;

  bool traced(int bits) const { return (store.traceBits & bits) != 0; }
};

// Prints a message on standard output, exactly as formatted, and reports it
// on standard error as an error at `at`.
void reportError(ReaderContext& ctx, const SourcePosition& at, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// The same with the arguments as a list, for any stage that reports.
void reportPrintedError(Output& out, Diagnostics& diag, const SourcePosition& at, const char* format, va_list args);

}  // namespace velkor

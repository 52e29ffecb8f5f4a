// Everything one run of velkor works on, passed by reference to every stage:
// the input and output seams, the heap seam, the netlist store, the maps,
// the graph pair, the generator, the polynomial slots and the scratch state.
// There are no mutable globals; a whole run can be done on a string.
#pragma once

#include <cstdint>

#include "analysis/common_factors.h"
#include "model/branch_maps.h"
#include "model/network_store.h"
#include "poly/poly_store.h"
#include "poly/term_accumulation.h"
#include "support/allocator.h"
#include "support/capacities.h"
#include "support/char_source.h"
#include "support/diagnostics.h"
#include "support/output.h"
#include "trees/common_tree_enumerator.h"
#include "trees/graph_pair.h"
#include "trees/spanning_tree_generator.h"
#include "trees/tree_product.h"

namespace velkor {

// Work counted over a whole run, for benchmarks.
struct RunStatistics {
  std::uint64_t rawTrees = 0;       // raw trees of the plain enumeration (0 on the fast path)
  std::uint64_t acceptedTrees = 0;  // common trees accumulated
  std::uint64_t terms = 0;          // terms stored in evaluated functions
  std::uint64_t functions = 0;      // topological functions evaluated
};

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
struct InputMarks {
  SourcePosition netlistAt;              // its first word
  SourcePosition endAt;                  // its end entry
  SourcePosition nameAt[kNameSlots];     // each name slot's element word
  char fullName[kNameSlots][kWordCapacity];
  SourcePosition portAt[4];              // the f entry's labels
  bool started = false;                  // a word of this netlist was read
};

struct AnalysisContext {
  AnalysisContext(CharSource& input, Output& output, Allocator& allocator)
      : in(input), out(output), alloc(allocator) {}
  AnalysisContext(const AnalysisContext&) = delete;
  AnalysisContext& operator=(const AnalysisContext&) = delete;
  ~AnalysisContext();

  CharSource& in;
  Output& out;
  Allocator& alloc;

  // Token reader: the last character taken from the input, kept for the run.
  char pendingChar = 0;
  TokenRecord token;
  InputMarks marks;
  Diagnostics diag;

  NetworkStore store;
  BranchMaps maps;

  GraphPair graph;
  TreeGenerator generator;
  CommonTreeEnumerator commonTrees;
  ProductState product;

  Exponent workExponents[kSymbolSlots] = {};
  PolyRecord polyRecords[kPolySlots];
  TermIndex termIndex;
  CommonFactors factors;
  int polySide = 0;

  // Runs the plain enumeration and accumulation step by step, as the
  // reference for the fast path (benchmarks and differential tests).
  bool plainPath = false;
  // Bound on enumeration steps per topological function (0: none). Only the
  // fuzz targets set it, so that a huge network cannot stall them; a
  // function that reaches it ends its enumeration early.
  std::uint64_t workLimit = 0;
  RunStatistics statistics;

  bool traced(int bits) const { return (store.traceBits & bits) != 0; }
};

// Prints a message on standard output, exactly as formatted, and reports it
// on standard error as an error at `at`.
void reportError(AnalysisContext& ctx, const SourcePosition& at, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// The same for a failure of the analysis, reported at the end entry of the
// netlist being analysed.
void reportAnalysisError(AnalysisContext& ctx, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace velkor

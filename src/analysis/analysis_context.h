// Everything one run of velkor works on, passed by reference to every stage:
// the input and output seams, the heap seam, the netlist store, the maps,
// the graph pair, the generator, the polynomial slots and the scratch state.
// There are no mutable globals; a whole run can be done on a string.
//
// The stages below the analysis see only their part of it: the reader
// works through a ReaderContext, tree enumeration through a TreeContext,
// the polynomial code through a PolyContext. The context converts to each.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/common_factors.h"
#include "analysis/parallel_evaluation.h"
#include "input/reader_context.h"
#include "model/branch_maps.h"
#include "model/network_store.h"
#include "poly/poly_context.h"
#include "poly/poly_store.h"
#include "support/allocator.h"
#include "support/capacities.h"
#include "support/char_source.h"
#include "support/diagnostics.h"
#include "support/output.h"
#include "support/work_meter.h"
#include "trees/common_tree_enumerator.h"
#include "trees/graph_pair.h"
#include "trees/spanning_tree_generator.h"
#include "trees/tree_context.h"
#include "trees/tree_product.h"

namespace velkor {

struct GenerationPlan;

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

  PolyRecord polyRecords[kPolySlots];
  CommonFactors factors;
  int polySide = 0;

  // Runs the plain enumeration and accumulation step by step, as the
  // reference for the fast path (benchmarks and differential tests).
  bool plainPath = false;
  // The jobs that evaluate a pass's functions at once (1: one after another).
  int jobs = 1;
  // With several jobs, a function of more common trees than this is cut
  // into subtrees that the jobs share (cutting a smaller one costs more
  // than it saves).
  int splitAbove = 16384;
  HeldFunctions held;
  // The texts of the pieces of long polynomials that the jobs print, kept
  // for the run (see JobPool).
  std::vector<std::string> pieceTexts;
  // Watches each function's enumeration: interrupts, the time bound, the
  // progress line, and the bound on steps that only the fuzz targets set
  // (so that a huge network cannot stall them; a function that reaches it
  // ends its enumeration early).
  WorkMeter meter;
  RunStatistics statistics;
  // Set for approximations during generation: no formula is expanded.
  const GenerationPlan* generation = nullptr;

  // The parts the lower stages work through.
  ReaderContext reader{in, out, pendingChar, token, marks, diag, store, maps, meter};
  PolyContext poly{alloc, out, store.traceBits, store.netlistNumber, store.traceLabel, plainPath};
  TreeContext trees{poly, out, store, maps, graph, generator, commonTrees, product, meter, statistics};

  operator ReaderContext&() { return reader; }
  operator PolyContext&() { return poly; }
  operator TreeContext&() { return trees; }

  bool traced(int bits) const { return (store.traceBits & bits) != 0; }
};

// Prints a message of the analysis on standard output, exactly as
// formatted, and reports it on standard error as an error at the end entry
// of the netlist being analysed.
void reportAnalysisError(AnalysisContext& ctx, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The same for a failure met earlier by another thread: whether a request
// was refused for the memory bound is given, not asked of the allocator.
void reportEarlierAnalysisError(AnalysisContext& ctx, bool boundRefused, const char* format, ...)
    __attribute__((format(printf, 3, 4)));


}  // namespace velkor

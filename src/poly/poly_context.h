// What the polynomial code works with besides the records it is handed:
// the heap seam, the output for its growth and term traces, the settings
// of the run it reads, and the scratch of term accumulation. The pieces it
// does not own belong to the run and are bound by reference.
#pragma once

#include "poly/poly_store.h"
#include "poly/term_accumulation.h"
#include "support/allocator.h"
#include "support/capacities.h"
#include "support/output.h"
#include "support/trace_bits.h"

namespace velkor {

struct PolyContext {
  PolyContext(Allocator& allocator, Output& output, const int& traceBitmap, const int& netlist, const int& label,
              const bool& plain)
      : alloc(allocator), out(output), traceBits(traceBitmap), netlistNumber(netlist), traceLabel(label),
        plainPath(plain) {}
  PolyContext(const PolyContext&) = delete;
  PolyContext& operator=(const PolyContext&) = delete;
  // Gives back the accumulation index if one is still held.
  ~PolyContext();

  Allocator& alloc;
  Output& out;
  const int& traceBits;      // the netlist's listing bitmap
  const int& netlistNumber;  // shown by the term trace
  const int& traceLabel;     // shown by the term trace
  // Records in the plain layout, worked on step by step (the reference for
  // the fast path).
  const bool& plainPath;

  // The exponents of the product being accumulated.
  Exponent workExponents[kSymbolSlots] = {};
  TermIndex termIndex;

  bool traced(int bits) const { return (traceBits & bits) != 0; }
};

}  // namespace velkor

// The netlist being read and analysed: names, edges, nodes, ports, requests.
#pragma once

#include "support/capacities.h"
#include "support/trace_bits.h"

namespace velkor {

struct PassiveEdge {
  int name = 0;   // branchNames slot
  int node1 = 0;  // internal node numbers
  int node2 = 0;
};

// A four-terminal edge: its v-graph edge joins the output terminals, its
// i-graph edge the input (controlling) terminals.
struct ActiveEdge {
  int name = 0;
  int outPlus = 0;
  int outMinus = 0;
  int inPlus = 0;
  int inMinus = 0;
};

struct NetworkStore {
  char branchNames[kNameSlots][kNameChars] = {};
  int nameCount = 1;

  PassiveEdge passiveEdges[kPassiveEdgeSlots] = {};
  int passiveCount = 1;

  ActiveEdge activeEdges[kActiveEdgeSlots] = {};
  int activeCount = 0;

  int nodeList[kNodeSlots] = {};  // label of each internal node
  int nodeCount = 0;
  int lastGeneratedLabel = kFirstGeneratedLabel - 1;

  int opampcnt = 0;

  int portLabels[4] = {};  // +port1, -port1, +port2, -port2 as typed
  int portNodes[4] = {};   // the same terminals as internal nodes

  int requestFlags[kParameterCount] = {};  // indexed from 0 by table row
  int normalization = 0;
  int traceBits = 0;

  int analysisPassiveCount = 0;
  int treeSize = 0;

  int netlistNumber = 0;

  int topofunDone[kTopofunCount] = {};
  int traceLabel = 0;

  // Prepares the store for the next netlist. Names, edges and port fields
  // are left as they are: nothing beyond the counts is ever read.
  void reset();
};

}  // namespace velkor

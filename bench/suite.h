// The benchmark's circuits: netlists of the kind users analyse, generated
// with their sizes as parameters so that the suite can be scaled.
#pragma once

#include <string>
#include <vector>

namespace velkor::bench {

struct Circuit {
  std::string name;
  std::string netlist;     // one complete netlist, ended by "end"
  int requestedCount = 0;  // parameters the netlist asks for (headings expected)
  bool passive = false;    // no controlled sources or op-amps
  bool ladder = false;     // an RC or LC ladder
  bool quick = false;      // small enough for the smoke run
  bool plainTooSlow = false;  // the plain path cannot finish it in ten minutes
  std::string expectedResult;  // text the output must contain (worked out by hand), or empty
};

// The whole suite, in the order the table lists it.
std::vector<Circuit> benchSuite();

}  // namespace velkor::bench

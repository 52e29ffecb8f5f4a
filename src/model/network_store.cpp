#include "model/network_store.h"

namespace velkor {

void NetworkStore::reset() {
  ++netlistNumber;
  traceBits = 0;
  normalization = 0;
  opampcnt = 0;
  passiveCount = 1;
  nameCount = 1;
  nodeCount = 0;
  lastGeneratedLabel = kFirstGeneratedLabel - 1;
  activeCount = 0;
  for (int& label : nodeList) label = 0;
  for (int& flag : requestFlags) flag = 1;
}

}  // namespace velkor

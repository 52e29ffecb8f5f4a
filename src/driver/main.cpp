// velkor: symbolic two-port analysis of linear networks.
#include "driver/program_entry.h"

int main(int argc, char* argv[]) { return velkor::programEntry(argc, argv); }

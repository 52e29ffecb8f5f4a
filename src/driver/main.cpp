// velkor: symbolic two-port analysis of linear networks, as a filter from
// standard input to standard output.
#include <cstdio>

#include "driver/program_driver.h"
#include "support/allocator.h"
#include "support/char_source.h"
#include "support/output.h"

int main() {
  velkor::StreamSource input(stdin);
  velkor::StreamOutput output(stdout);
  velkor::StreamOutput errors(stderr);
  velkor::HeapAllocator heap;
  velkor::RunOptions options;
  options.errors = &errors;
  return velkor::runProgram(input, output, heap, options);
}

// A whole run of velkor inside another program (the Python module): the
// same options as the command line, the netlists from a string, the results
// and the messages returned as strings instead of written to the standard
// streams.
#pragma once

#include <string>
#include <vector>

#include "support/stop_flag.h"

namespace velkor {

struct InProcessResult {
  int status = 0;      // the exit status the program would give
  std::string output;  // what it would write on standard output
  std::string errors;  // what it would write on standard error
};

// Runs velkor over `text` with the command-line options `arguments` (no
// program name; input files among them are refused: the input is `text`).
// `sourceName` names the input in messages (FILE:LINE:COLUMN). A nonzero
// `*interrupt` stops the run as SIGINT stops the program; it is then
// reported by status 130 and what was finished is returned.
InProcessResult runInProcess(const std::string& text, const std::string& sourceName,
                             const std::vector<std::string>& arguments,
                             const StopFlag* interrupt = nullptr);

}  // namespace velkor

// Messages for standard error, in the form compilers use so that editors
// can jump to them: "FILE:LINE:COLUMN: error: TEXT" and the same with
// "warning:". They are counted, so that the exit status can tell a run
// with errors from a clean one; a run without a sink only counts them.
//
// Standard error also carries the progress line, which is rewritten in
// place on a terminal; every message first clears it.
#pragma once

#include <string>
#include <vector>

#include "support/char_source.h"

namespace velkor {

class Output;

class Diagnostics {
 public:
  // Where the messages go (nullptr: counted only).
  void attach(Output* sink) { sink_ = sink; }
  // Also keeps every message's line (without its line end) in `log`
  // (nullptr: none), for documents that list them.
  void keepIn(std::vector<std::string>* log) { log_ = log; }
  bool attached() const { return sink_ != nullptr; }

  bool quiet = false;   // warnings are counted but not written
  bool strict = false;  // warnings are errors

  void error(const SourcePosition& at, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void warning(const SourcePosition& at, const char* format, ...) __attribute__((format(printf, 3, 4)));
  // An error about the run as a whole, without a place in the input.
  void runError(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Reports a message exactly as it was printed on standard output, where
  // it may take several lines, as one error line; `boundRefused` adds that
  // the memory in use reached the bound set for it.
  void mirrorError(const SourcePosition& at, const char* printed, bool boundRefused = false);

  int errors() const { return errors_; }
  int warnings() const { return warnings_; }

  // The progress line: written over the previous one on a terminal
  // (`inPlace`), as a line of its own otherwise.
  void showStatus(const char* text, bool inPlace);
  void clearStatus();

 private:
  void emit(const SourcePosition* at, bool isError, const char* text);

  Output* sink_ = nullptr;
  std::vector<std::string>* log_ = nullptr;
  int errors_ = 0;
  int warnings_ = 0;
  bool statusShown_ = false;
};

}  // namespace velkor

// The command line: options and input files, parsed with getopt_long into
// one settings record.
//
// Adding an option takes one field in CommandLine and one entry in the
// option table of command_line.cpp (its name, argument, help line and the
// function that stores it); parsing and --help follow from the table.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "render/formula_document.h"

namespace velkor {

// The most jobs --jobs takes.
constexpr int kMaxJobs = 256;

struct CommandLine {
  enum class Action { Run, Help, Version };
  Action action = Action::Run;
  // Input files in order, "-" for standard input; none means standard input.
  std::vector<std::string> inputs;
  // Where the results go; empty for standard output.
  std::string outputPath;
  // --path=plain: the step-by-step enumeration and accumulation.
  bool plainPath = false;
  // --jobs: how many functions or pieces of one are evaluated at once (0:
  // one per processor the process may use).
  int jobs = 0;
  bool quiet = false;     // --quiet: no warnings
  bool strict = false;    // --strict: warnings are errors
  bool progress = false;  // --progress: the progress line even when standard error is no terminal
  double maxSeconds = 0;  // --max-seconds: bound on each function's evaluation (0: none)
  // --max-memory: bound on the memory in use, in bytes (0: none); until
  // given, most of the machine's physical memory.
  std::size_t maxMemory = 0;
  bool maxMemoryGiven = false;
  // --format: the text layout, JSON, a LaTeX document or its equations.
  DocumentFormat format = DocumentFormat::kText;

  // Element values in command-line order, later ones winning: a values file
  // (--values=FILE) or one NAME=VALUE setting (--set).
  struct ValueSource {
    bool file = false;
    std::string text;  // the path, or the setting
  };
  std::vector<ValueSource> valueSources;
  bool evaluate = false;         // --eval: the numeric form after each formula
  std::string bodePath;          // --bode=FILE: FILE.svg and FILE.csv
  std::string poleZeroPath;      // --pz=FILE.svg
  std::string reportPath;        // --report=FILE.html
  long double fromHz = 0;        // --from (0: from the poles and zeros)
  long double toHz = 0;          // --to (0: from the poles and zeros)
  int points = 0;                // --points (0: the default)
  // --approx=EPS: each formula also as its approximation within EPS (0: none).
  long double approximationEps = 0;
  // --formulas=none: no formula is generated; --eval, --bode, --pz and
  // --report come from nodal analysis at the values.
  bool noFormulas = false;

  // Circuit decks: --input chooses the reader (automatic: decks are told by
  // their extension or their contents); --ports names the port terminals,
  // --param the parameters, --op the transistors' operating point.
  enum class InputFormat { kAutomatic, kDeck, kNetlist };
  InputFormat inputFormat = InputFormat::kAutomatic;
  std::vector<std::string> ports;       // +port1 -port1 +port2 -port2 (empty: from the deck)
  std::vector<std::string> parameters;  // --param, in order (empty: the default set)
  std::string operatingPointPath;       // --op=FILE
  // Elements written as numbers in the formulas, at their values: those of
  // --numeric=NAMES, or every element but those of --symbolic=NAMES
  // (repeatable; each a list separated by commas; one of the two options).
  std::vector<std::string> numericNames;
  std::vector<std::string> symbolicNames;
  // Warnings about option arguments that are read but likely meant
  // otherwise (`--to=5MHz`), one line each, starting with the option.
  std::vector<std::string> warnings;
  // --formulas=exact: every formula expanded, also with --approx, whose
  // approximations are then made from the exact formulas (after
  // generation). Without it --approx generates the dominant terms directly
  // and prints no exact formula.
  bool exactFormulas = false;
  // True when any numeric output is asked for.
  bool numeric() const {
    return evaluate || approximationEps > 0 || !bodePath.empty() || !poleZeroPath.empty() || !reportPath.empty();
  }
};

// Parses argv into `options`. On a mistake returns false with `error` set to
// one line naming it (without the program name or a line end). getopt_long
// keeps its position in globals of the C library; each call starts afresh.
bool parseCommandLine(int argc, char* argv[], CommandLine& options, std::string& error);

// Reads a size such as 1500000, 800M or 2G (K, M, G and T are powers of
// 1024; a trailing B or iB is allowed); false when it is none.
bool parseSize(const char* text, std::size_t& bytes);
// The program's version.
const char* programVersion();

struct RunOptions;
// The settings of a run that follow from the command line alone (format,
// path, warnings, bounds, --formulas); the caller adds its streams, flags
// and numeric side.
void applyToRun(const CommandLine& options, RunOptions& run);

// The text of --help and of --version.
void printUsage(std::FILE* stream);
void printVersion(std::FILE* stream);

}  // namespace velkor

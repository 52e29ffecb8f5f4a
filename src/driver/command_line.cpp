#include "driver/command_line.h"
#include "driver/program_driver.h"

#include "analysis/element_values.h"
#include "model/parameter_table.h"
#include "support/processor_count.h"
#include "support/shown_text.h"

#include <getopt.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <initializer_list>

#ifndef VELKOR_VERSION
#define VELKOR_VERSION "unknown"
#endif

namespace velkor {

namespace {

using Apply = bool (*)(CommandLine& options, const char* argument, std::string& error);

struct OptionEntry {
  const char* name;      // long name, without the dashes
  char shortName;        // 0 when there is none
  int argumentKind;      // no_argument, required_argument or optional_argument
  const char* argument;  // what the argument is, for --help (nullptr when none)
  const char* help;      // one line for --help
  Apply apply;
};

// Stores the index of `argument` among `choices`, or explains the mistake.
bool pickChoice(const char* option, const char* argument, std::initializer_list<const char*> choices,
                int& index, std::string& error) {
  int at = 0;
  for (const char* choice : choices) {
    if (std::strcmp(argument, choice) == 0) {
      index = at;
      return true;
    }
    ++at;
  }
  error = "invalid argument '" + shownText(argument) + "' for '--" + option + "'; valid arguments are";
  at = 0;
  for (const char* choice : choices) {
    error += at == 0 ? " '" : (at + 1 == static_cast<int>(choices.size()) ? " and '" : ", '");
    error += choice;
    error += "'";
    ++at;
  }
  return false;
}

// The message for an argument that is not what `option` takes.
std::string invalidArgument(const char* option, const char* argument, const char* expected) {
  return "invalid argument '" + shownText(argument) + "' for '--" + option + "'; " + expected;
}

// Frequencies from 1e-12 Hz to 1e15 Hz: the band, its default ends four
// decades away and the powers of the frequency stay finite.
constexpr long double kLowestFrequency = 1e-12L;
constexpr long double kHighestFrequency = 1e15L;

// A frequency in Hz, in the notation of element values (10, 1k, 2.5MegHz).
bool storeFrequency(CommandLine& options, const char* option, const char* argument, long double& hz,
                    std::string& error) {
  std::optional<long double> value = parseEngineeringNumber(argument);
  if (!value || !(*value >= kLowestFrequency && *value <= kHighestFrequency)) {
    error = invalidArgument(option, argument, "a frequency from 1e-12 Hz to 1e15 Hz");
    return false;
  }
  const std::string warning = scaleLetterWarning(argument);
  if (!warning.empty()) options.warnings.push_back(std::string("--") + option + ": " + warning);
  hz = *value;
  return true;
}

bool storePath(const char* option, const char* argument, std::string& path, std::string& error) {
  if (*argument == '\0') {
    error = std::string("option '--") + option + "' needs a file name";
    return false;
  }
  path = argument;
  return true;
}

// Appends the element names of a list such as r1,x1.r2 to `names`.
bool storeNames(const char* option, const char* argument, std::vector<std::string>& names, std::string& error) {
  std::vector<std::string> list(1);
  for (const char* c = argument; *c != 0; ++c) {
    if (*c == ',')
      list.emplace_back();
    else
      list.back() += *c;
  }
  for (const std::string& name : list)
    if (name.empty() || name.find_first_of(" \t=") != std::string::npos) {
      error = invalidArgument(option, argument, "element names separated by commas, such as r1,c2");
      return false;
    }
  names.insert(names.end(), list.begin(), list.end());
  return true;
}

const OptionEntry kOptions[] = {
    {"output", 'o', required_argument, "FILE", "write the results to FILE instead of standard output",
     [](CommandLine& o, const char* a, std::string& e) { return storePath("output", a, o.outputPath, e); }},
    {"path", 0, required_argument, "PATH",
     "tree enumeration, fast (default) or plain; the output is the same",
     [](CommandLine& o, const char* a, std::string& e) {
       int index = 0;
       if (!pickChoice("path", a, {"fast", "plain"}, index, e)) return false;
       o.plainPath = index == 1;
       return true;
     }},
    {"jobs", 'j', required_argument, "N",
     "evaluate with N jobs at once (default: one per usable processor); the output is the same",
     [](CommandLine& o, const char* a, std::string& e) {
       char* end = nullptr;
       const long jobs = std::strtol(a, &end, 10);
       if (end == a || *end != 0 || jobs < 1 || jobs > kMaxJobs) {
         e = invalidArgument("jobs", a, "a whole number from 1 to 256 is expected");
         return false;
       }
       static_assert(kMaxJobs == 256, "the message names the bound");
       o.jobs = static_cast<int>(jobs);
       return true;
     }},
    {"quiet", 'q', no_argument, nullptr, "leave warnings out (errors are still reported)",
     [](CommandLine& o, const char*, std::string&) {
       o.quiet = true;
       return true;
     }},
    {"strict", 0, no_argument, nullptr, "treat every warning as an error (exit status 1)",
     [](CommandLine& o, const char*, std::string&) {
       o.strict = true;
       return true;
     }},
    {"progress", 0, no_argument, nullptr, "show progress on standard error even when it is not a terminal",
     [](CommandLine& o, const char*, std::string&) {
       o.progress = true;
       return true;
     }},
    {"max-seconds", 0, required_argument, "N",
     "give up a topological function that takes longer than N seconds",
     [](CommandLine& o, const char* a, std::string& e) {
       char* end = nullptr;
       const double seconds = std::strtod(a, &end);
       if (end == a || *end != 0 || !(seconds > 0) || seconds > 1e9) {
         e = invalidArgument("max-seconds", a, "a number of seconds above 0 is expected");
         return false;
       }
       o.maxSeconds = seconds;
       return true;
     }},
    {"max-memory", 0, required_argument, "SIZE",
     "bound the memory in use to SIZE (e.g. 800M, 4G; 0 for none; default: 80% of physical memory)",
     [](CommandLine& o, const char* a, std::string& e) {
       if (!parseSize(a, o.maxMemory)) {
         e = invalidArgument("max-memory", a, "a size such as 800M or 4G is expected");
         return false;
       }
       o.maxMemoryGiven = true;
       return true;
     }},
    {"format", 0, required_argument, "FORMAT",
     "write the results as text (default), json, latex (a document) or latex-body (the equations alone)",
     [](CommandLine& o, const char* a, std::string& e) {
       int index = 0;
       if (!pickChoice("format", a, {"text", "json", "latex", "latex-body"}, index, e)) return false;
       constexpr DocumentFormat kFormats[] = {DocumentFormat::kText, DocumentFormat::kJson, DocumentFormat::kLatex,
                                              DocumentFormat::kLatexBody};
       o.format = kFormats[index];
       return true;
     }},
    {"values", 0, required_argument, "FILE", "element values from FILE, one NAME VALUE a line (repeatable)",
     [](CommandLine& o, const char* a, std::string&) {
       o.valueSources.push_back({true, a});
       return true;
     }},
    {"set", 0, required_argument, "NAME=VALUE", "the value of one element (repeatable; later values win)",
     [](CommandLine& o, const char* a, std::string&) {
       o.valueSources.push_back({false, a});
       return true;
     }},
    {"eval", 0, no_argument, nullptr, "after each formula, its numeric form, DC value, zeros and poles",
     [](CommandLine& o, const char*, std::string&) {
       o.evaluate = true;
       return true;
     }},
    {"bode", 0, required_argument, "FILE", "Bode plot in FILE.svg, its data in FILE.csv",
     [](CommandLine& o, const char* a, std::string& e) { return storePath("bode", a, o.bodePath, e); }},
    {"from", 0, required_argument, "HZ", "lowest frequency of the Bode plot and the approximation band",
     [](CommandLine& o, const char* a, std::string& e) { return storeFrequency(o, "from", a, o.fromHz, e); }},
    {"to", 0, required_argument, "HZ", "highest frequency of the Bode plot and the approximation band",
     [](CommandLine& o, const char* a, std::string& e) { return storeFrequency(o, "to", a, o.toHz, e); }},
    {"points", 0, required_argument, "N", "frequencies of the Bode plot (default 400)",
     [](CommandLine& o, const char* a, std::string& e) {
       char* end = nullptr;
       long n = std::strtol(a, &end, 10);
       if (end == a || *end != '\0' || n < 2 || n > 1000000) {
         e = invalidArgument("points", a, "a whole number from 2 to 1000000");
         return false;
       }
       o.points = static_cast<int>(n);
       return true;
     }},
    {"pz", 0, required_argument, "FILE", "pole-zero map in FILE (SVG)",
     [](CommandLine& o, const char* a, std::string& e) { return storePath("pz", a, o.poleZeroPath, e); }},
    {"report", 0, required_argument, "FILE", "HTML report with formulas, numbers and plots in FILE",
     [](CommandLine& o, const char* a, std::string& e) { return storePath("report", a, o.reportPath, e); }},
    {"approx", 0, required_argument, "EPS",
     "after each formula, its fewest terms within a relative error EPS (0 < EPS < 1) over the band, at the values",
     [](CommandLine& o, const char* a, std::string& e) {
       char* end = nullptr;
       long double eps = std::strtold(a, &end);
       // Below 1e-12 the error cannot be told from rounding (and 1e-400
       // would not even be a double).
       if (end == a || *end != '\0' || !(eps >= 1e-12L && eps < 1)) {
         e = invalidArgument("approx", a, "EPS is a number from 1e-12 to below 1, such as 0.05");
         return false;
       }
       o.approximationEps = eps;
       return true;
     }},
    {"formulas", 0, required_argument, "WHICH",
     "exact or none: every formula expanded (the default; with --approx only when given), or none, the numbers of "
     "--eval, --bode, --pz and --report by nodal analysis",
     [](CommandLine& o, const char* a, std::string& e) {
       int index = 0;
       if (!pickChoice("formulas", a, {"exact", "none"}, index, e)) return false;
       o.noFormulas = index == 1;
       o.exactFormulas = index == 0;
       return true;
     }},
    {"input", 0, required_argument, "FORMAT",
     "read the inputs as spice decks or velkor netlists (default: decks by extension or contents)",
     [](CommandLine& o, const char* a, std::string& e) {
       int index = 0;
       if (!pickChoice("input", a, {"spice", "velkor"}, index, e)) return false;
       o.inputFormat = index == 0 ? CommandLine::InputFormat::kDeck : CommandLine::InputFormat::kNetlist;
       return true;
     }},
    {"ports", 0, required_argument, "IN,REF,OUT,REF", "the port terminals of a deck, as node names",
     [](CommandLine& o, const char* a, std::string& e) {
       std::vector<std::string> names;
       std::string name;
       for (const char* c = a;; ++c) {
         if (*c == ',' || *c == 0) {
           names.push_back(name);
           name.clear();
           if (*c == 0) break;
         } else {
           name += static_cast<char>(*c >= 'A' && *c <= 'Z' ? *c - 'A' + 'a' : *c);
         }
       }
       bool empty = false;
       for (const std::string& n : names) empty = empty || n.empty();
       if (names.size() != 4 || empty) {
         e = "invalid argument '" + shownText(a) + "' for '--ports'; four node names such as in,0,out,0";
         return false;
       }
       o.ports = names;
       return true;
     }},
    {"param", 0, required_argument, "NAME", "a two-port parameter of a deck to work out, such as g21 (repeatable)",
     [](CommandLine& o, const char* a, std::string& e) {
       if (findParameter(a) < 0) {
         e = "invalid argument '" + shownText(a) + "' for '--param'; a parameter name such as g21, z11, y21 or s21";
         return false;
       }
       o.parameters.emplace_back(a);
       return true;
     }},
    {"op", 0, required_argument, "FILE", "transistor operating point of a deck, as the simulator prints it",
     [](CommandLine& o, const char* a, std::string& e) { return storePath("op", a, o.operatingPointPath, e); }},
    {"numeric", 0, required_argument, "NAMES",
     "write these elements (r1,c2,...) as their values in the formulas (repeatable)",
     [](CommandLine& o, const char* a, std::string& e) { return storeNames("numeric", a, o.numericNames, e); }},
    {"symbolic", 0, required_argument, "NAMES",
     "keep only these elements as symbols, every other one with a value as a number (repeatable)",
     [](CommandLine& o, const char* a, std::string& e) { return storeNames("symbolic", a, o.symbolicNames, e); }},
    {"help", 'h', no_argument, nullptr, "print this help and exit",
     [](CommandLine& o, const char*, std::string&) {
       if (o.action == CommandLine::Action::Run) o.action = CommandLine::Action::Help;
       return true;
     }},
    {"version", 'V', no_argument, nullptr, "print the version and exit",
     [](CommandLine& o, const char*, std::string&) {
       if (o.action == CommandLine::Action::Run) o.action = CommandLine::Action::Version;
       return true;
     }},
};
constexpr int kOptionCount = sizeof kOptions / sizeof kOptions[0];

// getopt_long returns an option's short letter, or 256 + its table index
// for an option without one.
int optionCode(int index) { return kOptions[index].shortName != 0 ? kOptions[index].shortName : 256 + index; }

int indexOfCode(int code) {
  for (int i = 0; i < kOptionCount; ++i)
    if (optionCode(i) == code) return i;
  return -1;
}

// The message for an unknown or ambiguous long option `word` ("--name" or
// "--name=value").
std::string describeLongMistake(const char* word) {
  std::string name(word + 2);
  name = name.substr(0, name.find('='));
  std::string matches;
  int count = 0;
  for (const OptionEntry& entry : kOptions) {
    if (std::strncmp(entry.name, name.c_str(), name.size()) != 0) continue;
    matches += std::string(" '--") + entry.name + "'";
    ++count;
  }
  if (count > 1) return "option '--" + shownText(name) + "' is ambiguous; possibilities:" + matches;
  return "unrecognized option '" + shownText(word) + "'";
}

std::string shortOrLongName(int index, const char* word) {
  if (std::strncmp(word, "--", 2) == 0 || kOptions[index].shortName == 0)
    return std::string("option '--") + kOptions[index].name + "'";
  return std::string("option '-") + kOptions[index].shortName + "'";
}

}  // namespace

bool parseCommandLine(int argc, char* argv[], CommandLine& options, std::string& error) {
  std::string shortOptions = ":";  // ':' first: a missing argument is reported as ':'
  option longOptions[kOptionCount + 1] = {};
  for (int i = 0; i < kOptionCount; ++i) {
    const OptionEntry& entry = kOptions[i];
    longOptions[i] = {entry.name, entry.argumentKind, nullptr, optionCode(i)};
    if (entry.shortName == 0) continue;
    shortOptions += entry.shortName;
    if (entry.argumentKind != no_argument) shortOptions += ':';
    if (entry.argumentKind == optional_argument) shortOptions += ':';
  }

  opterr = 0;  // the messages are made here, in one line each
  optind = 0;  // 0 makes the GNU getopt start afresh
  for (;;) {
    const int code = getopt_long(argc, argv, shortOptions.c_str(), longOptions, nullptr);
    if (code == -1) break;
    const char* word = optind > 0 && optind <= argc ? argv[optind - 1] : "";
    if (code == ':') {
      const int index = indexOfCode(optopt);
      error = index < 0 ? "an option requires an argument" : shortOrLongName(index, word) + " requires an argument";
      return false;
    }
    if (code == '?') {
      const int index = optopt == 0 ? -1 : indexOfCode(optopt);
      if (optopt == 0)
        error = describeLongMistake(word);
      else if (index >= 0)  // a known option written --name=value that takes none
        error = std::string("option '--") + kOptions[index].name + "' does not take an argument";
      else
        error = "invalid option '-" + shownText(std::string(1, static_cast<char>(optopt))) + "'";
      return false;
    }
    const int index = indexOfCode(code);
    if (index < 0) {
      error = "internal error: unexpected option code";
      return false;
    }
    if (!kOptions[index].apply(options, optarg != nullptr ? optarg : "", error)) return false;
  }
  for (int i = optind; i < argc; ++i) options.inputs.emplace_back(argv[i]);
  if (options.fromHz > 0 && options.toHz > 0 && !(options.fromHz < options.toHz)) {
    error = "'--from' must be below '--to'";
    return false;
  }
  if (!options.numericNames.empty() && !options.symbolicNames.empty()) {
    error = "'--numeric' and '--symbolic' cannot be combined: name the numbers or the symbols";
    return false;
  }
  // An approximation generated directly is never an exact formula that
  // values could be written into.
  if ((!options.numericNames.empty() || !options.symbolicNames.empty()) && options.approximationEps > 0 &&
      !options.exactFormulas && !options.noFormulas) {
    error = std::string("'--") + (options.numericNames.empty() ? "symbolic" : "numeric") +
            "' with '--approx' needs '--formulas=exact': values are written into the exact formulas, and the "
            "approximation is then made from them";
    return false;
  }
  if (options.noFormulas) {
    if (!options.numericNames.empty() || !options.symbolicNames.empty()) {
      error = std::string("'--") + (options.numericNames.empty() ? "symbolic" : "numeric") +
              "' writes values into the formulas: it cannot be combined with '--formulas=none'";
      return false;
    }
    if (options.approximationEps > 0) {
      error = "'--approx' approximates the formulas: it cannot be combined with '--formulas=none'";
      return false;
    }
    if (options.format == DocumentFormat::kLatex || options.format == DocumentFormat::kLatexBody) {
      error = "'--format=latex' typesets the formulas: it cannot be combined with '--formulas=none'";
      return false;
    }
    if (!options.numeric()) {
      error = "'--formulas=none' leaves only numbers: add '--eval', '--bode', '--pz' or '--report'";
      return false;
    }
  }
  return true;
}

bool parseSize(const char* text, std::size_t& bytes) {
  char* end = nullptr;
  if (*text < '0' || *text > '9') return false;
  const double number = std::strtod(text, &end);
  if (end == text) return false;
  double scale = 1;
  const char* unit = end;
  switch (*unit) {
    case 'k': case 'K': scale = 1024.0; ++unit; break;
    case 'm': case 'M': scale = 1024.0 * 1024; ++unit; break;
    case 'g': case 'G': scale = 1024.0 * 1024 * 1024; ++unit; break;
    case 't': case 'T': scale = 1024.0 * 1024 * 1024 * 1024; ++unit; break;
    default: break;
  }
  if (unit != end && *unit == 'i') ++unit;
  if (*unit == 'B') ++unit;
  if (*unit != 0) return false;
  const double value = number * scale;
  if (!(value >= 0) || value > 1e18) return false;
  bytes = static_cast<std::size_t>(value);
  return true;
}

void printUsage(std::FILE* stream) {
  std::fputs(
      "Usage: velkor [OPTION]... [FILE]...\n"
      "Analyse the linear networks of the netlists in FILE (standard input when\n"
      "there is none, or for -; several files are read as one input) and print\n"
      "their two-port parameters as symbolic rational functions of s.\n"
      "\n",
      stream);
  for (const OptionEntry& entry : kOptions) {
    std::string left = entry.shortName != 0 ? std::string("  -") + entry.shortName + ", " : std::string("      ");
    left += std::string("--") + entry.name;
    if (entry.argumentKind == required_argument) left += std::string("=") + entry.argument;
    if (entry.argumentKind == optional_argument) left += std::string("[=") + entry.argument + "]";
    if (left.size() < 24) left.resize(24, ' ');
    else left += "\n" + std::string(24, ' ');
    std::fprintf(stream, "%s%s\n", left.c_str(), entry.help);
  }
  std::fputs(
      "\n"
      "Exit status: 0 when every netlist was read and analysed without an error\n"
      "(warnings allowed), 1 after an error in a netlist or its analysis, a netlist\n"
      "cut short, a function abandoned at a bound or output that could not be\n"
      "written, 2 for a mistake on the command line.\n"
      "\n"
      "The netlist language is described in the manual page velkor(1) and in the\n"
      "manual that velkor prints for a netlist made of the entry h:\n"
      "  echo h | velkor\n",
      stream);
}

void applyToRun(const CommandLine& options, RunOptions& run) {
  run.plainPath = options.plainPath;
  run.jobs = options.jobs > 0 ? options.jobs : std::min(usableProcessors(), kMaxJobs);
  run.format = options.format;
  run.version = programVersion();
  run.quiet = options.quiet;
  run.strict = options.strict;
  run.secondsPerFunction = options.maxSeconds;
  run.progress = options.progress;
  run.noFormulas = options.noFormulas;
}

const char* programVersion() { return VELKOR_VERSION; }

void printVersion(std::FILE* stream) {
  std::fputs("velkor " VELKOR_VERSION
             "\n"
             "Copyright (c) 2025-2026 velkor developers.\n"
             "Free of charge for non-commercial use, without warranty; the terms are in\n"
             "the LICENSE file and at the end of the manual printed by: echo h | velkor\n",
             stream);
}

}  // namespace velkor

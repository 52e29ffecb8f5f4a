// Element values: numbers in the notation circuit designers write (plain and
// exponent numbers, scale suffixes f p n u m k meg g t mil in either case,
// unit letters after them ignored, and the `4k7` form), read from values
// files (one `NAME VALUE` a line) and from `NAME=VALUE` settings. A later
// value for a name replaces an earlier one. Names are compared exactly, case
// included, as symbols are.
//
// Everything read is bounded: a values file's lines, its size, the number of
// names, and the magnitude of a value (so that no product of values leaves
// the range of the numbers computed with it).
#pragma once

#include <cstddef>
#include <istream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

// The bounds on what is read.
constexpr std::size_t kValuesLineLimit = 4096;             // bytes in one line of a values file
constexpr std::size_t kValuesFileLimit = std::size_t{16} << 20;  // bytes in one values file
constexpr std::size_t kValueNamesLimit = 100000;           // names with a value, over all sources
// A value other than 0 has a magnitude from 1e-24 to 1e24.
constexpr long double kSmallestValue = 1e-24L;
constexpr long double kLargestValue = 1e24L;

// Reads a number such as `1.5k`, `10Meg`, `2.2uF`, `47p`, `1e-9`, `.5`,
// `-3`, `4k7`: a decimal number with an optional exponent, then an optional
// scale suffix (f 1e-15, p 1e-12, n 1e-9, u 1e-6, m 1e-3, mil 25.4e-6,
// k 1e3, meg 1e6, g 1e9, t 1e12, any case), then letters that are ignored
// (`Ohm`, `F`, `H`). So `10M` is 10 milli and `1F` is 1 femto, as circuit
// simulators read them. In the `4k7` form (digits, a scale suffix, digits)
// the suffix stands for the decimal point: 4.7k. Returns nothing for
// anything else, or for a value that is not finite.
std::optional<long double> parseEngineeringNumber(std::string_view text);

// For a number that parseEngineeringNumber() reads, a warning when it is
// likely meant otherwise: an upper-case M scale letter followed by more
// letters (`5MHz`, `1MOhm`), a unit written the engineering way, which is
// read as milli. Empty when there is nothing to say.
std::string scaleLetterWarning(std::string_view text);

// Whether a value is one that velkor computes with: 0, or a finite
// magnitude from kSmallestValue to kLargestValue.
bool valueInRange(long double value);

// A value that could not be read: `what()` is one line naming the place
// (`FILE:LINE: ...` or `--set=...: ...`).
class ValuesError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ElementValue {
  long double value = 0;
  std::string origin;  // where it was set: "FILE:LINE" or "--set"
};

// The values given for a run, by name.
class ElementValues {
 public:
  // Reads a values file's text; `fileName` is used in messages. Each line
  // holds a name and a value (separated by blanks or one `=`); `*` or `#`
  // starts a comment that runs to the end of the line; blank lines are
  // skipped, and so is a UTF-8 byte-order mark at the start. Throws
  // ValuesError for the first line that cannot be read, a line longer than
  // kValuesLineLimit and a file longer than kValuesFileLimit.
  void readFile(std::istream& in, const std::string& fileName);
  // Opens and reads a values file; an unreadable file is a ValuesError.
  void readFile(const std::string& path);
  // Reads one `NAME=VALUE` setting; throws ValuesError.
  void set(std::string_view setting);
  // Stores a value (which must be in range); throws ValuesError when it would
  // pass the bound on the number of names.
  void set(const std::string& name, long double value, std::string origin);

  const ElementValue* find(const std::string& name) const;
  const std::map<std::string, ElementValue>& all() const { return values_; }
  bool empty() const { return values_.empty(); }
  // The warnings about values read so far (see scaleLetterWarning()), each
  // one line that starts with the place ("FILE:LINE: " or "--set=...: ").
  const std::vector<std::string>& warnings() const { return warnings_; }

 private:
  // Reads the value `text` for `name`; `where` starts its messages.
  void readValue(const std::string& where, const std::string& name, const std::string& text, std::string origin);

  std::map<std::string, ElementValue> values_;
  std::vector<std::string> warnings_;
};

}  // namespace velkor

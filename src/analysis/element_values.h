// Element values: numbers in the notation circuit designers write (plain and
// exponent numbers, scale suffixes f p n u m k meg g t in either case, unit
// letters after them ignored), read from values files (one `NAME VALUE` a
// line) and from `NAME=VALUE` settings. A later value for a name replaces an
// earlier one. Names are compared exactly, case included, as symbols are.
#pragma once

#include <istream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velkor {

// Reads a number such as `1.5k`, `10Meg`, `2.2uF`, `47p`, `1e-9`, `.5`,
// `-3`: a decimal number with an optional exponent, then an optional scale
// suffix (f 1e-15, p 1e-12, n 1e-9, u 1e-6, m 1e-3, k 1e3, meg 1e6, g 1e9,
// t 1e12, any case), then letters that are ignored (`Ohm`, `F`, `H`). So
// `10M` is 10 milli and `1F` is 1 femto, as circuit simulators read them.
// Returns nothing for anything else, or for a value that is not finite.
std::optional<long double> parseEngineeringNumber(std::string_view text);

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
  // skipped. Throws ValuesError for the first line that cannot be read.
  void readFile(std::istream& in, const std::string& fileName);
  // Opens and reads a values file; an unreadable file is a ValuesError.
  void readFile(const std::string& path);
  // Reads one `NAME=VALUE` setting; throws ValuesError.
  void set(std::string_view setting);
  void set(const std::string& name, long double value, std::string origin);

  const ElementValue* find(const std::string& name) const;
  const std::map<std::string, ElementValue>& all() const { return values_; }
  bool empty() const { return values_.empty(); }

 private:
  std::map<std::string, ElementValue> values_;
};

}  // namespace velkor

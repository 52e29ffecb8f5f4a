#include "analysis/element_values.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "support/shown_text.h"

namespace velkor {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// The scale of the suffix at the start of `rest` (after the number), and how
// many characters it takes; 1 and 0 when there is none.
std::pair<long double, std::size_t> scaleSuffix(std::string_view rest) {
  auto startsWith = [&](const char* word) {
    for (std::size_t k = 0; word[k] != 0; ++k)
      if (k >= rest.size() || lower(rest[k]) != word[k]) return false;
    return true;
  };
  if (startsWith("meg")) return {1e6L, 3};
  if (startsWith("mil")) return {25.4e-6L, 3};  // a thousandth of an inch
  if (rest.empty()) return {1.0L, 0};
  switch (lower(rest[0])) {
    case 'f': return {1e-15L, 1};
    case 'p': return {1e-12L, 1};
    case 'n': return {1e-9L, 1};
    case 'u': return {1e-6L, 1};
    case 'm': return {1e-3L, 1};
    case 'k': return {1e3L, 1};
    case 'g': return {1e9L, 1};
    case 't': return {1e12L, 1};
    default: return {1.0L, 0};
  }
}

std::string trimmed(std::string_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return std::string(text.substr(begin, end - begin));
}

bool validName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name)
    if (std::isspace(static_cast<unsigned char>(c)) || c == '=' || c == '*' || c == '#') return false;
  return true;
}

}  // namespace

std::optional<long double> parseEngineeringNumber(std::string_view text) {
  // The number part: sign, digits with at most one point, optional exponent.
  std::size_t at = 0;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  std::size_t digits = 0;
  while (at < text.size() && isDigit(text[at])) ++at, ++digits;
  bool integer = true;  // digits alone: the 4k7 form may follow
  if (at < text.size() && text[at] == '.') {
    integer = false;
    ++at;
    while (at < text.size() && isDigit(text[at])) ++at, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (at < text.size() && lower(text[at]) == 'e') {
    // An exponent only when digits follow; otherwise `e` is a unit letter.
    std::size_t exp = at + 1;
    if (exp < text.size() && (text[exp] == '+' || text[exp] == '-')) ++exp;
    if (exp < text.size() && isDigit(text[exp])) {
      integer = false;
      at = exp;
      while (at < text.size() && isDigit(text[at])) ++at;
    }
  }
  std::string number(text.substr(0, at));
  std::string_view rest = text.substr(at);
  auto [scale, length] = scaleSuffix(rest);
  rest = rest.substr(length);
  if (integer && length > 0 && !rest.empty() && isDigit(rest.front())) {
    // 4k7: the digits after the suffix are the fraction.
    number += '.';
    while (!rest.empty() && isDigit(rest.front())) {
      number += rest.front();
      rest.remove_prefix(1);
    }
  }
  for (char c : rest)
    if (!isLetter(c)) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  long double value = std::strtold(number.c_str(), &end);
  if (end != number.c_str() + number.size() || errno == ERANGE) return std::nullopt;
  value *= scale;
  // Values are plotted and printed as doubles: they must fit one.
  if (!std::isfinite(static_cast<double>(value))) return std::nullopt;
  return value;
}

std::string scaleLetterWarning(std::string_view text) {
  if (!parseEngineeringNumber(text)) return {};
  std::size_t at = text.find_first_not_of("+-0123456789.");
  // An exponent is part of the number.
  if (at != std::string_view::npos && lower(text[at]) == 'e' && at + 1 < text.size() &&
      (isDigit(text[at + 1]) || ((text[at + 1] == '+' || text[at + 1] == '-') && at + 2 < text.size() &&
                                 isDigit(text[at + 2])))) {
    at = text.find_first_not_of("0123456789", at + 2);
  }
  if (at == std::string_view::npos || text[at] != 'M') return {};
  std::string_view rest = text.substr(at);
  if (scaleSuffix(rest).second != 1) return {};  // Meg and Mil are what they say
  if (rest.size() < 2 || !isLetter(rest[1])) return {};
  std::string number(text.substr(0, at));
  std::string unit(rest.substr(1));
  return "'" + shownText(text) + "' is read as " + number + "e-3 " + shownText(unit) +
         ": the scale letter M is milli in either case; for mega write " + number + "Meg" + shownText(unit);
}

bool valueInRange(long double value) {
  const long double magnitude = std::fabs(value);
  return value == 0 || (magnitude >= kSmallestValue && magnitude <= kLargestValue);
}

void ElementValues::set(const std::string& name, long double value, std::string origin) {
  auto found = values_.find(name);
  if (found != values_.end()) {
    found->second = ElementValue{value, std::move(origin)};
    return;
  }
  if (values_.size() >= kValueNamesLimit)
    throw ValuesError(origin + ": more than " + std::to_string(kValueNamesLimit) + " names with values");
  values_.emplace(name, ElementValue{value, std::move(origin)});
}

const ElementValue* ElementValues::find(const std::string& name) const {
  auto found = values_.find(name);
  return found == values_.end() ? nullptr : &found->second;
}

void ElementValues::readValue(const std::string& where, const std::string& name, const std::string& text,
                              std::string origin) {
  std::optional<long double> number = parseEngineeringNumber(text);
  if (!number) throw ValuesError(where + ": bad value '" + shownText(text) + "' for " + shownText(name));
  if (!valueInRange(*number))
    throw ValuesError(where + ": value '" + shownText(text) + "' for " + shownText(name) +
                      " out of range: a value is 0 or of a magnitude from 1e-24 to 1e24");
  std::string warning = scaleLetterWarning(text);
  if (!warning.empty()) warnings_.push_back(where + ": " + warning);
  set(name, *number, std::move(origin));
}

void ElementValues::set(std::string_view setting) {
  std::string where = "--set=" + shownText(setting);
  std::size_t equals = setting.find('=');
  if (equals == std::string_view::npos)
    throw ValuesError(where + ": expected NAME=VALUE");
  std::string name = trimmed(setting.substr(0, equals));
  std::string value = trimmed(setting.substr(equals + 1));
  if (!validName(name)) throw ValuesError(where + ": bad element name '" + shownText(name) + "'");
  readValue(where, name, value, "--set");
}

void ElementValues::readFile(std::istream& in, const std::string& fileName) {
  const std::string shownName = shownText(fileName);
  std::streambuf* source = in.rdbuf();
  std::size_t total = 0;
  std::string line;
  bool ended = source == nullptr;
  for (int lineNumber = 1; !ended; ++lineNumber) {
    std::string where = shownName + ":" + std::to_string(lineNumber);
    // One line, read byte by byte so that neither a line nor the file can
    // take more memory than its bound.
    line.clear();
    for (;;) {
      const int c = source->sbumpc();
      if (c == std::char_traits<char>::eof()) {
        ended = true;
        break;
      }
      if (++total > kValuesFileLimit)
        throw ValuesError(shownName + ": values file too large (more than " +
                          std::to_string(kValuesFileLimit >> 20) + " MiB)");
      if (c == '\n') break;
      if (line.size() == kValuesLineLimit)
        throw ValuesError(where + ": line too long (more than " + std::to_string(kValuesLineLimit) + " bytes)");
      line += static_cast<char>(c);
    }
    if (lineNumber == 1 && line.compare(0, 3, "\xef\xbb\xbf") == 0) line.erase(0, 3);  // a byte-order mark
    std::size_t comment = line.find_first_of("*#");
    if (comment != std::string::npos) line.erase(comment);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string shown = trimmed(line);
    // NAME VALUE, NAME=VALUE or NAME = VALUE.
    std::size_t equals = line.find('=');
    if (equals != std::string::npos) line[equals] = ' ';
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < line.size() && words.size() < 3) {
      while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) ++at;
      std::size_t start = at;
      while (at < line.size() && !std::isspace(static_cast<unsigned char>(line[at]))) ++at;
      if (at > start) words.push_back(line.substr(start, at - start));
    }
    if (words.empty()) continue;
    if (words.size() != 2 || !validName(words[0]))
      throw ValuesError(where + ": expected NAME VALUE, found '" + shownText(shown) + "'");
    readValue(where, words[0], words[1], where);
  }
  if (in.bad()) throw ValuesError(shownName + ": read error");
}

void ElementValues::readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ValuesError(shownText(path) + ": cannot open values file");
  readFile(in, path);
}

}  // namespace velkor

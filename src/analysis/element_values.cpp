#include "analysis/element_values.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace velkor {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// The scale of the suffix at the start of `rest` (after the number), and how
// many characters it takes; 1 and 0 when there is none.
std::pair<long double, std::size_t> scaleSuffix(std::string_view rest) {
  if (rest.size() >= 3 && lower(rest[0]) == 'm' && lower(rest[1]) == 'e' && lower(rest[2]) == 'g')
    return {1e6L, 3};
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
  if (at < text.size() && text[at] == '.') {
    ++at;
    while (at < text.size() && isDigit(text[at])) ++at, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (at < text.size() && lower(text[at]) == 'e') {
    // An exponent only when digits follow; otherwise `e` is a unit letter.
    std::size_t exp = at + 1;
    if (exp < text.size() && (text[exp] == '+' || text[exp] == '-')) ++exp;
    if (exp < text.size() && isDigit(text[exp])) {
      at = exp;
      while (at < text.size() && isDigit(text[at])) ++at;
    }
  }
  std::string number(text.substr(0, at));
  errno = 0;
  char* end = nullptr;
  long double value = std::strtold(number.c_str(), &end);
  if (end != number.c_str() + number.size() || errno == ERANGE) return std::nullopt;
  std::string_view rest = text.substr(at);
  auto [scale, length] = scaleSuffix(rest);
  for (char c : rest.substr(length))
    if (!isLetter(c)) return std::nullopt;
  value *= scale;
  // Values are plotted and printed as doubles: they must fit one.
  if (!std::isfinite(static_cast<double>(value))) return std::nullopt;
  return value;
}

void ElementValues::set(const std::string& name, long double value, std::string origin) {
  values_[name] = ElementValue{value, std::move(origin)};
}

const ElementValue* ElementValues::find(const std::string& name) const {
  auto found = values_.find(name);
  return found == values_.end() ? nullptr : &found->second;
}

void ElementValues::set(std::string_view setting) {
  std::string where = "--set=" + std::string(setting);
  std::size_t equals = setting.find('=');
  if (equals == std::string_view::npos)
    throw ValuesError(where + ": expected NAME=VALUE");
  std::string name = trimmed(setting.substr(0, equals));
  std::string value = trimmed(setting.substr(equals + 1));
  if (!validName(name)) throw ValuesError(where + ": bad element name '" + name + "'");
  std::optional<long double> number = parseEngineeringNumber(value);
  if (!number) throw ValuesError(where + ": bad value '" + value + "' for " + name);
  set(name, *number, "--set");
}

void ElementValues::readFile(std::istream& in, const std::string& fileName) {
  std::string line;
  for (int lineNumber = 1; std::getline(in, line); ++lineNumber) {
    std::string where = fileName + ":" + std::to_string(lineNumber);
    std::size_t comment = line.find_first_of("*#");
    if (comment != std::string::npos) line.erase(comment);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string shown = trimmed(line);
    // NAME VALUE, NAME=VALUE or NAME = VALUE.
    std::size_t equals = line.find('=');
    if (equals != std::string::npos) line[equals] = ' ';
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < line.size()) {
      while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) ++at;
      std::size_t start = at;
      while (at < line.size() && !std::isspace(static_cast<unsigned char>(line[at]))) ++at;
      if (at > start) words.push_back(line.substr(start, at - start));
    }
    if (words.empty()) continue;
    if (words.size() != 2 || !validName(words[0]))
      throw ValuesError(where + ": expected NAME VALUE, found '" + shown + "'");
    std::optional<long double> number = parseEngineeringNumber(words[1]);
    if (!number) throw ValuesError(where + ": bad value '" + words[1] + "' for " + words[0]);
    set(words[0], *number, where);
  }
  if (in.bad()) throw ValuesError(fileName + ": read error");
}

void ElementValues::readFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw ValuesError(path + ": cannot open values file");
  readFile(in, path);
}

}  // namespace velkor

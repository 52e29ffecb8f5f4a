#include "input/spice_expressions.h"

#include <cctype>
#include <cmath>

namespace velkor {

namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }
bool letter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool nameChar(char c) { return letter(c) || digit(c) || c == '_' || c == '.'; }
char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Recursive descent over one expression; every mistake throws at the
// expression's word with the offending character named.
class ExpressionParser {
 public:
  ExpressionParser(std::string_view text, const ParameterScope& scope, NumberParser parse,
                   const std::function<std::string()>& where)
      : text_(text), scope_(scope), parse_(parse), where_(where) {}

  long double run() {
    long double value = sum();
    skipBlanks();
    if (at_ < text_.size()) fail("expected an operator or the end of the expression");
    return value;
  }

 private:
  [[noreturn]] void fail(const std::string& expected) const {
    std::string found = at_ < text_.size() ? "'" + std::string(1, text_[at_]) + "'" : "the end";
    throw DeckError(where_(), expected + " in '" + std::string(text_) + "', found " + found);
  }
  void skipBlanks() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t')) ++at_;
  }
  bool take(char c) {
    skipBlanks();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  int depth_ = 0;

  long double sum() {
    if (++depth_ > 200) fail("expected a less deeply nested expression");
    long double value = product();
    for (;;) {
      if (take('+'))
        value += product();
      else if (take('-'))
        value -= product();
      else
        break;
    }
    --depth_;
    return value;
  }
  long double product() {
    long double value = unary();
    for (;;) {
      skipBlanks();
      if (at_ + 1 < text_.size() && text_[at_] == '*' && text_[at_ + 1] == '*') break;  // a power
      if (take('*')) {
        value *= unary();
      } else if (take('/')) {
        const long double divisor = unary();
        if (divisor == 0) fail("expected a divisor other than 0");
        value /= divisor;
      } else {
        break;
      }
    }
    return value;
  }
  long double unary() {
    if (take('-')) return -unary();
    if (take('+')) return unary();
    long double base = primary();
    skipBlanks();
    bool power = false;
    if (take('^'))
      power = true;
    else if (at_ + 1 < text_.size() && text_[at_] == '*' && text_[at_ + 1] == '*')
      at_ += 2, power = true;
    if (power) base = std::pow(base, unary());
    return base;
  }
  long double primary() {
    skipBlanks();
    if (take('(')) {
      long double value = sum();
      if (!take(')')) fail("expected ')'");
      return value;
    }
    if (at_ < text_.size() && (digit(text_[at_]) || text_[at_] == '.')) {
      std::size_t start = at_;
      while (at_ < text_.size() && (digit(text_[at_]) || text_[at_] == '.')) ++at_;
      if (at_ < text_.size() && lower(text_[at_]) == 'e') {
        std::size_t exp = at_ + 1;
        if (exp < text_.size() && (text_[exp] == '+' || text_[exp] == '-')) ++exp;
        if (exp < text_.size() && digit(text_[exp])) {
          at_ = exp;
          while (at_ < text_.size() && digit(text_[at_])) ++at_;
        }
      }
      while (at_ < text_.size() && (letter(text_[at_]) || digit(text_[at_]))) ++at_;
      std::optional<long double> value = deckNumber(text_.substr(start, at_ - start), parse_);
      if (!value) {
        at_ = start;
        fail("expected a number");
      }
      return *value;
    }
    if (at_ < text_.size() && (letter(text_[at_]) || text_[at_] == '_')) {
      std::size_t start = at_;
      while (at_ < text_.size() && nameChar(text_[at_])) ++at_;
      std::string name(text_.substr(start, at_ - start));
      if (take('(')) return function(name, start);
      const long double* value = scope_.find(name);
      if (value == nullptr) {
        at_ = start;
        fail("expected a parameter defined by .param or the subcircuit ('" + name + "' is not)");
      }
      return *value;
    }
    fail("expected a number, a parameter or '('");
  }
  long double function(const std::string& name, std::size_t start) {
    long double args[2] = {};
    int count = 0;
    if (!take(')')) {
      for (;;) {
        long double value = sum();
        if (count < 2) args[count] = value;
        ++count;
        if (take(')')) break;
        if (!take(',')) fail("expected ',' or ')'");
      }
    }
    struct One {
      const char* name;
      long double (*f)(long double);
    };
    static const One kOne[] = {
        {"sqrt", [](long double x) { return std::sqrt(x); }}, {"abs", [](long double x) { return std::fabs(x); }},
        {"exp", [](long double x) { return std::exp(x); }},   {"ln", [](long double x) { return std::log(x); }},
        {"log", [](long double x) { return std::log(x); }},   {"log10", [](long double x) { return std::log10(x); }},
    };
    for (const One& f : kOne)
      if (name == f.name && count == 1) return check(f.f(args[0]), start);
    if (count == 2 && name == "pow") return check(std::pow(args[0], args[1]), start);
    if (count == 2 && name == "min") return args[0] < args[1] ? args[0] : args[1];
    if (count == 2 && name == "max") return args[0] < args[1] ? args[1] : args[0];
    at_ = start;
    fail("expected one of sqrt abs exp ln log log10 (one argument) or pow min max (two)");
  }
  long double check(long double value, std::size_t start) {
    if (!std::isfinite(value)) {
      at_ = start;
      fail("expected a function argument in its domain");
    }
    return value;
  }

  std::string_view text_;
  const ParameterScope& scope_;
  NumberParser parse_;
  const std::function<std::string()>& where_;
  std::size_t at_ = 0;
};

}  // namespace

std::optional<long double> deckNumber(std::string_view text, NumberParser parse) {
  // The number part: sign, digits, point, exponent.
  std::size_t at = 0;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  std::size_t digitsEnd = at;
  bool point = false;
  while (digitsEnd < text.size() && (digit(text[digitsEnd]) || (text[digitsEnd] == '.' && !point))) {
    point = point || text[digitsEnd] == '.';
    ++digitsEnd;
  }
  std::string_view rest = text.substr(digitsEnd);
  // 4k7 and 1meg5: the scale letters stand for the decimal point.
  if (!point && digitsEnd > at) {
    static const char* const kScales[] = {"meg", "f", "p", "n", "u", "m", "k", "g", "t"};
    for (const char* scale : kScales) {
      std::size_t n = std::char_traits<char>::length(scale);
      if (rest.size() <= n) continue;
      bool same = true;
      for (std::size_t k = 0; k < n; ++k) same = same && lower(rest[k]) == scale[k];
      if (!same || !digit(rest[n])) continue;
      std::size_t end = n;
      while (end < rest.size() && digit(rest[end])) ++end;
      for (std::size_t k = end; k < rest.size(); ++k)
        if (!letter(rest[k])) return std::nullopt;
      std::string written = std::string(text.substr(0, digitsEnd)) + "." + std::string(rest.substr(n, end - n)) +
                            std::string(rest.substr(0, n));
      return parse(written);
    }
  }
  // mil: a thousandth of an inch.
  if (rest.size() >= 3 && lower(rest[0]) == 'm' && lower(rest[1]) == 'i' && lower(rest[2]) == 'l') {
    for (char c : rest.substr(3))
      if (!letter(c)) return std::nullopt;
    std::optional<long double> number = parse(text.substr(0, digitsEnd));
    if (!number) return std::nullopt;
    return *number * 25.4e-6L;
  }
  return parse(text);
}

long double deckValue(std::string_view text, const ParameterScope& scope, NumberParser parse,
                      const std::function<std::string()>& where) {
  if (text.size() >= 2 && text.front() == '{' && text.back() == '}') {
    long double value = ExpressionParser(text.substr(1, text.size() - 2), scope, parse, where).run();
    if (!std::isfinite(static_cast<double>(value)))
      throw DeckError(where(), "expected an expression with a finite value, found '" + std::string(text) + "'");
    return value;
  }
  std::optional<long double> value = deckNumber(text, parse);
  if (!value) {
    // A bare parameter name, as some decks write it.
    if (const long double* named = scope.find(std::string(text))) return *named;
    throw DeckError(where(), "expected a value (a number such as 4k7, 10u or 1.5meg, or {expression}), found '" +
                                 std::string(text) + "'");
  }
  return *value;
}

}  // namespace velkor

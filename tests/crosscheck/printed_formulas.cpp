#include "crosscheck/printed_formulas.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace velkor::crosscheck {

namespace {

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::string format(const char* pattern, long value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pattern, value);
  return buffer;
}

// The term line as the printer lays it out, for a layout check of what was read.
std::string layoutTerm(const PrintedTerm& term) {
  std::string line(9, ' ');
  bool one = term.coefficient == BigInt(1);
  if (one) {
    line += "   ";
  } else {
    std::string digits = term.coefficient.toString();
    line += std::string(digits.size() < 3 ? 3 - digits.size() : 0, ' ') + digits;
  }
  for (const auto& [name, exponent] : term.symbols)
    line += exponent == 1 ? " " + name + "   " : " " + name + "^" + format("%-2ld", exponent);
  if (term.symbols.empty() && one) line += " 1";
  return line;
}

PrintedTerm parseTerm(const std::string& line, int power) {
  PrintedTerm term;
  term.power = power;
  std::istringstream fields(line.substr(9));
  std::string field;
  bool first = true;
  bool sawCoefficient = false;
  while (fields >> field) {
    bool numeric = field[0] == '-' || (field[0] >= '0' && field[0] <= '9');
    if (first && numeric) {
      term.coefficient = BigInt::parse(field);
      sawCoefficient = true;
    } else {
      std::size_t caret = field.find('^');
      int exponent = 1;
      std::string name = field;
      if (caret != std::string::npos) {
        name = field.substr(0, caret);
        exponent = std::stoi(field.substr(caret + 1));
        if (exponent < 2) throw std::runtime_error("exponent below 2 after a caret: " + line);
      }
      if (name.empty()) throw std::runtime_error("empty symbol in: " + line);
      term.symbols.emplace_back(name, exponent);
    }
    first = false;
  }
  if (!sawCoefficient) term.coefficient = BigInt(1);
  if (first) throw std::runtime_error("empty term line");
  if (term.coefficient.isZero()) throw std::runtime_error("term with coefficient 0: " + line);
  if (layoutTerm(term) != line)
    throw std::runtime_error("term line laid out as\n[" + line + "]\nexpected\n[" + layoutTerm(term) + "]");
  return term;
}

// Reads one polynomial from `lines` starting at `at`, up to the line `stop`.
PrintedPolynomial parsePolynomial(const std::vector<std::string>& lines, std::size_t& at,
                                  const std::string& stop) {
  PrintedPolynomial poly;
  bool inGroup = false;
  bool zero = false;
  int power = -1;
  std::size_t groupStart = 0;
  for (; at < lines.size(); ++at) {
    const std::string& line = lines[at];
    if (line == stop) {
      if (inGroup) throw std::runtime_error("group not closed before " + stop);
      if (!zero && poly.terms.empty()) throw std::runtime_error("polynomial without groups or 0");
      return poly;
    }
    if (line.empty()) continue;
    if (line.rfind(" + s^", 0) == 0) {
      if (inGroup || zero) throw std::runtime_error("unexpected group heading: " + line);
      int next = std::stoi(line.substr(5));
      if (line != " + s^" + format("%-2ld", next) + " (")
        throw std::runtime_error("group heading laid out as [" + line + "]");
      if (next <= power) throw std::runtime_error("group powers not rising: " + line);
      power = next;
      inGroup = true;
      groupStart = poly.terms.size();
    } else if (line == "        )") {
      if (!inGroup) throw std::runtime_error("unmatched group end");
      if (poly.terms.size() == groupStart) throw std::runtime_error("group without terms");
      inGroup = false;
    } else if (line == "        0") {
      if (inGroup || !poly.terms.empty() || zero) throw std::runtime_error("misplaced 0 line");
      zero = true;
    } else if (inGroup && line.size() > 9 && line.compare(0, 9, "         ") == 0) {
      poly.terms.push_back(parseTerm(line, power));
    } else {
      throw std::runtime_error("unexpected line in polynomial: [" + line + "]");
    }
  }
  throw std::runtime_error("output ends before " + stop);
}

}  // namespace

Rational PrintedPolynomial::evaluate(const std::map<std::string, Rational>& values, const Rational& s) const {
  // Each term's numerator and denominator are multiplied out as integers and
  // reduced once: terms can hold dozens of symbols.
  auto raise = [](BigInt& into, const BigInt& base, int exponent) {
    for (int k = 0; k < exponent; ++k) into *= base;
  };
  Rational sum;
  for (const PrintedTerm& term : terms) {
    BigInt numerator = term.coefficient;
    BigInt denominator(1);
    raise(numerator, s.numerator(), term.power);
    raise(denominator, s.denominator(), term.power);
    for (const auto& [name, exponent] : term.symbols) {
      auto found = values.find(name);
      if (found == values.end()) throw std::out_of_range("no value for symbol " + name);
      raise(numerator, found->second.numerator(), exponent);
      raise(denominator, found->second.denominator(), exponent);
    }
    sum += Rational(numerator, denominator);
  }
  return sum;
}

std::string PrintedPolynomial::toString() const {
  if (terms.empty()) return "0";
  std::string text;
  for (const PrintedTerm& term : terms) {
    std::string coefficient = term.coefficient.toString();
    if (!text.empty() && coefficient[0] != '-') text += " +";
    text += " " + coefficient;
    if (term.power > 0) text += "*s^" + std::to_string(term.power);
    for (const auto& [name, exponent] : term.symbols)
      text += "*" + name + (exponent > 1 ? "^" + std::to_string(exponent) : "");
  }
  return text;
}

std::vector<PrintedNetlist> parseRunOutput(const std::string& output) {
  std::vector<std::string> lines = splitLines(output);
  std::vector<PrintedNetlist> netlists;
  for (std::size_t at = 0; at < lines.size(); ++at) {
    const std::string& line = lines[at];
    if (line == "input data:") {
      netlists.emplace_back();
      continue;
    }
    if (line != " Function:") continue;
    if (netlists.empty()) throw std::runtime_error("Function block before any netlist");
    if (at + 1 >= lines.size()) throw std::runtime_error("output ends after Function:");
    PrintedFormula formula;
    formula.heading = lines[++at];
    if (formula.heading.size() < 2 || formula.heading[0] != ' ')
      throw std::runtime_error("bad heading: " + formula.heading);
    formula.letter = formula.heading[1];
    // Optional listings (trace bits) may stand between heading and numerator.
    while (++at < lines.size() && lines[at] != " Numerator:") {
      if (lines[at] == " Function:" || lines[at] == " End:")
        throw std::runtime_error("no numerator after heading " + formula.heading);
    }
    ++at;
    formula.numerator = parsePolynomial(lines, at, " Denominator:");
    ++at;
    formula.denominator = parsePolynomial(lines, at, " End:");
    netlists.back().formulas.push_back(std::move(formula));
  }
  return netlists;
}

}  // namespace velkor::crosscheck

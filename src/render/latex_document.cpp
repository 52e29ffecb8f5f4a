#include "render/latex_document.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <vector>

#include "analysis/approximation.h"
#include "model/element_symbols.h"
#include "render/approximation_text.h"
#include "render/formula_signs.h"
#include "render/numeric_latex.h"

namespace velkor {

namespace {

// One character of a name in math mode.
void appendEscaped(std::string& out, char c) {
  switch (c) {
    case '_': out += "\\_"; return;
    case '#': out += "\\#"; return;
    case '$': out += "\\$"; return;
    case '%': out += "\\%"; return;
    case '&': out += "\\&"; return;
    case '{': out += "\\{"; return;
    case '}': out += "\\}"; return;
    case '\\': out += "\\backslash "; return;
    case '^': out += "\\wedge "; return;
    case '~': out += "\\sim "; return;
    default: break;
  }
  const unsigned char u = static_cast<unsigned char>(c);
  // Anything outside printable ASCII has no safe form in math mode.
  out += u >= 0x20 && u < 0x7f ? c : '?';
}

// Text in a LaTeX paragraph (the headings of the full document).
std::string textEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\textbackslash{}"; break;
      case '^': out += "\\textasciicircum{}"; break;
      case '~': out += "\\textasciitilde{}"; break;
      case '_': case '#': case '$': case '%': case '&': case '{': case '}':
        out += '\\';
        out += c;
        break;
      default: {
        const unsigned char u = static_cast<unsigned char>(c);
        out += u >= 0x20 && u < 0x7f ? c : '?';
      }
    }
  }
  return out;
}

std::string powerOfS(int power) {
  if (power == 0) return "";
  if (power == 1) return "s";
  return "s^{" + std::to_string(power) + "}";
}

// The product of a term's symbols, e.g. "c_{1}\,r_{2}^{2}"; empty for none.
// `names` holds each symbol typeset.
std::string symbolProduct(const std::vector<std::string>& names, const TermView& term) {
  std::string out;
  for (int i = 0; i < term.factorCount; ++i) {
    const int symbol = term.factors[i].symbol;
    if (!out.empty()) out += "\\,";
    out += symbol >= 0 && static_cast<std::size_t>(symbol) < names.size() ? names[static_cast<std::size_t>(symbol)]
                                                                          : std::string("?");
    if (term.factors[i].exponent != 1) out += "^{" + std::to_string(term.factors[i].exponent) + "}";
  }
  return out;
}


}  // namespace

double latexWidth(const std::string& math) {
  // Widths in points at 10 pt, rounded up: a letter or digit, a binary
  // operator with its spaces, a thin space; a subscript or superscript at
  // seven tenths of its text.
  double width = 0;
  double scale = 1;
  std::vector<double> scales;  // the scale outside each open brace
  for (std::size_t k = 0; k < math.size(); ++k) {
    const char c = math[k];
    if (c == '\\') {
      std::size_t end = k + 1;
      while (end < math.size() && std::isalpha(static_cast<unsigned char>(math[end]))) ++end;
      const std::string command = math.substr(k + 1, end - k - 1);
      if (command.empty()) {
        // \, \_ \{ ...
        width += (end < math.size() && math[end] == ',' ? 1.7 : 5.5) * scale;
        k = end;
      } else {
        if (command == "bigl" || command == "bigr") width += 5 * scale;
        else if (command == "quad") width += 10 * scale;
        else if (command != "mathrm" && command != "tilde" && command != "text") width += 8 * scale;
        k = end - 1;
      }
      continue;
    }
    if (c == '_' || c == '^') {
      scales.push_back(scale);
      scale *= 0.7;
      if (k + 1 < math.size() && math[k + 1] == '{') ++k;
      else scales.back() = -scales.back();  // one character only
      continue;
    }
    if (c == '{') {
      scales.push_back(scale);
      continue;
    }
    if (c == '}') {
      if (!scales.empty()) {
        scale = std::fabs(scales.back());
        scales.pop_back();
      }
      continue;
    }
    if (c == ' ') continue;
    if (c == '+' || c == '-' || c == '=') {
      // Binary (spaced) after a blank, else a sign.
      width += (k > 0 && math[k - 1] == ' ' ? 12.5 : 8) * scale;
      continue;
    }
    width += (std::isdigit(static_cast<unsigned char>(c)) ? 5.0 : 6.0) * scale;
    if (!scales.empty() && scales.back() < 0) {
      scale = -scales.back();
      scales.pop_back();
    }
  }
  return width;
}

std::string latexName(const std::string& name) {
  if (name.empty()) return "?";
  std::string out;
  appendEscaped(out, name[0]);
  // An underscore after the letter only marks the subscript: r_load as r_{load}.
  const std::string rest = name.size() > 2 && name[1] == '_' ? name.substr(2) : name.substr(1);
  if (rest.empty()) return out;
  bool digits = true;
  for (char c : rest) digits = digits && std::isdigit(static_cast<unsigned char>(c));
  std::string sub;
  for (char c : rest) appendEscaped(sub, c);
  out += digits ? "_{" + sub + "}" : "_{\\mathrm{" + sub + "}}";
  return out;
}

void LatexDocument::beginRun() {
  if (bodyOnly_) return;
  out_.print(
      "\\documentclass{article}\n"
      "\\usepackage{amsmath}\n"
      "\\allowdisplaybreaks\n"
      "\\begin{document}\n");
}

void LatexDocument::beginNetlist(const NetlistRecord& netlist) {
  if (!bodyOnly_) out_.print("\n\\section*{Netlist %d}\n", netlist.number);
}

void LatexDocument::endRun() {
  if (!bodyOnly_) out_.print("\n\\end{document}\n");
}

void LatexDocument::formulaFinished(const FinishedFormula& formula) {
  if (!bodyOnly_) out_.print("\n\\noindent %s\n", textEscaped(formula.heading).c_str());
  const std::string name = latexName(formula.name);
  if (formula.outcome == FormulaOutcome::kApproximated && formula.approximation != nullptr) {
    writeApproximation(formula, name, *formula.approximation);
    return;
  }
  if (formula.outcome != FormulaOutcome::kDone || formula.numerator == nullptr || formula.denominator == nullptr) {
    if (!bodyOnly_) {
      const std::string why = formula.failed() ? formula.message : std::string("not computed\n");
      out_.print("\n\\noindent %s: %s", name.empty() ? "" : formula.name.c_str(), textEscaped(why).c_str());
    }
    return;
  }
  if (!bodyOnly_ && !formula.valuesInFormula.empty()) {
    // The elements written as numbers in the equation below.
    std::string line = "\n\\noindent At values:";
    for (std::size_t k = 0; k < formula.valuesInFormula.size(); ++k)
      line += std::string(k == 0 ? " $" : ", $") + latexName(formula.valuesInFormula[k].name) + " = " +
              latexNumber(formula.valuesInFormula[k].value) + "$";
    line += ".\n";
    out_.write(line.data(), line.size());
  }
  writeEquation(formula, name, *formula.numerator, *formula.denominator);
  if (extra_) {
    const std::string numbers = extra_(formula);
    out_.write(numbers.data(), numbers.size());
  }
  if (formula.approximation != nullptr) writeApproximation(formula, name, *formula.approximation);
}

void LatexDocument::writeApproximation(const FinishedFormula& formula, const std::string& name,
                                       const Approximation& shown) {
  const Approximation* approximation = &shown;
  if (!bodyOnly_) out_.print("\n\\noindent Approximation: %s\n", textEscaped(approximationCaption(*approximation)).c_str());
  if (approximation->simplified()) {
    // The tilde over the letter, not over its subscript: \tilde{g}_{21}.
    const std::size_t subscript = std::min(name.find('_'), name.size());
    writeEquation(formula, "\\tilde{" + name.substr(0, subscript) + "}" + name.substr(subscript),
                  approximation->numerator, approximation->denominator);
  }
}

void LatexDocument::writeEquation(const FinishedFormula& formula, const std::string& name,
                                  const PolynomialView& numerator, const PolynomialView& denominator) {
  const bool negate = negatedForDisplay(numerator, denominator);
  const SignedPolynomial shownNumerator(numerator, negate), shownDenominator(denominator, negate);
  // One fraction when both polynomials fit on a line beside the name.
  const double room = kLineWidthPt - latexWidth(name) - kEqualsWidthPt;
  double numeratorWidth = 0, denominatorWidth = 0;
  writePolynomial(formula, shownNumerator, nullptr, &numeratorWidth);
  writePolynomial(formula, shownDenominator, nullptr, &denominatorWidth);
  out_.print("\n\\begin{align*}\n");
  if (std::max(numeratorWidth, denominatorWidth) <= room) {
    out_.print("%s &= \\frac{", name.c_str());
    writePolynomial(formula, shownNumerator, &out_, nullptr);
    out_.print("}{");
    writePolynomial(formula, shownDenominator, &out_, nullptr);
    out_.print("}\n");
  } else {
    out_.print("%s &= \\frac{N}{D},\\quad\\text{where}\\\\\nN &= ", name.c_str());
    writePolynomial(formula, shownNumerator, &out_, nullptr);
    out_.print("\\\\\nD &= ");
    writePolynomial(formula, shownDenominator, &out_, nullptr);
    out_.print("\n");
  }
  out_.print("\\end{align*}\n");
}

// Groups by powers of s: a group of one term is written as that term with
// its power of s, a larger one as s^k(...). Coefficients 1 and -1 go into
// the sign. Written to `out` (when not null), a new line starts before a
// term that would pass the line's width; `width` (when not null) gets the
// width of the whole sum on one line.
void LatexDocument::writePolynomial(const FinishedFormula& formula, const PolynomialView& polynomial, Output* out,
                                    double* width) {
  std::vector<std::string> names;
  names.reserve(formula.symbols.size());
  for (const std::string& symbol : formula.symbols) names.push_back(latexName(symbol));
  struct Pending {
    bool held = false;
    int power = 0;
    bool negative = false;
    std::string magnitude;
    std::string symbols;
  } pending;
  bool anyTerm = false;
  bool groupOpen = false;   // a multi-term group has been started
  double onLine = 0;        // width of the current line so far
  double total = 0;
  // A term's coefficient without its sign: an integer, or a real number
  // (elements at their values) in six significant digits.
  auto magnitudeOf = [](const TermView& term) {
    if (term.real != nullptr) return latexNumber(std::fabs(term.real->value));
    const std::int64_t c = term.coefficient;
    return std::to_string(c < 0 ? 0u - static_cast<std::uint64_t>(c) : static_cast<std::uint64_t>(c));
  };
  auto separator = [&](bool negative, bool first) {
    if (negative) return first ? std::string("-") : std::string(" - ");
    return first ? std::string() : std::string(" + ");
  };
  auto body = [&](const std::string& magnitude, const std::string& symbols, const std::string& power) {
    std::string text;
    if (magnitude != "1" || (symbols.empty() && power.empty())) text = magnitude;
    for (const std::string* part : {&power, &symbols}) {
      if (part->empty()) continue;
      if (!text.empty()) text += "\\,";
      text += *part;
    }
    return text;
  };
  // Writes one term's text, on a new line when the line is full.
  auto emit = [&](const std::string& text) {
    const double w = latexWidth(text);
    total += w;
    if (out == nullptr) return;
    if (onLine > 0 && onLine + w > kLineWidthPt - kContinuationIndentPt) {
      out->print("\\\\\n  &\\quad ");
      onLine = 0;
    }
    out->write(text.data(), text.size());
    onLine += w;
  };
  // Text that stays on its term's line (a closing parenthesis).
  auto append = [&](const std::string& text) {
    const double w = latexWidth(text);
    total += w;
    onLine += w;
    if (out != nullptr) out->write(text.data(), text.size());
  };
  // Writes the held term: alone (its group had one term) or as the first
  // of an opened group.
  auto flush = [&](bool opensGroup) {
    if (!pending.held) return;
    if (opensGroup) {
      const std::string power = powerOfS(pending.power);
      groupOpen = !power.empty();
      // A group at s^0 needs no parentheses: its terms are written as they are.
      if (groupOpen)
        emit(std::string(anyTerm ? " + " : "") + power + "\\bigl(" + separator(pending.negative, true) +
             body(pending.magnitude, pending.symbols, ""));
      else
        emit(separator(pending.negative, !anyTerm) + body(pending.magnitude, pending.symbols, ""));
    } else {
      emit(separator(pending.negative, !anyTerm) +
           body(pending.magnitude, pending.symbols, powerOfS(pending.power)));
    }
    anyTerm = true;
    pending.held = false;
  };
  bool inGroup = false;  // the current group has more than one term
  int groupPower = 0;
  polynomial.forEachTerm([&](const TermView& term) {
    if (pending.held && term.power == pending.power) {
      flush(true);
      inGroup = true;
      groupPower = term.power;
    } else if (inGroup && term.power == groupPower) {
      // continues below
    } else {
      if (pending.held) flush(false);
      if (inGroup) {
        if (groupOpen) append("\\bigr)");
        inGroup = false;
        groupOpen = false;
      }
    }
    if (inGroup && term.power == groupPower) {
      emit(separator(term.negative(), false) + body(magnitudeOf(term), symbolProduct(names, term), ""));
      return;
    }
    pending.held = true;
    pending.power = term.power;
    pending.negative = term.negative();
    pending.magnitude = magnitudeOf(term);
    pending.symbols = symbolProduct(names, term);
  });
  if (pending.held) flush(false);
  if (inGroup && groupOpen) append("\\bigr)");
  if (!anyTerm) append("0");
  if (width != nullptr) *width = total;
}

}  // namespace velkor

#include "render/latex_document.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <vector>

#include "analysis/approximation.h"
#include "model/element_symbols.h"
#include "render/approximation_text.h"

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

int termCount(const PolynomialView& polynomial) {
  int count = 0;
  polynomial.forEachTerm([&](const TermView&) { ++count; });
  return count;
}

}  // namespace

std::string latexName(const std::string& name) {
  if (name.empty()) return "?";
  std::string out;
  appendEscaped(out, name[0]);
  const std::string rest = name.substr(1);
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
  writeEquation(formula, name, *formula.numerator, *formula.denominator);
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
  const bool broken = termCount(numerator) + termCount(denominator) > kTermsInOneFraction;
  out_.print("\n\\begin{align*}\n");
  if (!broken) {
    out_.print("%s &= \\frac{", name.c_str());
    writePolynomial(formula, numerator, false);
    out_.print("}{");
    writePolynomial(formula, denominator, false);
    out_.print("}\n");
  } else {
    out_.print("%s &= \\frac{N}{D},\\quad\\text{where}\\\\\nN &= ", name.c_str());
    writePolynomial(formula, numerator, true);
    out_.print("\\\\\nD &= ");
    writePolynomial(formula, denominator, true);
    out_.print("\n");
  }
  out_.print("\\end{align*}\n");
}

// Groups by powers of s: a group of one term is written as that term with
// its power of s, a larger one as s^k(...). Coefficients 1 and -1 go into
// the sign. `broken` starts a new line every kTermsPerLine terms.
void LatexDocument::writePolynomial(const FinishedFormula& formula, const PolynomialView& polynomial, bool broken) {
  std::vector<std::string> names;
  names.reserve(formula.symbols.size());
  for (const std::string& symbol : formula.symbols) names.push_back(latexName(symbol));
  struct Pending {
    bool held = false;
    int power = 0;
    std::int64_t coefficient = 0;
    std::string symbols;
  } pending;
  bool anyTerm = false;
  bool groupOpen = false;   // a multi-term group has been started
  int onLine = 0;
  auto separator = [&](std::int64_t coefficient, bool first) {
    if (coefficient < 0) return first ? std::string("-") : std::string(" - ");
    return first ? std::string() : std::string(" + ");
  };
  auto body = [&](std::int64_t coefficient, const std::string& symbols, const std::string& power) {
    const std::uint64_t magnitude =
        coefficient < 0 ? 0u - static_cast<std::uint64_t>(coefficient) : static_cast<std::uint64_t>(coefficient);
    std::string out;
    if (magnitude != 1 || (symbols.empty() && power.empty())) out = std::to_string(magnitude);
    for (const std::string* part : {&power, &symbols}) {
      if (part->empty()) continue;
      if (!out.empty()) out += "\\,";
      out += *part;
    }
    return out;
  };
  // Writes one term's text, on a new line when the line is full.
  auto emit = [&](const std::string& text) {
    if (broken && onLine == kTermsPerLine) {
      out_.print("\\\\\n  &\\quad ");
      onLine = 0;
    }
    out_.write(text.data(), text.size());
    ++onLine;
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
        emit(std::string(anyTerm ? " + " : "") + power + "\\bigl(" + separator(pending.coefficient, true) +
             body(pending.coefficient, pending.symbols, ""));
      else
        emit(separator(pending.coefficient, !anyTerm) + body(pending.coefficient, pending.symbols, ""));
    } else {
      emit(separator(pending.coefficient, !anyTerm) +
           body(pending.coefficient, pending.symbols, powerOfS(pending.power)));
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
        if (groupOpen) out_.print("\\bigr)");
        inGroup = false;
        groupOpen = false;
      }
    }
    if (inGroup && term.power == groupPower) {
      emit(separator(term.coefficient, false) + body(term.coefficient, symbolProduct(names, term), ""));
      return;
    }
    pending.held = true;
    pending.power = term.power;
    pending.coefficient = term.coefficient;
    pending.symbols = symbolProduct(names, term);
  });
  if (pending.held) flush(false);
  if (inGroup && groupOpen) out_.print("\\bigr)");
  if (!anyTerm) out_.print("0");
}

}  // namespace velkor

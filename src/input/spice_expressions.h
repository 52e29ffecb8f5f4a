// Numbers and parameter expressions of a circuit deck: scale factors as
// simulators read them (f p n u m k meg g t, mil, units after them ignored,
// 4k7 for 4.7k) and plain arithmetic in braces or quotes over parameters.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "input/deck_circuit.h"

namespace velkor {

// The parameters in force where a value is worked out: those of the
// subcircuit instance, then those around it.
class ParameterScope {
 public:
  explicit ParameterScope(const ParameterScope* outer = nullptr) : outer_(outer) {}
  void set(const std::string& name, long double value) { values_[name] = value; }
  const long double* find(const std::string& name) const {
    for (const ParameterScope* scope = this; scope != nullptr; scope = scope->outer_) {
      auto found = scope->values_.find(name);
      if (found != scope->values_.end()) return &found->second;
    }
    return nullptr;
  }

 private:
  const ParameterScope* outer_;
  std::map<std::string, long double> values_;
};

// A number as written on an element line (no expression); nothing when it
// is none. `parse` reads the plain forms, so that they give the very number
// a values file gives.
std::optional<long double> deckNumber(std::string_view text, NumberParser parse);

// The value of a word: a number, or an expression in braces (`{2*r0}`).
// Throws DeckError at `where()` (FILE:LINE:COLUMN of the word, made only
// for a message) saying what was expected.
long double deckValue(std::string_view text, const ParameterScope& scope, NumberParser parse,
                      const std::function<std::string()>& where);

}  // namespace velkor

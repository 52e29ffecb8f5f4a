// Transistor small-signal values from the operating-point output of the
// circuit simulator: lines `@q1[gm] = 3.36e-02` written by `print` (all
// digits after `set numdgt=15`), and the tables written by `show`, whose
// `device` line names one device a column.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace velkor {

struct OperatingPoint {
  // Device name as the simulator writes it (lower case; q.x1.q1 for q1 of
  // instance x1), then parameter name, then value.
  std::map<std::string, std::map<std::string, long double>> devices;

  const long double* find(const std::string& device, const std::string& parameter) const;
};

// Reads what it recognises and passes over every other line (the
// simulator's notes and headings). Throws DeckError when no device value is
// found at all (`fileName` names the file).
OperatingPoint readOperatingPoint(std::string_view text, const std::string& fileName);

}  // namespace velkor

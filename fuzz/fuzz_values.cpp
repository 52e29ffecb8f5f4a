// The values reader: a values file's text and NAME=VALUE settings made of
// arbitrary bytes. Whatever the input, reading ends (bounded lines and size),
// every value kept is in range, and every message is one line of bounded
// length without control characters, as it would be shown on a terminal.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include "analysis/element_values.h"
#include "fuzz_support.h"

namespace {

using namespace velkor;

// A message as echoed: the place, the text (escaped, at most 80 characters
// and "..."), a few words.
constexpr std::size_t kLongestMessage = 1200;

void checkMessage(const std::string& message) {
  if (message.size() > kLongestMessage) fuzz::fail("message too long: " + message.substr(0, 200));
  for (char c : message)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) fuzz::fail("control character in message: " + message);
}

void checkValues(const ElementValues& values) {
  for (const auto& [name, value] : values.all())
    if (!valueInRange(value.value)) fuzz::fail("value out of range kept for " + name);
  for (const std::string& warning : values.warnings()) checkMessage(warning);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  ElementValues file;
  try {
    std::istringstream in(text);
    file.readFile(in, "fuzz.values");
  } catch (const ValuesError& e) {
    checkMessage(e.what());
  }
  checkValues(file);

  // Each line as a setting, and each word as a number.
  ElementValues settings;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    try {
      settings.set(std::string_view(line));
    } catch (const ValuesError& e) {
      checkMessage(e.what());
    }
    if (auto number = parseEngineeringNumber(line); number && !std::isfinite(static_cast<double>(*number)))
      fuzz::fail("a number that is not finite: " + line);
    checkMessage(scaleLetterWarning(line));
  }
  checkValues(settings);
  return 0;
}

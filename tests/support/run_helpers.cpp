#include "support/run_helpers.h"

#include <fstream>
#include <regex>
#include <sstream>

#include "driver/program_driver.h"

namespace velkor::testing {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string maskOutput(const std::string& text) {
  static const std::regex elapsed(R"(\{elapsed time: -?[0-9]+/1000 sec\.\})");
  static const std::regex address(R"(0x[0-9a-f]{8})");
  std::string masked = std::regex_replace(text, elapsed, "{elapsed time: 0/1000 sec.}");
  return std::regex_replace(masked, address, "0xADDRESS");
}

std::string runMasked(const std::string& input) { return maskOutput(runOnString(input)); }

}  // namespace velkor::testing

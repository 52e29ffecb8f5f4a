#include "input/operating_point_reader.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <set>
#include <vector>

#include "input/deck_circuit.h"

namespace velkor {

namespace {

std::vector<std::string> wordsOf(std::string_view line) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) ++at;
    std::size_t start = at;
    while (at < line.size() && !std::isspace(static_cast<unsigned char>(line[at]))) ++at;
    if (at > start) {
      std::string word(line.substr(start, at - start));
      for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      words.push_back(std::move(word));
    }
  }
  return words;
}

bool number(const std::string& text, long double& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtold(text.c_str(), &end);
  return end == text.c_str() + text.size() && errno != ERANGE;
}

}  // namespace

const long double* OperatingPoint::find(const std::string& device, const std::string& parameter) const {
  auto d = devices.find(device);
  if (d == devices.end()) return nullptr;
  auto p = d->second.find(parameter);
  return p == d->second.end() ? nullptr : &p->second;
}

OperatingPoint readOperatingPoint(std::string_view text, const std::string& fileName) {
  OperatingPoint op;
  std::vector<std::string> columns;  // the devices of the `show` table being read
  std::size_t at = 0;
  std::size_t values = 0;
  std::set<std::string> printed;  // device[parameter] of every printed value
  while (at <= text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::vector<std::string> words = wordsOf(text.substr(at, end - at));
    at = end + 1;
    if (words.empty()) {
      columns.clear();
      continue;
    }
    // @dev[param] = value
    if (words.size() == 3 && words[0].size() > 3 && words[0][0] == '@' && words[0].back() == ']' && words[1] == "=") {
      std::size_t open = words[0].find('[');
      long double value = 0;
      if (open != std::string::npos && open > 1 && number(words[2], value)) {
        op.devices[words[0].substr(1, open - 1)][words[0].substr(open + 1, words[0].size() - open - 2)] = value;
        printed.insert(words[0].substr(1));
        ++values;
      }
      continue;
    }
    if (words[0] == "device" && words.size() >= 2) {
      columns.assign(words.begin() + 1, words.end());
      continue;
    }
    if (!columns.empty() && words.size() == columns.size() + 1) {
      for (std::size_t k = 0; k < columns.size(); ++k) {
        long double value = 0;
        // A printed value has every digit; a table's only six, so it
        // never replaces one.
        if (number(words[k + 1], value) && printed.count(columns[k] + "[" + words[0] + "]") == 0) {
          op.devices[columns[k]][words[0]] = value;
          ++values;
        }
      }
    }
  }
  if (values == 0)
    throw DeckError(
        fileName + ":1:1",
        "expected device values such as '@q1[gm] = 3.4e-02' (print) or a 'device' table (show), found none");
  return op;
}

}  // namespace velkor

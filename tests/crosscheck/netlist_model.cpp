#include "crosscheck/netlist_model.h"

#include <cctype>
#include <stdexcept>

#include "crosscheck/two_port_rows.h"

namespace velkor::crosscheck {

bool isTwoPort(ElementKind kind) {
  switch (kind) {
    case ElementKind::Transconductor:
    case ElementKind::Gyrator:
    case ElementKind::OpAmp:
    case ElementKind::VoltageGain:
    case ElementKind::CurrentGain:
    case ElementKind::Transresistor:
    case ElementKind::Mutual:
      return true;
    default:
      return false;
  }
}

bool elementKindOf(const std::string& word, ElementKind& kind) {
  if (word.empty()) return false;
  char c0 = static_cast<char>(std::tolower(static_cast<unsigned char>(word[0])));
  char c1 = word.size() > 1 ? static_cast<char>(std::tolower(static_cast<unsigned char>(word[1]))) : '\0';
  if ((c0 == 'g' || c0 == 'r') && c1 == 'm') {
    kind = c0 == 'g' ? ElementKind::Transconductor : ElementKind::Transresistor;
    return true;
  }
  switch (c0) {
    case 'o': kind = ElementKind::OpAmp; return true;
    case 'u': kind = ElementKind::VoltageGain; return true;
    case 'b': kind = ElementKind::CurrentGain; return true;
    case 'm': kind = ElementKind::Mutual; return true;
    default: break;
  }
  if (c0 == 'g' && c1 == 'y') {
    kind = ElementKind::Gyrator;
    return true;
  }
  switch (c0) {
    case 'r': kind = ElementKind::Resistor; return true;
    case 'l': kind = ElementKind::Inductor; return true;
    case 'c': kind = ElementKind::Capacitor; return true;
    case 'g': kind = ElementKind::Conductance; return true;
    case 'y': kind = ElementKind::Admittance; return true;
    case 'z': kind = ElementKind::Impedance; return true;
    default: return false;
  }
}

namespace {

// Splits netlist text into tokens: separators are blank, tab, line feed,
// carriage return, comma and semicolon; brace comments nest and vanish
// without ending a token.
std::vector<std::string> tokenize(const std::string& input) {
  std::vector<std::string> tokens;
  std::string current;
  int depth = 0;
  for (char c : input) {
    if (c == '{') ++depth;
    if (depth > 0) {
      if (c == '}') --depth;
      continue;
    }
    bool separator = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ',' || c == ';';
    if (separator) {
      if (!current.empty()) tokens.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) tokens.push_back(current);
  return tokens;
}

class TokenStream {
 public:
  explicit TokenStream(std::vector<std::string> tokens) : tokens_(std::move(tokens)) {}
  bool done() const { return at_ == tokens_.size(); }
  std::string word() {
    if (done()) throw std::runtime_error("netlist ends in the middle of an entry");
    return tokens_[at_++];
  }
  int number() {
    std::string text = word();
    for (char c : text)
      if (c < '0' || c > '9') throw std::runtime_error("expected a number, found '" + text + "'");
    if (text.size() > 6) throw std::runtime_error("number too long: " + text);
    return std::stoi(text);
  }

 private:
  std::vector<std::string> tokens_;
  std::size_t at_ = 0;
};

}  // namespace

std::vector<Netlist> readNetlists(const std::string& input) {
  TokenStream stream(tokenize(input));
  std::vector<Netlist> netlists;
  while (!stream.done()) {
    Netlist netlist;
    netlist.requested.fill(true);
    bool sawPort = false;
    bool sawRequest = false;
    bool ended = false;
    std::string text;
    while (!ended) {
      std::string word = stream.word();
      if (word.size() > 12) word.resize(12);
      char c0 = static_cast<char>(std::tolower(static_cast<unsigned char>(word[0])));
      ElementKind kind{};
      bool element = c0 != 'f' && c0 != 'p' && c0 != 'n' && c0 != 'e' && c0 != 't' && c0 != 'h' &&
                     elementKindOf(word, kind);
      if (element) {
        Element e;
        e.kind = kind;
        e.name = word;
        int count = isTwoPort(kind) ? 4 : 2;
        for (int k = 0; k < count; ++k) e.nodes[static_cast<std::size_t>(k)] = stream.number();
        netlist.elements.push_back(e);
      } else if (c0 == 'f') {
        if (sawPort) throw std::runtime_error("second port designator");
        sawPort = true;
        for (auto& port : netlist.ports) port = stream.number();
      } else if (c0 == 'p') {
        if (!sawRequest) netlist.requested.fill(false);
        sawRequest = true;
        std::string name = stream.word();
        int row = findRow(name);
        if (row < 0) throw std::runtime_error("unknown parameter " + name);
        netlist.requested[static_cast<std::size_t>(row)] = true;
      } else if (c0 == 'n') {
        netlist.normalization = stream.number();
      } else if (c0 == 't') {
        stream.number();
      } else if (c0 == 'e') {
        ended = true;
      } else {
        throw std::runtime_error("unexpected entry '" + word + "'");
      }
    }
    if (!sawPort) throw std::runtime_error("netlist without port designator");
    netlist.text = netlistText(netlist);
    netlists.push_back(std::move(netlist));
  }
  return netlists;
}

std::string netlistText(const Netlist& netlist) {
  std::string text;
  for (const Element& e : netlist.elements) {
    text += e.name;
    int count = isTwoPort(e.kind) ? 4 : 2;
    for (int k = 0; k < count; ++k) text += " " + std::to_string(e.nodes[static_cast<std::size_t>(k)]);
    text += "\n";
  }
  text += "f";
  for (int port : netlist.ports) text += " " + std::to_string(port);
  text += "\n";
  if (netlist.normalization != 0) text += "n " + std::to_string(netlist.normalization) + "\n";
  bool all = true;
  for (bool flag : netlist.requested) all = all && flag;
  if (!all) {
    std::string line;
    for (std::size_t row = 0; row < 32; ++row)
      if (netlist.requested[row]) line += std::string(line.empty() ? "p " : " p ") + twoPortRows()[row].name;
    // With nothing requested a p entry that matches no name clears every flag.
    text += (line.empty() ? std::string("p none") : line) + "\n";
  }
  text += "end\n";
  return text;
}

}  // namespace velkor::crosscheck

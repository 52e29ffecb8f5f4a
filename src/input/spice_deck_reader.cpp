// Reading a deck takes three passes:
//   1. cards: the files split into cards, `.include` files spliced in,
//      `.control` blocks passed over (their output requests noted), `.end`
//      ending the deck;
//   2. definitions: `.subckt` ... `.ends` bodies set apart, `.model` names
//      noted;
//   3. expansion: the top level and every instance, with its nodes and
//      parameters, element by element into raw elements; then the sources
//      become the port, shorts and opens, current sensing and coupled
//      inductors are wired, and transistors become their small-signal models.
#include "input/spice_deck_reader.h"

#include <cctype>
#include <cmath>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <unordered_map>

#include "input/operating_point_reader.h"
#include "input/spice_expressions.h"
#include "input/spice_lexer.h"
#include "support/capacities.h"

namespace velkor {

namespace {

constexpr int kMaxIncludeDepth = 16;
constexpr int kMaxInstanceDepth = 32;

struct Subcircuit {
  std::string name;
  std::vector<DeckToken> formals;
  std::vector<std::pair<std::string, DeckToken>> defaults;
  std::vector<const DeckCard*> cards;
};

// An output request of an analysis card: v(a) or v(a,b), as node words.
struct OutputRequest {
  std::string plus, minus;
  DeckPlace at;
  std::string path;  // the instance it belongs to ("" at the top)
};

// An element as the expansion finds it, before sources and couplings are
// resolved.
struct RawElement {
  char letter = 0;     // r c l g e f h k v i q m
  std::string symbol;  // qualified name (r2.x1)
  std::string device;  // the simulator's name of a transistor (q.x1.q1)
  std::vector<int> nodes;
  std::optional<long double> value;
  std::string control[2];  // f, h: the sensed source; k: the two inductors (qualified)
  bool ac = false;         // v, i: marked AC
  DeckPlace at;
};

class DeckReader {
 public:
  DeckReader(const DeckSettings& settings, DeckCircuit& deck) : settings_(settings), deck_(deck) {}

  void run(const std::string& text, const std::string& fileName, const std::string& directory) {
    deck_.files.push_back(fileName);
    std::vector<DeckCard> cards = splitDeck(text, 0, fileName, &deck_.title);
    collect(std::move(cards), directory, 0);
    define();
    ParameterScope globals;
    globals_ = &globals;
    Instance top{"", {}, &globals, 0};
    expand(topCards_, top);
    resolve();
  }

 private:
  struct Instance {
    std::string path;                    // "" at the top, "x1", "x1.x2"
    std::map<std::string, int> formals;  // formal node name to node index
    ParameterScope* params;
    int depth;
  };

  [[noreturn]] void fail(const DeckPlace& at, const std::string& what) const { throw DeckError(deck_.where(at), what); }
  void warn(const DeckPlace& at, const std::string& what) { deck_.warnings.push_back({at, what}); }

  // ---- Pass 1: cards. ----
  void collect(std::vector<DeckCard> cards, const std::string& directory, int depth) {
    for (std::size_t k = 0; k < cards.size() && !ended_; ++k) {
      DeckCard& card = cards[k];
      const std::string& word = card.tokens[0].text;
      if (inControl_) {
        if (word == ".endc")
          inControl_ = false;
        else
          noteOutputs(card, true, "");
        continue;
      }
      if (word == ".control") {
        inControl_ = true;
        continue;
      }
      if (word == ".end") {
        ended_ = true;
        break;
      }
      if (word == ".include" || word == ".inc") {
        if (card.tokens.size() != 2) fail(card.at, "expected one file name after " + word);
        if (depth >= kMaxIncludeDepth) fail(card.at, "expected at most 16 nested .include cards");
        if (!settings_.includes) fail(card.at, "expected no .include here (files are not read)");
        std::string path = card.tokens[1].raw;
        if (!path.empty() && path[0] != '/' && !directory.empty()) path = directory + "/" + path;
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        if (in) text << in.rdbuf();
        if (!in || text.fail()) fail(card.tokens[1].at, "expected a readable file, cannot read '" + path + "'");
        const int file = static_cast<int>(deck_.files.size());
        deck_.files.push_back(path);
        std::size_t slash = path.rfind('/');
        std::string inner = slash == std::string::npos ? directory : path.substr(0, slash);
        collect(splitDeck(text.str(), file, path, nullptr), inner, depth + 1);
        ended_ = false;  // an .end in an included file ends that file only
        continue;
      }
      store_.push_back(std::make_unique<DeckCard>(std::move(card)));
    }
  }

  // Notes v(a) and v(a,b) (and vdb, vm, vp, vr, vi) of an output card.
  // A command of a .control block counts when it prints, plots or measures.
  void noteOutputs(const DeckCard& card, bool control, const std::string& path) {
    const std::vector<DeckToken>& t = card.tokens;
    static const std::set<std::string> kControl = {"print",  "plot",    "meas",     "measure",
                                                   "wrdata", "gnuplot", "asciiplot"};
    if (control && kControl.count(t[0].text) == 0) return;
    for (std::size_t k = 1; k + 2 < t.size(); ++k) {
      static const std::set<std::string> kVoltage = {"v", "vdb", "vm", "vp", "vr", "vi", "mag", "db", "ph"};
      if (kVoltage.count(t[k].text) == 0 || t[k + 1].text != "(") continue;
      std::size_t close = k + 2;
      while (close < t.size() && t[close].text != ")") ++close;
      if (close >= t.size() || close == k + 2 || close > k + 4) continue;
      OutputRequest request{t[k + 2].text, close == k + 4 ? t[k + 3].text : "0", t[k + 2].at, path};
      outputs_.push_back(request);
      k = close;
    }
  }

  // ---- Pass 2: definitions. ----
  void define() {
    std::vector<Subcircuit*> open;
    std::vector<DeckPlace> openedAt;
    for (const std::unique_ptr<DeckCard>& owned : store_) {
      const DeckCard& card = *owned;
      const std::string& word = card.tokens[0].text;
      if (word == ".subckt") {
        if (card.tokens.size() < 2) fail(card.at, "expected a subcircuit name after .subckt");
        const std::string& name = card.tokens[1].text;
        if (subcircuits_.count(name) != 0)
          fail(card.tokens[1].at, "expected a new subcircuit name, '" + name + "' is defined already");
        Subcircuit& sub = subcircuits_[name];
        sub.name = name;
        std::size_t k = 2;
        for (; k < card.tokens.size(); ++k) {
          const DeckToken& token = card.tokens[k];
          if (token.text == "params:") continue;
          if (k + 1 < card.tokens.size() && card.tokens[k + 1].text == "=") {
            if (k + 2 >= card.tokens.size()) fail(card.tokens[k + 1].at, "expected a value after '='");
            sub.defaults.emplace_back(token.text, card.tokens[k + 2]);
            k += 2;
            continue;
          }
          if (!sub.defaults.empty())
            fail(token.at, "expected NAME=VALUE after the subcircuit's parameters, found '" + token.raw + "'");
          sub.formals.push_back(token);
        }
        open.push_back(&sub);
        openedAt.push_back(card.at);
        continue;
      }
      if (word == ".ends") {
        if (open.empty()) fail(card.at, "expected .subckt before this .ends");
        open.pop_back();
        openedAt.pop_back();
        continue;
      }
      if (word == ".model" && card.tokens.size() >= 3) models_[card.tokens[1].text] = card.tokens[2].text;
      if (open.empty())
        topCards_.push_back(&card);
      else
        open.back()->cards.push_back(&card);
    }
    if (!open.empty())
      fail(openedAt.back(),
           "expected .ends for subcircuit '" + open.back()->name + "', opened here, before the end of the deck");
  }

  // ---- Pass 3: expansion. ----
  int node(const DeckToken& token, const Instance& in) {
    const std::string& name = token.text;
    if (name == "0" || name == "gnd") return 0;
    if (name == "=" || name == "(" || name == ")" || name[0] == '{')
      fail(token.at, "expected a node name, found '" + token.raw + "'");
    auto formal = in.formals.find(name);
    if (formal != in.formals.end()) return formal->second;
    return nodeIndex(in.path.empty() ? name : in.path + "." + name);
  }
  int nodeIndex(const std::string& full) {
    auto found = nodes_.find(full);
    if (found != nodes_.end()) return found->second;
    const int index = static_cast<int>(deck_.nodeNames.size());
    deck_.nodeNames.push_back(full);
    nodes_.emplace(full, index);
    return index;
  }
  std::string qualified(const std::string& name, const Instance& in) const {
    return in.path.empty() ? name : name + "." + in.path;
  }
  long double value(const DeckToken& token, const Instance& in) {
    return deckValue(token.text, *in.params, settings_.parse, [&] { return deck_.where(token.at); });
  }
  void need(const DeckCard& card, std::size_t count, const char* what) {
    if (card.tokens.size() >= count) return;
    // Pointed at just after the last word, where the missing ones belong.
    const DeckToken& last = card.tokens.back();
    DeckPlace after = last.at;
    after.column += static_cast<int>(last.raw.size());
    fail(after, std::string("expected ") + what + " after '" + last.raw + "'");
  }

  // Parameters first, so that a value may use one defined further down.
  void expand(const std::vector<const DeckCard*>& cards, Instance& in) {
    for (const DeckCard* card : cards)
      if (card->tokens[0].text == ".param") dotCard(*card, in);
    for (const DeckCard* card : cards) {
      if (card->tokens[0].text == ".param") continue;
      const DeckToken& first = card->tokens[0];
      if (first.text[0] == '.')
        dotCard(*card, in);
      else
        element(*card, in);
    }
  }

  void dotCard(const DeckCard& card, Instance& in) {
    const std::string& word = card.tokens[0].text;
    const std::vector<DeckToken>& t = card.tokens;
    if (word == ".param") {
      for (std::size_t k = 1; k < t.size(); k += 3) {
        if (k + 2 >= t.size() || t[k + 1].text != "=") fail(t[k].at, "expected NAME=VALUE after .param");
        in.params->set(t[k].text, value(t[k + 2], in));
      }
      return;
    }
    if (word == ".print" || word == ".plot" || word == ".probe" || word == ".meas" || word == ".measure") {
      static const std::set<std::string> kOther = {"dc", "tran", "noise", "op", "disto", "sp", "tf"};
      if (t.size() >= 2 && kOther.count(t[1].text) != 0) {
        warn(card.at, "left out: '" + t[0].raw + " " + t[1].raw + "' requests no AC output");
        return;
      }
      noteOutputs(card, false, in.path);
      return;
    }
    if (word == ".model") {
      static const std::set<std::string> kTransistors = {"npn", "pnp", "nmos", "pmos"};
      std::string type = t.size() >= 3 ? t[2].text : "";
      if (kTransistors.count(type) == 0 && !type.empty())
        warn(card.at,
             "left out: model '" + t[1].raw + "' of type '" + t[2].raw + "' (no element of this deck can use it)");
      return;
    }
    if (word == ".ac") return;  // the analysis velkor makes itself
    static const std::set<std::string> kAnalyses = {".dc",     ".tran",    ".op",   ".noise",   ".tf",      ".sens",
                                                    ".pz",     ".disto",   ".four", ".fourier", ".options", ".option",
                                                    ".opt",    ".temp",    ".save", ".ic",      ".nodeset", ".width",
                                                    ".global", ".csparam", ".title"};
    if (kAnalyses.count(word) != 0) {
      warn(card.at, "left out: '" + t[0].raw + "' has no effect on the small-signal network");
      return;
    }
    fail(card.at,
         "expected a card for the small-signal network (.subckt, .ends, .param, .include, .model, .end, an "
         "analysis or output card), found '" +
             t[0].raw + "'");
  }

  void element(const DeckCard& card, Instance& in) {
    const std::vector<DeckToken>& t = card.tokens;
    const std::string& name = t[0].text;
    RawElement e;
    e.letter = name[0];
    e.symbol = qualified(name, in);
    e.at = card.at;
    switch (e.letter) {
      case 'r':
      case 'c':
      case 'l': {
        need(card, 4,
             e.letter == 'r'   ? "two nodes and a resistance"
             : e.letter == 'c' ? "two nodes and a capacitance"
                               : "two nodes and an inductance");
        e.nodes = {node(t[1], in), node(t[2], in)};
        std::size_t k = 3;
        if (t.size() >= 6 && t[3].text == std::string(1, e.letter) && t[4].text == "=") k = 5;
        e.value = value(t[k], in);
        for (++k; k < t.size(); k += 3) {
          if (k + 2 >= t.size() || t[k + 1].text != "=")
            fail(t[k].at, "expected NAME=VALUE after the value, found '" + t[k].raw + "'");
          if (t[k].text == "m" || t[k].text == "scale" || t[k].text == "ac")
            fail(t[k].at, "expected no '" + t[k].raw + "=' (write the element's value itself)");
          warn(t[k].at, "left out: '" + t[k].raw + "=' has no effect on the small-signal value");
        }
        break;
      }
      case 'g':
      case 'e': {
        if (t.size() >= 4 && (t[3].text == "value" || t[3].text == "poly" || t[3].text == "table" ||
                              t[3].text == "vol" || t[3].text == "cur" || t[3].text == "laplace"))
          fail(t[3].at,
               "expected two controlling nodes and a gain (a linear controlled source), found '" + t[3].raw + "'");
        if (t.size() != 6) {
          if (t.size() < 6) need(card, 6, "two output nodes, two controlling nodes and a gain");
          fail(t[6].at, "expected the end of the line after the gain, found '" + t[6].raw + "'");
        }
        e.nodes = {node(t[1], in), node(t[2], in), node(t[3], in), node(t[4], in)};
        e.value = value(t[5], in);
        break;
      }
      case 'f':
      case 'h': {
        if (t.size() != 5) {
          if (t.size() < 5) need(card, 5, "two output nodes, a voltage source that senses the current and a gain");
          fail(t[5].at, "expected the end of the line after the gain, found '" + t[5].raw + "'");
        }
        e.nodes = {node(t[1], in), node(t[2], in)};
        if (t[3].text[0] != 'v')
          fail(t[3].at, "expected the name of a voltage source that senses the current, found '" + t[3].raw + "'");
        e.control[0] = qualified(t[3].text, in);
        e.value = value(t[4], in);
        break;
      }
      case 'k': {
        need(card, 4, "two inductors and a coupling coefficient");
        if (t.size() > 4)
          fail(t[4].at,
               "expected one coupling coefficient after two inductors (couple more than two with one K card a pair)");
        for (int k = 0; k < 2; ++k) {
          if (t[1 + k].text[0] != 'l')
            fail(t[1 + k].at, "expected the name of an inductor, found '" + t[1 + k].raw + "'");
          e.control[k] = qualified(t[1 + k].text, in);
        }
        e.value = value(t[3], in);
        if (!(*e.value >= -1 && *e.value <= 1)) fail(t[3].at, "expected a coupling coefficient from -1 to 1");
        break;
      }
      case 'v':
      case 'i': {
        need(card, 3, "two nodes");
        e.nodes = {node(t[1], in), node(t[2], in)};
        source(card, in, e);
        break;
      }
      case 'x': {
        instance(card, in);
        return;
      }
      case 'q':
      case 'm': {
        transistor(card, in, e);
        break;
      }
      default: {
        static const std::map<char, const char*> kKinds = {{'b', "a behavioural source"},
                                                           {'d', "a diode"},
                                                           {'j', "a junction field-effect transistor"},
                                                           {'s', "a switch"},
                                                           {'w', "a switch"},
                                                           {'t', "a transmission line"},
                                                           {'o', "a lossy transmission line"},
                                                           {'u', "a distributed RC line"},
                                                           {'z', "a MESFET"},
                                                           {'a', "a code model"},
                                                           {'p', "coupled lines"}};
        auto kind = kKinds.find(e.letter);
        fail(t[0].at,
             std::string("expected an element of a linear small-signal network (R C L G E F H K V I X Q M), found '") +
                 t[0].raw + "'" + (kind != kKinds.end() ? std::string(", ") + kind->second : std::string()));
      }
    }
    raw_.push_back(std::move(e));
  }

  // V and I: [dc] [value] [ac [magnitude [phase]]] [transient function].
  void source(const DeckCard& card, Instance& in, RawElement& e) {
    const std::vector<DeckToken>& t = card.tokens;
    for (std::size_t k = 3; k < t.size(); ++k) {
      const std::string& w = t[k].text;
      if (w == "ac") {
        e.ac = true;
        if (k + 1 < t.size() && deckNumber(t[k + 1].text, settings_.parse))
          ++k;
        else if (k + 1 < t.size() && t[k + 1].text[0] == '{')
          value(t[++k], in);
        if (k + 1 < t.size() && deckNumber(t[k + 1].text, settings_.parse)) ++k;
        continue;
      }
      if (w == "dc") continue;
      if (k + 1 < t.size() && t[k + 1].text == "(") {
        // A transient or distortion function: no small-signal effect.
        std::size_t close = k + 2;
        while (close < t.size() && t[close].text != ")") ++close;
        if (close >= t.size()) fail(t[k + 1].at, "expected ')' to close '" + t[k].raw + "('");
        k = close;
        continue;
      }
      if (w == "=" || w == "(" || w == ")")
        fail(t[k].at, "expected a value or DC, AC or a source function, found '" + t[k].raw + "'");
      value(t[k], in);  // a DC value: checked, of no small-signal effect
    }
  }

  void instance(const DeckCard& card, Instance& in) {
    const std::vector<DeckToken>& t = card.tokens;
    // The subcircuit name is the last word before the parameters.
    std::size_t end = t.size();
    for (std::size_t k = 1; k < t.size(); ++k)
      if (t[k].text == "params:" || (k + 1 < t.size() && t[k + 1].text == "=")) {
        end = k;
        break;
      }
    if (end < 2) need(card, 3, "nodes and a subcircuit name");
    const DeckToken& subName = t[end - 1];
    auto found = subcircuits_.find(subName.text);
    if (found == subcircuits_.end())
      fail(subName.at, "expected the name of a subcircuit defined by .subckt, found '" + subName.raw + "'");
    const Subcircuit& sub = found->second;
    if (end - 2 != sub.formals.size())
      fail(t[0].at, "expected " + std::to_string(sub.formals.size()) + " nodes for subcircuit '" + sub.name +
                        "', found " + std::to_string(end - 2));
    if (in.depth >= kMaxInstanceDepth)
      fail(t[0].at, "expected subcircuits nested at most 32 deep (is one its own instance?)");
    // Overrides are worked out in the scope of the instance line, defaults
    // in the instance's own scope (after the globals and the defaults
    // before them).
    auto scope = std::make_unique<ParameterScope>(globals_);
    Instance inner{in.path.empty() ? t[0].text : in.path + "." + t[0].text, {}, scope.get(), in.depth + 1};
    for (std::size_t k = 0; k < sub.formals.size(); ++k) inner.formals[sub.formals[k].text] = node(t[1 + k], in);
    std::map<std::string, long double> given;
    for (std::size_t k = end; k < t.size(); ++k) {
      if (t[k].text == "params:") continue;
      if (k + 2 >= t.size() || t[k + 1].text != "=") fail(t[k].at, "expected NAME=VALUE, found '" + t[k].raw + "'");
      bool known = false;
      for (const auto& d : sub.defaults) known = known || d.first == t[k].text;
      if (!known) fail(t[k].at, "expected a parameter of subcircuit '" + sub.name + "', found '" + t[k].raw + "'");
      given[t[k].text] = value(t[k + 2], in);
      k += 2;
    }
    for (const auto& [name, token] : sub.defaults) {
      auto g = given.find(name);
      scope->set(name, g != given.end() ? g->second : value(token, inner));
    }
    scopes_.push_back(std::move(scope));
    expand(sub.cards, inner);
  }

  void transistor(const DeckCard& card, Instance& in, RawElement& e) {
    const std::vector<DeckToken>& t = card.tokens;
    const bool bipolar = e.letter == 'q';
    std::size_t nodeCount = bipolar ? 3 : 4;
    need(card, nodeCount + 2,
         bipolar ? "collector, base and emitter nodes and a model name"
                 : "drain, gate, source and bulk nodes and a model name");
    // A bipolar transistor's fourth word is its substrate node when the
    // fifth names a model.
    if (bipolar && t.size() > 5 && models_.count(t[4].text) == 0 && models_.count(t[5].text) != 0) nodeCount = 4;
    for (std::size_t k = 1; k <= nodeCount; ++k) e.nodes.push_back(node(t[k], in));
    e.device = in.path.empty() ? t[0].text : std::string(1, e.letter) + "." + in.path + "." + t[0].text;
  }

  // ---- Sources, ports, sensing, couplings, transistors. ----
  void resolve() {
    std::map<std::string, std::size_t> sources;  // qualified name to raw index
    std::map<std::string, std::size_t> byName;
    for (std::size_t k = 0; k < raw_.size(); ++k) {
      auto [at, fresh] = byName.emplace(raw_[k].symbol, k);
      if (!fresh)
        fail(raw_[k].at, "expected a new element name, '" + raw_[k].symbol + "' is used already at " +
                             deck_.where(raw_[at->second].at));
      if (raw_[k].letter == 'v' || raw_[k].letter == 'i') sources.emplace(raw_[k].symbol, k);
    }
    std::size_t port1 = portSource(sources);
    std::size_t expected = raw_.size();
    for (const RawElement& e : raw_) expected += e.letter == 'q' || e.letter == 'm' ? 8 : 0;
    deck_.elements.reserve(expected);

    std::map<std::size_t, std::vector<std::size_t>> sensors;  // source index to its F and H elements
    for (std::size_t k = 0; k < raw_.size(); ++k) {
      const RawElement& e = raw_[k];
      if (e.letter != 'f' && e.letter != 'h') continue;
      auto s = sources.find(e.control[0]);
      if (s == sources.end() || raw_[s->second].letter != 'v')
        fail(e.at, "expected '" + e.control[0] + "' to name a voltage source of the deck (its current is sensed)");
      if (s->second == port1)
        fail(e.at, "expected the sensed source to be another than the port's ('" + e.control[0] +
                       "'); add a 0 V source in series");
      sensors[s->second].push_back(k);
    }
    for (std::size_t k = 0; k < raw_.size(); ++k) {
      const RawElement& e = raw_[k];
      if (e.letter != 'v' || k == port1 || sensors.count(k) != 0) continue;
      join(e.nodes[0], e.nodes[1]);
    }
    // A sensed source is a chain of shorts, one for each element that
    // senses its current.
    std::map<std::size_t, std::pair<int, int>> sensedSegment;  // F or H index to its short's nodes
    for (const auto& [source, list] : sensors) {
      const RawElement& v = raw_[source];
      int from = v.nodes[0];
      for (std::size_t j = 0; j < list.size(); ++j) {
        int to = j + 1 == list.size() ? v.nodes[1] : nodeIndex(v.symbol + "#" + std::to_string(j + 1));
        sensedSegment[list[j]] = {from, to};
        from = to;
      }
    }
    auto root = [this](int n) { return this->root(n); };

    // Inductors that a K card couples.
    std::map<std::string, std::size_t> inductors;
    for (std::size_t k = 0; k < raw_.size(); ++k)
      if (raw_[k].letter == 'l') inductors[raw_[k].symbol] = k;
    std::map<std::size_t, std::pair<std::size_t, int>> splitAt;  // inductor to (coupling, the node it now ends at)

    for (std::size_t k = 0; k < raw_.size(); ++k) {
      RawElement& e = raw_[k];
      switch (e.letter) {
        case 'r':
          add(DeckKind::kResistor, e.symbol, {root(e.nodes[0]), root(e.nodes[1])}, e.value, e.at);
          break;
        case 'c':
          add(DeckKind::kCapacitor, e.symbol, {root(e.nodes[0]), root(e.nodes[1])}, e.value, e.at);
          break;
        case 'l':
          break;  // after the couplings
        case 'g':
          add(DeckKind::kVccs, e.symbol, {root(e.nodes[0]), root(e.nodes[1]), root(e.nodes[2]), root(e.nodes[3])},
              e.value, e.at);
          break;
        case 'e':
          add(DeckKind::kVcvs, e.symbol, {root(e.nodes[0]), root(e.nodes[1]), root(e.nodes[2]), root(e.nodes[3])},
              e.value, e.at);
          break;
        case 'f':
        case 'h': {
          auto [a, b] = sensedSegment[k];
          add(e.letter == 'f' ? DeckKind::kCccs : DeckKind::kCcvs, e.letter == 'f' ? e.symbol : "rm." + e.symbol,
              {root(e.nodes[0]), root(e.nodes[1]), root(a), root(b)}, e.value, e.at);
          break;
        }
        case 'k': {
          std::size_t halves[2];
          for (int j = 0; j < 2; ++j) {
            auto l = inductors.find(e.control[j]);
            if (l == inductors.end()) fail(e.at, "expected '" + e.control[j] + "' to name an inductor of the deck");
            if (splitAt.count(l->second) != 0)
              fail(e.at, "expected each inductor in one coupling at most, '" + e.control[j] + "' is coupled already");
            halves[j] = l->second;
            splitAt[l->second] = {k, nodeIndex(e.symbol + "#" + std::to_string(j + 1))};
          }
          if (halves[0] == halves[1]) fail(e.at, "expected two different inductors");
          std::optional<long double> mutual;
          const RawElement& l1 = raw_[halves[0]];
          const RawElement& l2 = raw_[halves[1]];
          if (l1.value && l2.value) mutual = *e.value * std::sqrt(*l1.value * *l2.value);
          add(DeckKind::kMutual, "m." + e.symbol,
              {splitAt[halves[0]].second, root(l1.nodes[1]), splitAt[halves[1]].second, root(l2.nodes[1])}, mutual,
              e.at);
          break;
        }
        case 'q':
        case 'm':
          smallSignal(e, root);
          break;
        default:
          break;  // v and i: the port, shorts and opens
      }
    }
    for (std::size_t k = 0; k < raw_.size(); ++k) {
      const RawElement& e = raw_[k];
      if (e.letter != 'l') continue;
      auto split = splitAt.find(k);
      add(DeckKind::kInductor, e.symbol,
          {root(e.nodes[0]), split == splitAt.end() ? root(e.nodes[1]) : split->second.second}, e.value, e.at);
    }
    ports(port1, root);
  }

  // The source replaced by port 1: the one across the --ports terminals,
  // or else the one marked AC. Returns raw_.size() when there is none.
  std::size_t portSource(const std::map<std::string, std::size_t>& sources) {
    if (!settings_.ports.empty()) {
      for (int k = 0; k < 4; ++k) {
        std::string name = settings_.ports[static_cast<std::size_t>(k)];
        if (name == "gnd") name = "0";
        auto found = name == "0" ? nodes_.end() : nodes_.find(name);
        if (name != "0" && found == nodes_.end())
          throw DeckError(deck_.files.front(),
                          "expected the nodes of --ports to be nodes of the deck, '" + name + "' is none");
        givenPorts_[k] = name == "0" ? 0 : found->second;
      }
      for (const auto& [name, k] : sources) {
        const RawElement& s = raw_[k];
        if ((s.nodes[0] == givenPorts_[0] && s.nodes[1] == givenPorts_[1]) ||
            (s.nodes[0] == givenPorts_[1] && s.nodes[1] == givenPorts_[0]))
          return k;
      }
      return raw_.size();
    }
    std::vector<std::size_t> marked;
    for (const auto& [name, k] : sources)
      if (raw_[k].ac) marked.push_back(k);
    if (marked.size() == 1) return marked[0];
    if (marked.empty())
      throw DeckError(deck_.where(DeckPlace{0, 1, 1}),
                      "expected one independent source marked AC for port 1 (such as 'vin in 0 ac 1'), or "
                      "--ports=IN,REF,OUT,REF");
    std::string names;
    for (std::size_t k : marked) names += " " + raw_[k].symbol;
    throw DeckError(deck_.where(raw_[marked[1]].at), "expected one independent source marked AC for port 1, found" +
                                                         names + "; write --ports=IN,REF,OUT,REF");
  }

  template <typename Root>
  void ports(std::size_t port1, Root root) {
    if (!settings_.ports.empty()) {
      for (int k = 0; k < 4; ++k) deck_.ports[k] = root(givenPorts_[k]);
      deck_.portsAt = DeckPlace{0, 1, 1};
      return;
    }
    const RawElement& source = raw_[port1];
    // Port current enters the + terminal: a voltage source drives its +
    // node; a current source drives its current out of its - node.
    const bool voltage = source.letter == 'v';
    deck_.ports[0] = root(voltage ? source.nodes[0] : source.nodes[1]);
    deck_.ports[1] = root(voltage ? source.nodes[1] : source.nodes[0]);
    deck_.portsAt = source.at;
    std::set<std::pair<int, int>> pairs;
    DeckPlace last;
    for (const OutputRequest& out : outputs_) {
      auto lookup = [&](const std::string& name) {
        if (name == "0" || name == "gnd") return 0;
        auto found = nodes_.find(out.path.empty() ? name : out.path + "." + name);
        if (found == nodes_.end())
          throw DeckError(deck_.where(out.at), "expected a node of the deck in this output, '" + name + "' is none");
        return root(found->second);
      };
      std::pair<int, int> pair{lookup(out.plus), lookup(out.minus)};
      if (pair.first == deck_.ports[0] && pair.second == deck_.ports[1]) continue;
      pairs.insert(pair);
      last = out.at;
    }
    if (pairs.size() != 1)
      throw DeckError(deck_.where(pairs.empty() ? source.at : last),
                      pairs.empty()
                          ? "expected one output node for port 2 in a .print, .plot, .probe or .measure card, "
                            "found none; write --ports=IN,REF,OUT,REF"
                          : "expected one output node for port 2, the output cards name " +
                                std::to_string(pairs.size()) + "; write --ports=IN,REF,OUT,REF");
    deck_.ports[2] = pairs.begin()->first;
    deck_.ports[3] = pairs.begin()->second;
  }

  template <typename Root>
  void smallSignal(const RawElement& e, Root root) {
    const OperatingPoint* op = settings_.operatingPoint;
    // The simulator names a device of an instance by its letter and path.
    const std::string& device = e.device;
    std::string base = e.symbol;
    auto get = [&](const char* parameter) -> std::optional<long double> {
      if (op == nullptr) return std::nullopt;
      const long double* v = op->find(device, parameter);
      if (v == nullptr) return std::nullopt;
      return *v;
    };
    auto inverse = [](std::optional<long double> g) -> std::optional<long double> {
      if (!g) return std::nullopt;
      return 1 / *g;
    };
    if (op != nullptr && op->devices.count(device) == 0)
      fail(e.at, "expected the operating point of '" + device + "' in the --op file, it has none");
    if (e.letter == 'q') {
      int c = root(e.nodes[0]), b = root(e.nodes[1]), em = root(e.nodes[2]);
      add(DeckKind::kResistor, "rpi." + base, {b, em}, inverse(get("gpi")), e.at);
      add(DeckKind::kVccs, "gm." + base, {c, em, b, em}, get("gm"), e.at);
      std::optional<long double> go = get("go");
      if (!go || *go != 0) add(DeckKind::kResistor, "ro." + base, {c, em}, inverse(go), e.at);
      add(DeckKind::kCapacitor, "cpi." + base, {b, em}, get("cpi"), e.at);
      add(DeckKind::kCapacitor, "cmu." + base, {b, c}, get("cmu"), e.at);
      for (const char* other : {"gx", "cbx", "csub", "geqcb"})
        if (std::optional<long double> v = get(other); v && *v != 0)
          warn(e.at, "left out: " + std::string(other) + " of '" + device + "' (the model has no such element)");
    } else {
      int d = root(e.nodes[0]), g = root(e.nodes[1]), s = root(e.nodes[2]), bulk = root(e.nodes[3]);
      add(DeckKind::kVccs, "gm." + base, {d, s, g, s}, get("gm"), e.at);
      add(DeckKind::kVccs, "gmb." + base, {d, s, bulk, s}, get("gmb") ? get("gmb") : get("gmbs"), e.at);
      add(DeckKind::kConductance, "gds." + base, {d, s}, get("gds"), e.at);
      add(DeckKind::kCapacitor, "cgs." + base, {g, s}, get("cgs"), e.at);
      add(DeckKind::kCapacitor, "cgd." + base, {g, d}, get("cgd"), e.at);
      add(DeckKind::kCapacitor, "cdb." + base, {d, bulk}, get("cbd"), e.at);
      add(DeckKind::kCapacitor, "csb." + base, {s, bulk}, get("cbs"), e.at);
      if (std::optional<long double> cgb = get("cgb"); cgb && *cgb != 0)
        add(DeckKind::kCapacitor, "cgb." + base, {g, bulk}, cgb, e.at);
    }
  }

  // The node that stands for all nodes shorted to `n` (ground when it is one
  // of them: the lowest index).
  int root(int n) {
    while (parent_.size() <= static_cast<std::size_t>(n)) parent_.push_back(static_cast<int>(parent_.size()));
    while (parent_[static_cast<std::size_t>(n)] != n) {
      int& up = parent_[static_cast<std::size_t>(n)];
      up = parent_[static_cast<std::size_t>(up)];
      n = up;
    }
    return n;
  }
  void join(int a, int b) {
    a = root(a);
    b = root(b);
    if (a != b) parent_[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
  }

  void add(DeckKind kind, const std::string& symbol, std::initializer_list<int> nodes, std::optional<long double> value,
           const DeckPlace& at) {
    if (static_cast<int>(symbol.size()) > kMaxNameLength)
      fail(at, "expected element names of at most " + std::to_string(kMaxNameLength) +
                   " characters with their instance path, '" + symbol + "' has " + std::to_string(symbol.size()) +
                   " (shorten the element or instance names)");
    DeckElement e;
    e.kind = kind;
    e.symbol = symbol;
    int k = 0;
    for (int n : nodes) e.nodes[k++] = n;
    e.value = value;
    e.at = at;
    // A two-terminal element with both ends on one node does nothing.
    if (k == 2 && e.nodes[0] == e.nodes[1]) {
      warn(at,
           "left out: '" + symbol + "' has both ends on node " + deck_.nodeNames[static_cast<std::size_t>(e.nodes[0])]);
      return;
    }
    deck_.elements.push_back(std::move(e));
  }

  const DeckSettings& settings_;
  DeckCircuit& deck_;
  std::vector<std::unique_ptr<DeckCard>> store_;
  std::vector<const DeckCard*> topCards_;
  std::map<std::string, Subcircuit> subcircuits_;
  std::map<std::string, std::string> models_;
  std::vector<OutputRequest> outputs_;
  std::unordered_map<std::string, int> nodes_;
  std::deque<RawElement> raw_;  // a deque: no element is moved as more come
  std::vector<std::unique_ptr<ParameterScope>> scopes_;
  ParameterScope* globals_ = nullptr;
  std::vector<int> parent_;
  int givenPorts_[4] = {};
  bool inControl_ = false;
  bool ended_ = false;
};

}  // namespace

DeckCircuit readDeck(const std::string& text, const std::string& fileName, const std::string& directory,
                     const DeckSettings& settings) {
  DeckCircuit deck;
  DeckReader reader(settings, deck);
  reader.run(text, fileName, directory);
  return deck;
}

bool looksLikeDeck(const std::string& text) {
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::size_t first = text.find_first_not_of(" \t", at);
    if (first < end && (text[first] == '*' || (text[first] == '.' && first + 1 < end &&
                                               std::isalpha(static_cast<unsigned char>(text[first + 1])))))
      return true;
    at = end + 1;
  }
  return false;
}

}  // namespace velkor

// Circuit decks through the real executable: the same circuit as a deck
// and as a netlist gives the same formulas; every deck error names its
// place and what was expected, exits 1 and writes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "analysis/element_values.h"
#include "input/spice_expressions.h"
#include "support/run_helpers.h"
#include "support/scratch_dir.h"

namespace velkor::testing {
namespace {

// Every parameter's terms: name -> numerator and denominator as sorted
// lists of "s^k coefficient name^e ..." with the symbols renamed by `names`.
std::map<std::string, std::vector<std::multiset<std::string>>> termsOf(
    const std::string& json, const std::map<std::string, std::string>& names) {
  std::map<std::string, std::vector<std::multiset<std::string>>> result;
  const nlohmann::json doc = nlohmann::json::parse(json);
  for (const auto& parameter : doc.at("netlists").at(0).at("parameters")) {
    std::vector<std::multiset<std::string>> sides;
    for (const char* side : {"numerator", "denominator"}) {
      std::multiset<std::string> terms;
      if (parameter.contains(side)) {
        for (const auto& term : parameter.at(side)) {
          std::set<std::string> factors;
          for (const auto& [name, exponent] : term.at("factors").items()) {
            auto renamed = names.find(name);
            factors.insert((renamed != names.end() ? renamed->second : name) + "^" + exponent.dump());
          }
          std::string text = "s^" + term.at("s").dump() + " " + term.at("coefficient").dump();
          for (const std::string& f : factors) text += " " + f;
          terms.insert(text);
        }
      }
      sides.push_back(terms);
    }
    result[parameter.at("name").get<std::string>() + " " + parameter.at("heading").get<std::string>()] = sides;
  }
  return result;
}

std::optional<long double> parseValue(std::string_view text) { return parseEngineeringNumber(text); }

// A deck value is the very number a values file gives for the same text;
// the forms only decks have are that number rewritten.
TEST(SpiceDeck, ValuesAreTheNumbersAValuesFileGives) {
  const ParameterScope none;
  auto where = [] { return std::string("here"); };
  for (const char* text :
       {"1k", "4.7k", "10u", "2.2uF", "47p", "10kOhm", "1.5meg", "1e-9", ".5", "-3", "10M", "1F", "3.3nH"})
    EXPECT_EQ(deckValue(text, none, parseValue, where), *parseEngineeringNumber(text)) << text;
  const std::pair<const char*, const char*> rewritten[] = {
      {"4k7", "4.7k"}, {"2u2", "2.2u"}, {"1meg5", "1.5meg"}, {"4K7ohm", "4.7K"}};
  for (const auto& [text, same] : rewritten)
    EXPECT_EQ(deckValue(text, none, parseValue, where), *parseEngineeringNumber(same)) << text;
  EXPECT_EQ(deckValue("10mil", none, parseValue, where), 10 * 25.4e-6L);
  ParameterScope params;
  params.set("r0", 1000);
  EXPECT_EQ(deckValue("{2*r0+1k}", params, parseValue, where), 3000);
  EXPECT_EQ(deckValue("{-2^2}", params, parseValue, where), -4);
  EXPECT_EQ(deckValue("{sqrt(r0*r0)/ (2)}", params, parseValue, where), 500);
  EXPECT_THROW(deckValue("{1/0}", params, parseValue, where), DeckError);
}

TEST(SpiceDeck, GivesTheFormulasOfTheSameCircuitWrittenAsANetlist) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  // Every element kind of a deck, a sensed source with two sensing
  // elements, a coupling and a subcircuit instance.
  scratch.write("same.cir",
                "Equivalence deck\n"
                "Vin in 0 ac 1\n"
                "R1 in a 1k\n"
                "Vs a b 0\n"
                "C1 b 0 1n\n"
                "F1 0 c Vs 2\n"
                "H1 d 0 Vs 100\n"
                "R2 c 0 1k\n"
                "R3 d c 2k\n"
                "G1 0 e c 0 1m\n"
                "L1 e 0 1m\n"
                "L2 f 0 4m\n"
                "K1 L1 L2 0.9\n"
                "X1 f q rsec\n"
                "E1 out 0 q 0 2\n"
                ".subckt rsec p q\nR1 p q 1k\nC1 q 0 1n\n.ends\n"
                ".print ac v(out)\n"
                ".end\n");
  // The same circuit in the netlist language: in 1, out 2, a 3, the
  // sensing node between F1 and H1 4, b 5, c 6, d 7, e 8, f 9, the
  // inductors' inner ends 10 and 11, q 12.
  scratch.write("same.net",
                "r1 1 3\nc1 5 0\nb1 0 6 3 4\nrm1 7 0 4 5\nr2 6 0\nr3 7 6\ngm1 0 8 6 0\n"
                "l1 8 10\nl2 9 11\nm1 10 0 11 0\nrx1 9 12\ncx1 12 0\nu1 2 0 12 0\nf 1 0 2 0\ne\n");
  ShellRun deck = runShell(scratch, "\"$VELKOR\" -q --format=json same.cir");
  ShellRun netlist = runShell(scratch, "\"$VELKOR\" -q --format=json same.net");
  ASSERT_EQ(deck.status, 0) << deck.err;
  ASSERT_EQ(netlist.status, 0) << netlist.err;
  const std::map<std::string, std::string> names = {{"f1", "b1"},     {"rm.h1", "rm1"}, {"g1", "gm1"}, {"m.k1", "m1"},
                                                    {"r1.x1", "rx1"}, {"c1.x1", "cx1"}, {"e1", "u1"}};
  const auto fromDeck = termsOf(deck.out, names);
  const auto fromNetlist = termsOf(netlist.out, {});
  EXPECT_EQ(fromDeck.size(), 32u);
  EXPECT_EQ(fromDeck, fromNetlist);
}

TEST(SpiceDeck, EveryErrorNamesItsPlaceAndWhatWasExpectedAndWritesNothing) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  scratch.write("sub.inc", "* a library\n.subckt pair a b\nR1 a b 1k\n.ends\n");
  const std::string head = "title\nV1 in 0 ac 1\nRl out 0 1k\n";
  const std::string tail = ".print ac v(out)\n.end\n";
  struct Case {
    std::string body;
    std::string message;  // after "deck.cir:"
  };
  const std::vector<Case> cases = {
      {"R1 in out\n", "4:10: error: expected two nodes and a resistance after 'out'"},
      {"R1 in out 4x7\n",
       "4:11: error: expected a value (a number such as 4k7, 10u or 1.5meg, or {expression}), found '4x7'"},
      {"R1 in out {2*rr}\n",
       "4:11: error: expected a parameter defined by .param or the subcircuit ('rr' is not) in '2*rr', found 'r'"},
      {"R1 in out {2*(1k}\n", "4:11: error: expected ')' in '2*(1k', found the end"},
      {"R1 in out {1k\n", "4:11: error: expected '}' to close the expression opened here"},
      {"R1 in out 1k m=2\n", "4:14: error: expected no 'm=' (write the element's value itself)"},
      {"D1 in out dmod\n",
       "4:1: error: expected an element of a linear small-signal network (R C L G E F H K V I X Q M), found 'D1', a "
       "diode"},
      {"B1 out 0 v=v(in)*2\n",
       "4:1: error: expected an element of a linear small-signal network (R C L G E F H K V I X Q M), found 'B1', a "
       "behavioural source"},
      {"E1 out 0 poly(1) in 0 0 1\n",
       "4:10: error: expected two controlling nodes and a gain (a linear controlled source), found 'poly'"},
      {"F1 out 0 Vx 2\n", "4:1: error: expected 'vx' to name a voltage source of the deck (its current is sensed)"},
      {"F1 out 0 R1 2\n", "4:10: error: expected the name of a voltage source that senses the current, found 'R1'"},
      {"L1 in out 1m\nK1 L1 R2 0.5\n", "5:7: error: expected the name of an inductor, found 'R2'"},
      {"L1 in out 1m\nL2 out 0 1m\nK1 L1 L2 1.5\n", "6:10: error: expected a coupling coefficient from -1 to 1"},
      {"X1 in out nosuch\n", "4:11: error: expected the name of a subcircuit defined by .subckt, found 'nosuch'"},
      {".include \"sub.inc\"\nX1 in out 0 pair\n", "5:1: error: expected 2 nodes for subcircuit 'pair', found 3"},
      {".include \"missing.inc\"\n", "4:10: error: expected a readable file, cannot read './missing.inc'"},
      {".subckt open a b\nR1 a b 1k\n",
       "4:1: error: expected .ends for subcircuit 'open', opened here, before the end of the deck"},
      {".func f(x) {x}\n",
       "4:1: error: expected a card for the small-signal network (.subckt, .ends, .param, .include, .model, .end, an "
       "analysis or output card), found '.func'"},
      {"Rvery_long_name in out 1k\n",
       "4:1: error: expected element names of at most 12 characters with their instance path, 'rvery_long_name' has 15 "
       "(shorten the element or instance names)"},
      {"R1 in out 1k\nr1 out 0 2k\n", "5:1: error: expected a new element name, 'r1' is used already at deck.cir:4:1"},
      {"V2 x 0 ac 1\n",
       "4:1: error: expected one independent source marked AC for port 1, found v1 v2; write --ports=IN,REF,OUT,REF"},
      {".print ac v(in) v(nowhere)\n", "4:19: error: expected a node of the deck in this output, 'nowhere' is none"},
      {"R5 out x 1\n.print ac v(x)\n",
       "6:13: error: expected one output node for port 2, the output cards name 2; write --ports=IN,REF,OUT,REF"},
      {"+ 1k\n", "4:1: error: expected an element or a dot card before this continuation line"},
  };
  for (const Case& c : cases) {
    std::string text = head + c.body + tail;
    if (c.body.rfind("+ ", 0) == 0) text = "title\n" + c.body + "V1 in 0 ac 1\n" + tail;
    if (c.body.rfind("+ ", 0) == 0) text = "title\n\n\n" + c.body;
    scratch.write("deck.cir", text);
    ShellRun run =
        runShell(scratch, "rm -f out.txt; \"$VELKOR\" -o out.txt --eval deck.cir; echo \"[$(ls out.txt 2>&1)]\"");
    EXPECT_EQ(run.err, "deck.cir:" + c.message + "\n") << c.body;
    EXPECT_NE(run.out.find("[ls: cannot access"), std::string::npos) << c.body << run.out;
  }
  // The status of a deck error is 1.
  scratch.write("deck.cir", head + "R1 in out\n" + tail);
  EXPECT_EQ(runShell(scratch, "\"$VELKOR\" deck.cir").status, 1);
  // No AC source at all.
  scratch.write("deck.cir", "title\nR1 in out 1k\n.end\n");
  ShellRun none = runShell(scratch, "\"$VELKOR\" deck.cir");
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err,
            "deck.cir:1:1: error: expected one independent source marked AC for port 1 (such as "
            "'vin in 0 ac 1'), or --ports=IN,REF,OUT,REF\n");
}

// The README's decks, each run as it stands with the commands under it;
// the numbers the README quotes are in the output.
TEST(SpiceDeck, TheReadmeDecksRunAsTheyStand) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  const std::string readme = readFile(VELKOR_SOURCE_DIR "/README.md");
  const std::string section = readme.substr(readme.find("## Circuit decks"));
  const std::regex block("```spice\n([^`]*)```\n\n```sh\n([^`]*)```");
  int decks = 0;
  std::string outputs;
  for (std::sregex_iterator it(section.begin(), section.end(), block), end; it != end; ++it) {
    const std::string deck = (*it)[1];
    const std::string commands = (*it)[2];
    std::smatch name;
    ASSERT_TRUE(std::regex_search(commands, name, std::regex("(\\S+\\.cir)"))) << commands;
    scratch.write(name[1], deck);
    if (commands.find("ngspice") != std::string::npos && runShell(scratch, "command -v ngspice").status != 0)
      GTEST_SKIP() << "ngspice is not installed";
    std::string script = std::regex_replace(commands, std::regex("^velkor ", std::regex::multiline), "\"$VELKOR\" -q ");
    ShellRun run = runShell(scratch, "set -e\n" + script);
    EXPECT_EQ(run.status, 0) << script << run.err;
    outputs += run.out;
    ++decks;
  }
  EXPECT_EQ(decks, 3);
  for (const char* quoted : {"dc:           0.99999", "1073.02       0.741612", "dc:           -9.25262",
                             "-1 rpi.q1    gm.q1    ro.q1    rc", " At values: rs = 50, r1 = 10000, rl = 100000\n",
                             "            1.005e+09 c1   \n"})
    EXPECT_NE(outputs.find(quoted), std::string::npos) << quoted;
}

}  // namespace
}  // namespace velkor::testing

// Elements written as numbers (--numeric, --symbolic) through the real
// executable. Each circuit runs three times: as it is, with the named
// elements at their values, and with every other element at its value.
// The three runs give the same numbers (--eval, the Bode data), and the
// printed formulas with real coefficients, read back from JSON and
// evaluated at the values of the symbols they keep (those the other run
// wrote in), give the coefficients of the formula without substitution.
// Then every mistake in the names: one line, the documented exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_helpers.h"
#include "support/scratch_dir.h"

namespace velkor::testing {
namespace {

using nlohmann::json;

bool near(double a, double b, double relative) {
  return std::fabs(a - b) <= relative * std::max(std::fabs(a), std::fabs(b)) || (a == 0 && b == 0);
}

// Numbers of two runs: coefficients, DC value, zeros and poles (as sets).
void expectSameNumbers(const json& a, const json& b, const std::string& what) {
  for (const char* side : {"numerator", "denominator"}) {
    ASSERT_EQ(a[side].size(), b[side].size()) << what << " " << side;
    for (std::size_t k = 0; k < a[side].size(); ++k)
      EXPECT_TRUE(near(a[side][k].get<double>(), b[side][k].get<double>(), 1e-12))
          << what << " " << side << "[" << k << "]: " << a[side][k] << " vs " << b[side][k];
  }
  EXPECT_EQ(a["dc"].is_null(), b["dc"].is_null()) << what;
  if (!a["dc"].is_null()) {
    EXPECT_TRUE(near(a["dc"].get<double>(), b["dc"].get<double>(), 1e-12)) << what;
  }
  for (const char* roots : {"zeros", "poles"}) {
    ASSERT_EQ(a[roots].size(), b[roots].size()) << what << " " << roots;
    for (const json& root : a[roots]) {
      const std::complex<double> r(root[0].get<double>(), root[1].get<double>());
      bool found = false;
      for (const json& other : b[roots])
        found = found || std::abs(r - std::complex<double>(other[0].get<double>(), other[1].get<double>())) <=
                             1e-9 * std::max(1.0, std::abs(r));
      EXPECT_TRUE(found) << what << " " << roots << ": " << root << " not in " << b[roots];
    }
  }
}

// The printed polynomial evaluated at `values` for the symbols it keeps:
// one sum per power of s, from the power `lowest`.
std::vector<double> evaluated(const json& polynomial, const json& values, int lowest) {
  std::vector<double> sums;
  for (const json& term : polynomial) {
    double product = term["coefficient"].get<double>();
    for (const auto& [name, exponent] : term["factors"].items()) {
      EXPECT_TRUE(values.contains(name)) << name;
      product *= std::pow(values.value(name, 0.0), exponent.get<int>());
    }
    const std::size_t at = static_cast<std::size_t>(term["s"].get<int>() - lowest);
    if (at >= sums.size()) sums.resize(at + 1, 0.0);
    sums[at] += product;
  }
  return sums;
}

struct Circuit {
  const char* name;
  std::string input;  // files and options of all three runs
  std::string names;  // the elements of --numeric, and of --symbolic
};

TEST(NumericElements, SameNumbersWithAndWithoutValuesInTheFormulas) {
  const std::string examples = VELKOR_EXAMPLES_DIR;
  const std::string decks = std::string(VELKOR_SOURCE_DIR) + "/tests/spice/";
  const std::vector<Circuit> circuits = {
      {"Sallen-Key netlist", examples + "/sallen_key_lowpass.net --values=" + examples + "/sallen_key_lowpass.values",
       "r1,r2,u"},
      {"biquad netlist, --set",
       examples + "/tow_thomas_biquad.net --set=rin=10k --set=rq=20k --set=c1=10n --set=r2=10k --set=c2=10n "
                  "--set=r3=10k --set=rf=10k",
       "rq,c1,r3"},
      {"transistor deck", decks + "bjt_common_emitter.cir --op=" + decks + "bjt_common_emitter.op", "cpi.q1,cmu.q1,rc"},
      {"subcircuit deck", decks + "opamp_macro_inverter.cir", "rp.x1,cp.x1,r2"},
      {"transformer deck", decks + "transformer_k.cir", "m.k1,c2,l1"},
  };
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  for (const Circuit& c : circuits) {
    const std::string base = "\"$VELKOR\" --format=json --eval --bode=b --points=60 " + c.input;
    std::vector<json> runs;
    std::vector<std::string> bode;
    std::string plainErrors;
    for (const std::string& choice : {std::string(), " --numeric=" + c.names, " --symbolic=" + c.names}) {
      ShellRun run = runShell(scratch, base + choice + " > out.json");
      ASSERT_EQ(run.status, 0) << c.name << choice << "\n" << run.err;
      // The same warnings (formulas without values left out of the plot).
      if (choice.empty()) plainErrors = run.err;
      EXPECT_EQ(run.err, plainErrors) << c.name << choice;
      runs.push_back(json::parse(readFile(scratch.path("out.json"))));
      bode.push_back(readFile(scratch.path("b.csv")));
    }
    const json& plainParameters = runs[0]["netlists"][0]["parameters"];
    ASSERT_FALSE(plainParameters.empty()) << c.name;
    for (int r = 1; r <= 2; ++r) {
      const json& parameters = runs[static_cast<std::size_t>(r)]["netlists"][0]["parameters"];
      const json& others = runs[static_cast<std::size_t>(3 - r)]["netlists"][0]["parameters"];
      ASSERT_EQ(parameters.size(), plainParameters.size()) << c.name;
      for (std::size_t p = 0; p < parameters.size(); ++p) {
        const json& plain = plainParameters[p];
        const json& substituted = parameters[p];
        const std::string what = std::string(c.name) + (r == 1 ? " --numeric " : " --symbolic ") +
                                 plain["name"].get<std::string>();
        EXPECT_FALSE(plain.contains("at_values")) << what;
        expectSameNumbers(plain["numeric"], substituted["numeric"], what);
        if (!substituted.contains("at_values") || !plain["numeric"]["missing"].empty()) continue;
        // Read back at the values the other run wrote in, the printed
        // polynomials give the plain formula's coefficients.
        const json values = others[p].value("at_values", json::object());
        const int lowest = 0;
        for (const char* side : {"numerator", "denominator"}) {
          std::vector<double> sums = evaluated(substituted[side], values, lowest);
          const json& expected = plain["numeric"][side];
          sums.resize(std::max(sums.size(), expected.size()), 0.0);
          for (std::size_t k = 0; k < expected.size(); ++k) {
            const double e = expected[k].get<double>();
            // A coefficient that is 0 may read back as rounding noise.
            EXPECT_TRUE(near(sums[k], e, 1e-9) || (e == 0 && std::fabs(sums[k]) < 1e-6 * std::fabs(sums.back())))
                << what << " " << side << " s^" << k << ": " << sums[k] << " vs " << e;
          }
        }
      }
    }
    // The Bode data: magnitude and phase of every formula, the same to
    // rounding at every frequency of both runs (the plot adds points where
    // a curve bends, so that rounding may add or leave out one).
    for (int r = 1; r <= 2; ++r) {
      std::map<std::string, std::string> plainLines;
      std::istringstream a(bode[0]), b(bode[static_cast<std::size_t>(r)]);
      std::string line;
      std::size_t lines = 0, compared = 0;
      while (std::getline(a, line)) plainLines[line.substr(0, line.find(','))] = line;
      while (std::getline(b, line)) {
        ++lines;
        const auto found = plainLines.find(line.substr(0, line.find(',')));
        if (found == plainLines.end()) continue;
        ++compared;
        std::istringstream fieldsA(found->second), fieldsB(line);
        std::string x, y;
        while (std::getline(fieldsA, x, ',')) {
          ASSERT_TRUE(std::getline(fieldsB, y, ',')) << c.name;
          char* endX = nullptr;
          const double u = std::strtod(x.c_str(), &endX), v = std::strtod(y.c_str(), nullptr);
          if (endX == x.c_str() || *endX != 0) {
            EXPECT_EQ(x, y) << c.name;
            continue;
          }
          EXPECT_TRUE(std::fabs(u - v) <= 1e-7 * std::max(1.0, std::fabs(u))) << c.name << ": " << found->second
                                                                              << " vs " << line;
        }
      }
      EXPECT_GT(compared, 60u) << c.name;
      EXPECT_GE(compared * 10, lines * 9) << c.name;
    }
  }
}

TEST(NumericElements, MistakesInTheNamesAreOneLineWithTheExitStatus) {
  Scratch scratch;
  ASSERT_TRUE(scratch.ok());
  const std::string sk = "sk.net --values=sk.val";
  scratch.write("sk.net", readFile(std::string(VELKOR_EXAMPLES_DIR) + "/sallen_key_lowpass.net"));
  scratch.write("sk.val", readFile(std::string(VELKOR_EXAMPLES_DIR) + "/sallen_key_lowpass.values"));
  scratch.write("rc.cir", "rc\nV1 in 0 ac 1\nR1 in out 1k\nC1 out 0 1u\nQ1 out in 0 qn\n.model qn npn\n.print ac v(out)\n.end\n");
  struct Case {
    std::string options;
    int status;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"--numeric=r1,r9 --set=r9=1 --quiet -o out.txt " + sk, 1,
       "velkor: error: --numeric: 'r9' is no element of any netlist analysed\n"
       "velkor: no output file written, because of the errors above\n"},
      {"--numeric=r1 sk.net", 2, "velkor: --numeric: 'r1' has no value (give one with --values or --set)\n"},
      {"--numeric=r1, " + sk, 2,
       "velkor: invalid argument 'r1,' for '--numeric'; element names separated by commas, such as r1,c2\n"
       "Try 'velkor --help'.\n"},
      {"--numeric=r1 --symbolic=c1 " + sk, 2,
       "velkor: '--numeric' and '--symbolic' cannot be combined: name the numbers or the symbols\n"
       "Try 'velkor --help'.\n"},
      {"--symbolic=c1 --formulas=none --eval " + sk, 2,
       "velkor: '--symbolic' writes values into the formulas: it cannot be combined with '--formulas=none'\n"
       "Try 'velkor --help'.\n"},
      {"--numeric=r1 --approx=0.05 " + sk, 2,
       "velkor: '--numeric' with '--approx' needs '--formulas=exact': values are written into the exact formulas, "
       "and the approximation is then made from them\n"
       "Try 'velkor --help'.\n"},
      {"--numeric=R2 rc.cir", 2, "velkor: --numeric: 'r2' is no element of the deck\n"},
      // Every element but C1, where the transistor has no operating point:
      // its symbols stay, with a warning each (an error under --strict).
      {"--symbolic=C1 --strict -o out.txt rc.cir", 1,
       "velkor: warning: --symbolic: cmu.q1 has no value: it stays a symbol\n"
       "velkor: warning: --symbolic: cpi.q1 has no value: it stays a symbol\n"
       "velkor: warning: --symbolic: gm.q1 has no value: it stays a symbol\n"
       "velkor: warning: --symbolic: ro.q1 has no value: it stays a symbol\n"
       "velkor: warning: --symbolic: rpi.q1 has no value: it stays a symbol\n"
       "velkor: no output file written, because of the errors above\n"},
  };
  for (const Case& c : cases) {
    ShellRun run = runShell(scratch, "\"$VELKOR\" " + c.options + " >stdout.txt");
    EXPECT_EQ(run.status, c.status) << c.options;
    EXPECT_EQ(run.err, c.error) << c.options;
    EXPECT_NE(runShell(scratch, "test -e out.txt").status, 0) << c.options;
  }
  // The same names, right: one formula with r1 and u at their values.
  ShellRun run = runShell(scratch, "\"$VELKOR\" --numeric=r1,u " + sk);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find(" At values: r1 = 10000, u = 1\n"), std::string::npos) << run.out;
  // r1 c1 u - r1 c1 cancels at u = 1 and is left out.
  EXPECT_NE(run.out.find(" + s^1  (\n                   -1 r2    c2   \n               -10000 c2   \n        )\n"),
            std::string::npos)
      << run.out;
}

}  // namespace
}  // namespace velkor::testing

// Approximation during generation against the exact formula and against the
// approximation made from it: on circuits small enough for both, the terms
// generated directly must meet eps on a grid ten times finer than the one
// they were chosen on, measured against the exact formula as printed, and
// keep at most a quarter more terms than the approximation after
// generation at the same eps and values.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <climits>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "analysis/approximation_generation.h"
#include "analysis/element_values.h"
#include "driver/program_driver.h"
#include "render/numeric_sink.h"
#include "support/run_helpers.h"

namespace velkor {
namespace {

using Complex = std::complex<long double>;

// A typical value by the element's name: a transistor at 1 mA, resistors
// of kilohms, capacitors and inductors of filters.
long double typicalValue(std::string name) {
  while (!name.empty() && name.back() >= '0' && name.back() <= '9') name.pop_back();
  const std::pair<const char*, long double> named[] = {
      {"rpi", 2.5e3L}, {"cpi", 20e-12L}, {"cmu", 2e-12L}, {"gm", 40e-3L}, {"ro", 100e3L}, {"rs", 1e3L},
      {"rb", 20e3L},   {"rc", 4.7e3L},   {"re", 1e3L},    {"ce", 100e-6L}, {"cc", 1e-6L},  {"rl", 10e3L}};
  for (const auto& [prefix, value] : named)
    if (name == prefix) return value;
  switch (name.empty() ? ' ' : name[0]) {
    case 'r': return 10e3L;
    case 'c': return 10e-9L;
    case 'l': return 1e-3L;
    case 'g': return 1e-3L;
    default: return 1;
  }
}

// Every element name of a netlist (first word of its element lines).
ElementValues valuesFor(const std::string& netlist) {
  ElementValues values;
  for (std::size_t at = 0; at < netlist.size();) {
    std::size_t end = netlist.find('\n', at);
    if (end == std::string::npos) end = netlist.size();
    const std::string line = netlist.substr(at, end - at);
    at = end + 1;
    const std::string name = line.substr(0, line.find(' '));
    if (line.find(' ') == std::string::npos || name.empty() || name[0] == '{' || name == "f" || name == "p" ||
        name[0] == 'o')
      continue;
    values.set(name, typicalValue(name), "test");
  }
  return values;
}

// One polynomial of the JSON document at the values: its coefficient of
// each power of s (Horner then evaluates it at any s).
struct Polynomial {
  std::vector<long double> coefficients;
  Polynomial(const nlohmann::json& terms, const ElementValues& values) {
    for (const nlohmann::json& term : terms) {
      long double product = term["coefficient"].get<long double>();
      for (const auto& [name, exponent] : term["factors"].items())
        product *= std::pow(values.find(name)->value, exponent.get<int>());
      const std::size_t power = term["s"].get<std::size_t>();
      if (coefficients.size() <= power) coefficients.resize(power + 1, 0.0L);
      coefficients[power] += product;
    }
  }
  Complex at(Complex s) const {
    Complex sum = 0;
    for (std::size_t k = coefficients.size(); k-- > 0;) sum = sum * s + coefficients[k];
    return sum;
  }
};

nlohmann::json firstParameter(const std::string& netlist, const ElementValues& values, const ApproximationSettings* after,
                              const GenerationPlan* during, int jobs = 1) {
  NumericSettings numeric;
  numeric.values = &values;
  numeric.approximation = after;
  NumericResults results;
  RunOptions options;
  options.format = DocumentFormat::kJson;
  options.numeric = &numeric;
  options.numericResults = &results;
  options.generation = during;
  options.jobs = jobs;
  return nlohmann::json::parse(runOnString(netlist, options))["netlists"][0]["parameters"][0];
}

std::string ceChain(int stages) {
  std::string net = "{ce chain}\nrs 1 2\n";
  int in = 2;
  for (int k = 1; k <= stages; ++k) {
    const std::string n = std::to_string(k);
    const int c = 10 * k + 1, e = 10 * k + 2, next = 10 * k + 3;
    net += "rpi" + n + " " + std::to_string(in) + " " + std::to_string(e) + "\n";
    net += "cpi" + n + " " + std::to_string(in) + " " + std::to_string(e) + "\n";
    net += "cmu" + n + " " + std::to_string(in) + " " + std::to_string(c) + "\n";
    net += "gm" + n + " " + std::to_string(c) + " " + std::to_string(e) + " " + std::to_string(in) + " " +
           std::to_string(e) + "\n";
    net += "ro" + n + " " + std::to_string(c) + " " + std::to_string(e) + "\n";
    net += "rc" + n + " " + std::to_string(c) + " 0\nre" + n + " " + std::to_string(e) + " 0\nce" + n + " " +
           std::to_string(e) + " 0\nrb" + n + " " + std::to_string(in) + " 0\n";
    if (k < stages) net += "cc" + n + " " + std::to_string(c) + " " + std::to_string(next) + "\n";
    in = k < stages ? next : c;
  }
  net += "rl " + std::to_string(in) + " 0\nf 1 0 " + std::to_string(in) + " 0\np g21\nend\n";
  return net;
}

const char* const kCascodeFollowerY22 =
    "{cascode stage and emitter follower}\nrs 1 2\nrb1 2 0\nrpi1 2 0\ncpi1 2 0\ncmu1 2 3\ngm1 3 0 2 0\n"
    "ro1 3 0\nrpi2 0 3\ncpi2 0 3\ncmu2 0 4\ngm2 4 3 0 3\nro2 4 3\nrc2 4 0\nrpi3 4 5\ncpi3 4 5\n"
    "cmu3 4 0\ngm3 0 5 4 5\nro3 0 5\nre3 5 0\nrl 5 0\ncl 5 0\nf 1 0 5 0\np y22\nend\n";

std::string rcLadder(int sections) {
  std::string net = "{rc ladder}\n";
  for (int k = 1; k <= sections; ++k)
    net += "r" + std::to_string(k) + " " + std::to_string(k) + " " + std::to_string(k + 1) + "\nc" +
           std::to_string(k) + " " + std::to_string(k + 1) + " 0\n";
  return net + "f 1 0 " + std::to_string(sections + 1) + " 0\np g21\nend\n";
}

TEST(GenerationCrosscheck, MeetsEpsOnAFinerGridWithFewTermsMoreThanAfterGeneration) {
  struct Case {
    const char* name;
    std::string netlist;
    long double eps;
    std::vector<std::pair<const char*, long double>> values = {};  // besides the typical ones
  };
  const Case cases[] = {
      {"rc ladder 8", rcLadder(8), 0.05L},
      {"rc ladder 8, eps 0.01", rcLadder(8), 0.01L},
      {"common-emitter stage", testing::readFile(std::string(VELKOR_EXAMPLES_DIR) + "/common_emitter_stage.net"), 0.05L},
      {"sallen-key low-pass", testing::readFile(std::string(VELKOR_EXAMPLES_DIR) + "/sallen_key_lowpass.net"), 0.05L},
      {"tow-thomas biquad", testing::readFile(std::string(VELKOR_EXAMPLES_DIR) + "/tow_thomas_biquad.net"), 0.05L},
      {"ce chain 1", ceChain(1), 0.05L},
      {"ce chain 2", ceChain(2), 0.05L},
      {"ce chain 2, eps 0.2", ceChain(2), 0.2L},
      // A pole and a zero that cancel: one term over one is enough.
      {"cascode follower y22", kCascodeFollowerY22, 0.05L, {{"cl", 10e-6L}, {"rb1", 50e3L}, {"rc2", 5e3L}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ElementValues values = valuesFor(c.netlist);
    for (const auto& [name, value] : c.values) values.set(name, value, "test");
    const ApproximationSettings settings{c.eps, 0, 0};
    GenerationPlan plan;
    plan.values = &values;
    plan.settings = settings;
    const nlohmann::json exact = firstParameter(c.netlist, values, nullptr, nullptr);
    const nlohmann::json after = firstParameter(c.netlist, values, &settings, nullptr)["approximation"];
    const nlohmann::json during = firstParameter(c.netlist, values, nullptr, &plan)["approximation"];
    ASSERT_EQ(during["outcome"], "simplified") << during.dump();
    ASSERT_TRUE(during["met"].get<bool>());
    // Several jobs, sharing every search and the exact response: the same
    // document.
    GenerationPlan shared = plan;
    shared.sharedSearchNodes = 0;
    EXPECT_EQ(firstParameter(c.netlist, values, nullptr, &shared, 3)["approximation"], during);

    // Terms: at most a quarter more than after generation (all of them
    // when the exact formula had to stand whole).
    const char* count = after["outcome"] == "simplified" ? "kept" : "total";
    const long double afterTerms = after[count]["numerator"].get<long double>() + after[count]["denominator"].get<long double>();
    const long double duringTerms =
        during["kept"]["numerator"].get<long double>() + during["kept"]["denominator"].get<long double>();
    EXPECT_LE(duringTerms, 1.25L * afterTerms) << c.name;

    // Printed in lowest terms: no power of s, symbol or integer that
    // divides every term of both polynomials.
    int lowestPower = INT_MAX;
    std::int64_t divisor = 0;
    std::map<std::string, int> having;
    int termCount = 0;
    for (const char* side : {"numerator", "denominator"})
      for (const nlohmann::json& term : during[side]) {
        ++termCount;
        lowestPower = std::min(lowestPower, term["s"].get<int>());
        divisor = std::gcd(divisor, std::abs(term["coefficient"].get<std::int64_t>()));
        for (const auto& [name, exponent] : term["factors"].items()) ++having[name];
      }
    EXPECT_EQ(lowestPower, 0);
    EXPECT_EQ(divisor, 1);
    for (const auto& [name, terms] : having) EXPECT_LT(terms, termCount) << name;

    // The error on a grid ten times finer than the method's (1000 points a
    // decade), against the exact formula as printed; points below 1e-3 of
    // the largest |H| (notches) do not count, as for the method.
    const long double from = during["band"][0].get<long double>(), to = during["band"][1].get<long double>();
    const int points = static_cast<int>(std::ceil(std::log10(to / from) * 1000)) + 1;
    const Polynomial exactNumerator(exact["numerator"], values), exactDenominator(exact["denominator"], values);
    const Polynomial numerator(during["numerator"], values), denominator(during["denominator"], values);
    std::vector<Complex> h(static_cast<std::size_t>(points)), approximate(h.size());
    long double largest = 0;
    for (int i = 0; i < points; ++i) {
      const long double f = from * std::pow(to / from, static_cast<long double>(i) / (points - 1));
      const Complex s(0, 2 * 3.14159265358979323846L * f);
      h[static_cast<std::size_t>(i)] = exactNumerator.at(s) / exactDenominator.at(s);
      approximate[static_cast<std::size_t>(i)] = numerator.at(s) / denominator.at(s);
      largest = std::max(largest, std::abs(h[static_cast<std::size_t>(i)]));
    }
    long double worst = 0;
    for (std::size_t i = 0; i < h.size(); ++i)
      if (std::abs(h[i]) >= 1e-3L * largest) worst = std::max(worst, std::abs(approximate[i] - h[i]) / std::abs(h[i]));
    EXPECT_LE(worst, c.eps * (1 + 1e-6L)) << c.name;
  }
}

}  // namespace
}  // namespace velkor

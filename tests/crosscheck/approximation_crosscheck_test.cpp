// The approximation as a user gets it, read back from the JSON document of
// whole runs: its kept terms are terms of the exact formula, its counts are
// what it holds, and its error, measured here against the nodal analysis on
// a ten times finer grid, is the printed one and within EPS.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <numbers>
#include <set>

#include "crosscheck/crosscheck.h"
#include "crosscheck/two_port_rows.h"
#include "driver/program_driver.h"
#include "render/numeric_sink.h"

namespace velkor::crosscheck {
namespace {

using Json = nlohmann::ordered_json;
constexpr long double kTwoPi = 2 * std::numbers::pi_v<long double>;

// A term array evaluated at s, each term summed in long double.
Complex evaluateTerms(const Json& terms, const NumericValues& values, Complex s) {
  Complex sum = 0;
  for (const Json& term : terms) {
    long double product = static_cast<long double>(term.at("coefficient").get<std::int64_t>());
    for (const auto& [name, exponent] : term.at("factors").items())
      product *= std::pow(values.at(name), exponent.get<int>());
    sum += product * std::pow(s, term.at("s").get<int>());
  }
  return sum;
}

std::multiset<std::string> termSet(const Json& terms) {
  std::multiset<std::string> set;
  for (const Json& term : terms) set.insert(term.dump());
  return set;
}

bool contains(const std::multiset<std::string>& all, const std::multiset<std::string>& part) {
  return std::includes(all.begin(), all.end(), part.begin(), part.end());
}

struct Tally {
  int checked = 0, simplified = 0;
};

// One run of `netlist` at `eps`, every parameter's approximation checked.
void checkApproximations(const Netlist& netlist, const NumericValues& numbers, long double eps, Tally& tally) {
  ElementValues values;
  for (const auto& [name, value] : numbers) values.set(name, value, "test");
  ApproximationSettings approximation{eps, 0, 0};
  NumericSettings settings;
  settings.values = &values;
  settings.approximation = &approximation;
  NumericResults results;
  RunOptions options;
  options.format = DocumentFormat::kJson;
  options.numeric = &settings;
  options.numericResults = &results;
  const Json document = Json::parse(runOnString(netlist.text, options));
  std::vector<std::size_t> rows;
  for (std::size_t r = 0; r < 32; ++r)
    if (netlist.requested[r]) rows.push_back(r);
  const Json& parameters = document.at("netlists").at(0).at("parameters");
  ASSERT_EQ(parameters.size(), rows.size()) << netlist.text;
  for (std::size_t p = 0; p < rows.size(); ++p) {
    const Json& parameter = parameters[p];
    if (parameter.at("outcome") != "done") continue;
    const Json& a = parameter.at("approximation");
    SCOPED_TRACE(netlist.text + parameter.at("name").get<std::string>() + " " + a.dump().substr(0, 200));
    EXPECT_EQ(a.at("eps").get<double>(), static_cast<double>(eps));
    const std::string outcome = a.at("outcome");
    if (outcome != "simplified" && outcome != "whole") continue;
    ++tally.checked;
    for (const char* side : {"numerator", "denominator"}) {
      EXPECT_EQ(a.at("kept").at(side).get<std::size_t>(), a.at(side).size());
      EXPECT_EQ(a.at("total").at(side).get<std::size_t>(), parameter.at(side).size());
      EXPECT_TRUE(contains(termSet(parameter.at(side)), termSet(a.at(side))));
    }
    if (outcome == "whole") {
      EXPECT_EQ(a.at("error").get<double>(), 0.0);
      continue;
    }
    ++tally.simplified;
    // Ten times the program's 100 points a decade, with the same rule for
    // deep notches; the exact value from the nodal analysis.
    const long double from = a.at("band")[0].get<double>(), to = a.at("band")[1].get<double>();
    const int points = static_cast<int>(std::ceil(std::log10(to / from) * 1000)) + 1;
    std::vector<std::pair<Complex, Complex>> samples;
    long double largest = 0;
    for (int k = 0; k < points; ++k) {
      const long double omega = kTwoPi * from * std::pow(to / from, static_cast<long double>(k) / (points - 1));
      std::optional<NumericParameter> exact = numericParameter(netlist, numbers, {0, omega}, twoPortRows()[rows[p]]);
      if (!exact || !std::isfinite(std::abs(exact->value))) continue;
      const Complex s{0, omega};
      samples.emplace_back(exact->value, evaluateTerms(a.at("numerator"), numbers, s) /
                                             evaluateTerms(a.at("denominator"), numbers, s));
      largest = std::max(largest, std::abs(exact->value));
    }
    long double measured = 0;
    for (const auto& [exact, approximated] : samples)
      if (std::abs(exact) >= 1e-3L * largest) measured = std::max(measured, std::abs(approximated - exact) / std::abs(exact));
    const long double printed = a.at("error").get<double>();
    EXPECT_LE(printed, eps);
    EXPECT_LE(measured, eps + 0.1L * eps);
    EXPECT_NEAR(measured, printed, 0.1L * eps);
  }
}

TEST(ApproximationCrossCheck, JsonApproximationsOfRandomNetlistsHoldTheirBound) {
  Random random(1616);
  Tally tally;
  const ElementKind kinds[] = {ElementKind::Transconductor, ElementKind::VoltageGain, ElementKind::CurrentGain,
                               ElementKind::Gyrator};
  for (int trial = 0; trial < 10; ++trial) {
    Netlist netlist = randomNetlist(random, kinds[trial % 4], 0, false, NetlistShape{6, 3, 2});
    NumericValues numbers = randomElementValues(netlist, random);
    checkApproximations(netlist, numbers, trial % 2 == 0 ? 0.05L : 0.2L, tally);
  }
  std::printf("%d approximations checked, %d simplified\n", tally.checked, tally.simplified);
  EXPECT_GT(tally.checked, 30);
  EXPECT_GT(tally.simplified, tally.checked / 4);
}

}  // namespace
}  // namespace velkor::crosscheck

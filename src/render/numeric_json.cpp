#include "render/numeric_json.h"

#include <cmath>

namespace velkor {

namespace {

nlohmann::ordered_json number(long double value) {
  if (!std::isfinite(value)) return nullptr;
  return static_cast<double>(value);
}

nlohmann::ordered_json coefficients(const NumericPolynomial& polynomial) {
  nlohmann::ordered_json array = nlohmann::ordered_json::array();
  for (long double c : polynomial.coefficients) array.push_back(number(c));
  return array;
}

void roots(const std::vector<PolynomialRoot>& all, nlohmann::ordered_json& reliable,
           nlohmann::ordered_json& unreliable) {
  reliable = nlohmann::ordered_json::array();
  unreliable = nlohmann::ordered_json::array();
  for (const PolynomialRoot& root : all)
    (root.reliable ? reliable : unreliable)
        .push_back(nlohmann::ordered_json::array({number(root.value.real()), number(root.value.imag())}));
}

}  // namespace

nlohmann::ordered_json numericJson(const NumericSummary& summary) {
  nlohmann::ordered_json json = nlohmann::ordered_json::object();
  const bool complete = summary.complete();
  nlohmann::ordered_json empty = nlohmann::ordered_json::array();
  json["numerator"] = complete ? coefficients(summary.formula.numerator) : empty;
  json["denominator"] = complete ? coefficients(summary.formula.denominator) : empty;
  nlohmann::ordered_json zeros, poles, badZeros, badPoles;
  roots(summary.zeros, zeros, badZeros);
  roots(summary.poles, poles, badPoles);
  json["zeros"] = zeros;
  json["poles"] = poles;
  const LowFrequencyBehaviour& low = summary.lowFrequency;
  json["dc"] = !complete || !low.defined || low.power < 0 ? nlohmann::ordered_json(nullptr)
               : low.power > 0                           ? nlohmann::ordered_json(0.0)
                                                         : number(low.gain);
  json["missing"] = summary.missing;
  // Numbers by nodal analysis have no coefficients.
  if (summary.circuit) json["source"] = "nodal";
  if (summary.indeterminate) json["indeterminate"] = true;
  if (!badZeros.empty() || !badPoles.empty())
    json["ill_conditioned"] = {{"zeros", badZeros}, {"poles", badPoles}};
  return json;
}

}  // namespace velkor

// Reads polynomials, one a line: the degree n, then n + 1 coefficients
// (s^0 first), then n + 1 bounds on their errors; writes for each line the
// roots that polynomialRoots reports, one line of
//   count, then per root: re im reliable multiplicity uncertainty spread
// for the reference check in check_roots.py.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "analysis/polynomial_roots.h"

int main() {
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream words(line);
    std::size_t degree = 0;
    if (!(words >> degree)) continue;
    velkor::NumericPolynomial p;
    std::string word;
    for (std::size_t k = 0; k <= degree && words >> word; ++k) p.coefficients.push_back(std::strtold(word.c_str(), nullptr));
    for (std::size_t k = 0; k <= degree && words >> word; ++k) p.errorBounds.push_back(std::strtold(word.c_str(), nullptr));
    std::vector<velkor::PolynomialRoot> roots = velkor::polynomialRoots(p);
    std::printf("%zu", roots.size());
    for (const velkor::PolynomialRoot& r : roots)
      std::printf(" %.21Lg %.21Lg %d %d %.6Lg %.6Lg", r.value.real(), r.value.imag(), r.reliable ? 1 : 0, r.multiplicity,
                  r.relativeUncertainty, r.relativeSpread);
    std::printf("\n");
  }
  return 0;
}

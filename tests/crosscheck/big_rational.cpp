#include "crosscheck/big_rational.h"

#include <algorithm>
#include <cassert>
#include <stdexcept>

namespace velkor::crosscheck {

namespace {
constexpr std::uint64_t kBase = std::uint64_t{1} << 32;
}

// ---------------------------------------------------------------- BigInt

BigInt::BigInt(std::int64_t value) {
  negative_ = value < 0;
  // Magnitude through unsigned arithmetic, so that INT64_MIN is safe.
  std::uint64_t magnitude = negative_ ? std::uint64_t{0} - static_cast<std::uint64_t>(value)
                                      : static_cast<std::uint64_t>(value);
  while (magnitude != 0) {
    limbs_.push_back(static_cast<std::uint32_t>(magnitude));
    magnitude >>= 32;
  }
}

BigInt BigInt::make(Limbs limbs, bool negative) {
  BigInt result;
  trim(limbs);
  result.limbs_ = std::move(limbs);
  result.negative_ = negative && !result.limbs_.empty();
  return result;
}

void BigInt::trim(Limbs& limbs) {
  while (!limbs.empty() && limbs.back() == 0) limbs.pop_back();
}

BigInt BigInt::parse(const std::string& text) {
  std::size_t at = 0;
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
  if (at == text.size()) throw std::invalid_argument("no digits in '" + text + "'");
  Limbs limbs;
  for (; at < text.size(); ++at) {
    char c = text[at];
    if (c < '0' || c > '9') throw std::invalid_argument("bad digit in '" + text + "'");
    // limbs = limbs * 10 + digit
    std::uint64_t carry = static_cast<std::uint64_t>(c - '0');
    for (auto& limb : limbs) {
      std::uint64_t value = std::uint64_t{limb} * 10 + carry;
      limb = static_cast<std::uint32_t>(value);
      carry = value >> 32;
    }
    if (carry != 0) limbs.push_back(static_cast<std::uint32_t>(carry));
  }
  return make(std::move(limbs), negative);
}

BigInt BigInt::abs() const { return make(limbs_, false); }

BigInt BigInt::operator-() const { return make(limbs_, !negative_); }

std::uint32_t BigInt::divModSmall(Limbs& a, std::uint32_t divisor) {
  std::uint64_t remainder = 0;
  for (std::size_t i = a.size(); i-- > 0;) {
    std::uint64_t value = (remainder << 32) | a[i];
    a[i] = static_cast<std::uint32_t>(value / divisor);
    remainder = value % divisor;
  }
  trim(a);
  return static_cast<std::uint32_t>(remainder);
}

std::string BigInt::toString() const {
  if (limbs_.empty()) return "0";
  Limbs rest = limbs_;
  std::vector<std::uint32_t> chunks;  // base 10^9, least significant first
  while (!rest.empty()) chunks.push_back(divModSmall(rest, 1000000000u));
  std::string text = negative_ ? "-" : "";
  text += std::to_string(chunks.back());
  for (std::size_t i = chunks.size() - 1; i-- > 0;) {
    std::string part = std::to_string(chunks[i]);
    text += std::string(9 - part.size(), '0') + part;
  }
  return text;
}

int BigInt::compareMagnitude(const Limbs& a, const Limbs& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (std::size_t i = a.size(); i-- > 0;)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}

int BigInt::compare(const BigInt& a, const BigInt& b) {
  if (a.negative_ != b.negative_) return a.negative_ ? -1 : 1;
  int magnitude = compareMagnitude(a.limbs_, b.limbs_);
  return a.negative_ ? -magnitude : magnitude;
}

BigInt::Limbs BigInt::addMagnitude(const Limbs& a, const Limbs& b) {
  const Limbs& longer = a.size() >= b.size() ? a : b;
  const Limbs& shorter = a.size() >= b.size() ? b : a;
  Limbs sum(longer.size() + 1, 0);
  std::uint64_t carry = 0;
  for (std::size_t i = 0; i < longer.size(); ++i) {
    std::uint64_t value = std::uint64_t{longer[i]} + (i < shorter.size() ? shorter[i] : 0) + carry;
    sum[i] = static_cast<std::uint32_t>(value);
    carry = value >> 32;
  }
  sum[longer.size()] = static_cast<std::uint32_t>(carry);
  trim(sum);
  return sum;
}

BigInt::Limbs BigInt::subtractMagnitude(const Limbs& a, const Limbs& b) {
  Limbs difference(a.size(), 0);
  std::int64_t borrow = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    std::int64_t value = std::int64_t{a[i]} - (i < b.size() ? std::int64_t{b[i]} : 0) - borrow;
    borrow = value < 0 ? 1 : 0;
    if (value < 0) value += static_cast<std::int64_t>(kBase);
    difference[i] = static_cast<std::uint32_t>(value);
  }
  assert(borrow == 0);
  trim(difference);
  return difference;
}

BigInt::Limbs BigInt::multiplyMagnitude(const Limbs& a, const Limbs& b) {
  if (a.empty() || b.empty()) return {};
  Limbs product(a.size() + b.size(), 0);
  for (std::size_t i = 0; i < a.size(); ++i) {
    std::uint64_t carry = 0;
    for (std::size_t j = 0; j < b.size(); ++j) {
      std::uint64_t value = std::uint64_t{a[i]} * b[j] + product[i + j] + carry;
      product[i + j] = static_cast<std::uint32_t>(value);
      carry = value >> 32;
    }
    std::size_t k = i + b.size();
    while (carry != 0) {
      std::uint64_t value = std::uint64_t{product[k]} + carry;
      product[k] = static_cast<std::uint32_t>(value);
      carry = value >> 32;
      ++k;
    }
  }
  trim(product);
  return product;
}

// Long division of magnitudes (Knuth's algorithm D, base 2^32).
void BigInt::divModMagnitude(const Limbs& a, const Limbs& b, Limbs& quotient, Limbs& remainder) {
  if (b.empty()) throw std::domain_error("division by zero");
  if (compareMagnitude(a, b) < 0) {
    quotient.clear();
    remainder = a;
    return;
  }
  if (b.size() == 1) {
    quotient = a;
    std::uint32_t rest = divModSmall(quotient, b[0]);
    remainder.clear();
    if (rest != 0) remainder.push_back(rest);
    return;
  }
  // Normalize so that the divisor's top limb has its high bit set.
  int shift = 0;
  while ((b.back() << shift & 0x80000000u) == 0) ++shift;
  auto shifted = [shift](const Limbs& x, std::size_t extra) {
    Limbs out(x.size() + extra, 0);
    for (std::size_t i = 0; i < x.size(); ++i) {
      std::uint64_t value = std::uint64_t{x[i]} << shift;
      out[i] |= static_cast<std::uint32_t>(value);
      if (i + 1 < out.size()) out[i + 1] |= static_cast<std::uint32_t>(value >> 32);
    }
    return out;
  };
  Limbs u = shifted(a, 1);
  Limbs v = shifted(b, 0);
  std::size_t n = v.size();
  std::size_t m = a.size() - n;
  quotient.assign(m + 1, 0);
  for (std::size_t j = m + 1; j-- > 0;) {
    std::uint64_t top = (std::uint64_t{u[j + n]} << 32) | u[j + n - 1];
    std::uint64_t qhat = top / v[n - 1];
    std::uint64_t rhat = top % v[n - 1];
    while (qhat >= kBase || qhat * v[n - 2] > ((rhat << 32) | u[j + n - 2])) {
      --qhat;
      rhat += v[n - 1];
      if (rhat >= kBase) break;
    }
    // u[j .. j+n] -= qhat * v
    std::int64_t borrow = 0;
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < n; ++i) {
      std::uint64_t product = qhat * v[i] + carry;
      carry = product >> 32;
      std::int64_t value = std::int64_t{u[i + j]} - static_cast<std::int64_t>(product & 0xffffffffu) - borrow;
      borrow = value < 0 ? 1 : 0;
      if (value < 0) value += static_cast<std::int64_t>(kBase);
      u[i + j] = static_cast<std::uint32_t>(value);
    }
    std::int64_t value = std::int64_t{u[j + n]} - static_cast<std::int64_t>(carry) - borrow;
    bool negative = value < 0;
    if (negative) value += static_cast<std::int64_t>(kBase);
    u[j + n] = static_cast<std::uint32_t>(value);
    if (negative) {  // qhat was one too large: add v back
      --qhat;
      std::uint64_t add = 0;
      for (std::size_t i = 0; i < n; ++i) {
        std::uint64_t sum = std::uint64_t{u[i + j]} + v[i] + add;
        u[i + j] = static_cast<std::uint32_t>(sum);
        add = sum >> 32;
      }
      u[j + n] = static_cast<std::uint32_t>(std::uint64_t{u[j + n]} + add);
    }
    quotient[j] = static_cast<std::uint32_t>(qhat);
  }
  trim(quotient);
  // Unnormalize the remainder.
  remainder.assign(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    std::uint64_t value = u[i] >> shift;
    if (shift != 0 && i + 1 < u.size()) value |= std::uint64_t{u[i + 1]} << (32 - shift);
    remainder[i] = static_cast<std::uint32_t>(value);
  }
  trim(remainder);
}

BigInt operator+(const BigInt& a, const BigInt& b) {
  if (a.negative_ == b.negative_) return BigInt::make(BigInt::addMagnitude(a.limbs_, b.limbs_), a.negative_);
  int order = BigInt::compareMagnitude(a.limbs_, b.limbs_);
  if (order == 0) return BigInt();
  if (order > 0) return BigInt::make(BigInt::subtractMagnitude(a.limbs_, b.limbs_), a.negative_);
  return BigInt::make(BigInt::subtractMagnitude(b.limbs_, a.limbs_), b.negative_);
}

BigInt operator-(const BigInt& a, const BigInt& b) { return a + (-b); }

BigInt operator*(const BigInt& a, const BigInt& b) {
  return BigInt::make(BigInt::multiplyMagnitude(a.limbs_, b.limbs_), a.negative_ != b.negative_);
}

void BigInt::divMod(const BigInt& a, const BigInt& b, BigInt& quotient, BigInt& remainder) {
  Limbs q;
  Limbs r;
  divModMagnitude(a.limbs_, b.limbs_, q, r);
  quotient = make(std::move(q), a.negative_ != b.negative_);
  remainder = make(std::move(r), a.negative_);
}

BigInt operator/(const BigInt& a, const BigInt& b) {
  BigInt quotient;
  BigInt remainder;
  BigInt::divMod(a, b, quotient, remainder);
  return quotient;
}

BigInt operator%(const BigInt& a, const BigInt& b) {
  BigInt quotient;
  BigInt remainder;
  BigInt::divMod(a, b, quotient, remainder);
  return remainder;
}

BigInt BigInt::gcd(BigInt a, BigInt b) {
  a = a.abs();
  b = b.abs();
  while (!b.isZero()) {
    BigInt rest = a % b;
    a = std::move(b);
    b = std::move(rest);
  }
  return a;
}

// -------------------------------------------------------------- Rational

Rational::Rational(BigInt numerator, BigInt denominator)
    : num_(std::move(numerator)), den_(std::move(denominator)) {
  if (den_.isZero()) throw std::domain_error("rational with zero denominator");
  normalize();
}

void Rational::normalize() {
  if (den_.isNegative()) {
    num_ = -num_;
    den_ = -den_;
  }
  if (num_.isZero()) {
    den_ = BigInt(1);
    return;
  }
  BigInt divisor = BigInt::gcd(num_, den_);
  if (divisor != BigInt(1)) {
    num_ = num_ / divisor;
    den_ = den_ / divisor;
  }
}

std::string Rational::toString() const {
  if (den_ == BigInt(1)) return num_.toString();
  return num_.toString() + "/" + den_.toString();
}

Rational Rational::operator-() const {
  Rational result = *this;
  result.num_ = -result.num_;
  return result;
}

Rational operator+(const Rational& a, const Rational& b) {
  if (a.den_ == b.den_) return Rational(a.num_ + b.num_, a.den_);
  return Rational(a.num_ * b.den_ + b.num_ * a.den_, a.den_ * b.den_);
}

Rational operator-(const Rational& a, const Rational& b) { return a + (-b); }

Rational operator*(const Rational& a, const Rational& b) {
  if (a.isZero() || b.isZero()) return Rational();
  return Rational(a.num_ * b.num_, a.den_ * b.den_);
}

Rational operator/(const Rational& a, const Rational& b) {
  if (b.isZero()) throw std::domain_error("rational division by zero");
  return Rational(a.num_ * b.den_, a.den_ * b.num_);
}

Rational Rational::power(int exponent) const {
  Rational base = exponent < 0 ? Rational(1) / *this : *this;
  unsigned count = exponent < 0 ? static_cast<unsigned>(-static_cast<long>(exponent)) : static_cast<unsigned>(exponent);
  Rational result(1);
  while (count != 0) {
    if (count & 1u) result *= base;
    base *= base;
    count >>= 1;
  }
  return result;
}

}  // namespace velkor::crosscheck

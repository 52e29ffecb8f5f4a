// Exact arithmetic for the numerical cross-check: an arbitrary-precision
// signed integer and an always-reduced rational built on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velkor::crosscheck {

class BigInt {
 public:
  BigInt() = default;
  BigInt(std::int64_t value);  // NOLINT(google-explicit-constructor): numbers read naturally
  static BigInt parse(const std::string& text);  // optional '-', then decimal digits

  bool isZero() const { return limbs_.empty(); }
  bool isNegative() const { return negative_; }
  int sign() const { return isZero() ? 0 : (negative_ ? -1 : 1); }
  BigInt abs() const;
  std::string toString() const;

  friend BigInt operator+(const BigInt& a, const BigInt& b);
  friend BigInt operator-(const BigInt& a, const BigInt& b);
  friend BigInt operator*(const BigInt& a, const BigInt& b);
  // Truncating division (quotient rounds toward zero, remainder takes the
  // dividend's sign), as for built-in integers. The divisor must be nonzero.
  friend BigInt operator/(const BigInt& a, const BigInt& b);
  friend BigInt operator%(const BigInt& a, const BigInt& b);
  BigInt operator-() const;
  BigInt& operator+=(const BigInt& b) { return *this = *this + b; }
  BigInt& operator-=(const BigInt& b) { return *this = *this - b; }
  BigInt& operator*=(const BigInt& b) { return *this = *this * b; }

  friend bool operator==(const BigInt& a, const BigInt& b) {
    return a.negative_ == b.negative_ && a.limbs_ == b.limbs_;
  }
  friend bool operator!=(const BigInt& a, const BigInt& b) { return !(a == b); }
  friend bool operator<(const BigInt& a, const BigInt& b) { return compare(a, b) < 0; }
  friend bool operator>(const BigInt& a, const BigInt& b) { return compare(a, b) > 0; }
  friend bool operator<=(const BigInt& a, const BigInt& b) { return compare(a, b) <= 0; }
  friend bool operator>=(const BigInt& a, const BigInt& b) { return compare(a, b) >= 0; }

  static int compare(const BigInt& a, const BigInt& b);
  static BigInt gcd(BigInt a, BigInt b);  // nonnegative; gcd(0, 0) = 0
  static void divMod(const BigInt& a, const BigInt& b, BigInt& quotient, BigInt& remainder);

 private:
  using Limbs = std::vector<std::uint32_t>;  // little-endian, no leading zero limbs
  static int compareMagnitude(const Limbs& a, const Limbs& b);
  static Limbs addMagnitude(const Limbs& a, const Limbs& b);
  static Limbs subtractMagnitude(const Limbs& a, const Limbs& b);  // requires |a| >= |b|
  static Limbs multiplyMagnitude(const Limbs& a, const Limbs& b);
  static void divModMagnitude(const Limbs& a, const Limbs& b, Limbs& quotient, Limbs& remainder);
  static std::uint32_t divModSmall(Limbs& a, std::uint32_t divisor);
  static void trim(Limbs& limbs);
  static BigInt make(Limbs limbs, bool negative);

  Limbs limbs_;
  bool negative_ = false;
};

class Rational {
 public:
  Rational() : num_(0), den_(1) {}
  Rational(std::int64_t value) : num_(value), den_(1) {}  // NOLINT(google-explicit-constructor)
  Rational(BigInt numerator, BigInt denominator);         // denominator nonzero

  const BigInt& numerator() const { return num_; }
  const BigInt& denominator() const { return den_; }
  bool isZero() const { return num_.isZero(); }
  int sign() const { return num_.sign(); }
  std::string toString() const;

  friend Rational operator+(const Rational& a, const Rational& b);
  friend Rational operator-(const Rational& a, const Rational& b);
  friend Rational operator*(const Rational& a, const Rational& b);
  friend Rational operator/(const Rational& a, const Rational& b);  // b nonzero
  Rational operator-() const;
  Rational& operator+=(const Rational& b) { return *this = *this + b; }
  Rational& operator-=(const Rational& b) { return *this = *this - b; }
  Rational& operator*=(const Rational& b) { return *this = *this * b; }
  Rational& operator/=(const Rational& b) { return *this = *this / b; }
  friend bool operator==(const Rational& a, const Rational& b) {
    return a.num_ == b.num_ && a.den_ == b.den_;
  }
  friend bool operator!=(const Rational& a, const Rational& b) { return !(a == b); }

  Rational power(int exponent) const;  // exponent >= 0, or < 0 for a nonzero value

 private:
  void normalize();
  BigInt num_;
  BigInt den_;
};

}  // namespace velkor::crosscheck

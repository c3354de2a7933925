#include "common/vb_number.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

#include "common/runtime_error.h"

namespace nox {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int DigitValue(char c, int radix) {
  int value = 99;
  if (c >= '0' && c <= '9') value = c - '0';
  if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
  return value < radix ? value : -1;
}

// Hex and octal digits accumulate exactly in a double up to 2^53, far past
// any value that can later fit 32 bits; beyond that only the magnitude matters.
double ReadRadixDigits(std::string_view digits, int radix) {
  double value = 0;
  for (char c : digits) {
    int digit = DigitValue(c, radix);
    if (digit < 0) break;
    value = value * radix + digit;
  }
  return value;
}

// The longest prefix of `text` that spells a decimal number, in the form
// strtod understands (a "D" exponent written as "E").
std::string DecimalPrefix(std::string_view text) {
  std::string number;
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
  size_t mantissa_digits = 0;
  while (i < text.size() && IsDigit(text[i])) {
    number += text[i++];
    ++mantissa_digits;
  }
  if (i < text.size() && text[i] == '.') {
    number += text[i++];
    while (i < text.size() && IsDigit(text[i])) {
      number += text[i++];
      ++mantissa_digits;
    }
  }
  if (mantissa_digits == 0) return "0";
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
    size_t j = i + 1;
    std::string exponent = "E";
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
    size_t exponent_digits = 0;
    while (j < text.size() && IsDigit(text[j])) {
      exponent += text[j++];
      ++exponent_digits;
    }
    if (exponent_digits > 0) number += exponent;
  }
  return number;
}

}  // namespace

double ReadLeadingNumber(std::string_view text) {
  if (text.size() >= 2 && text[0] == '&') {
    if (text[1] == 'H' || text[1] == 'h') return ReadRadixDigits(text.substr(2), 16);
    if (text[1] == 'O' || text[1] == 'o') return ReadRadixDigits(text.substr(2), 8);
    return 0;
  }
  std::string number = DecimalPrefix(text);
  errno = 0;
  // Out-of-range results come back as +-HUGE_VAL or 0, which the rounding
  // step turns into an overflow or a plain 0.
  return std::strtod(number.c_str(), nullptr);
}

int32_t RoundToInt32(double value) {
  if (!std::isfinite(value)) Raise(kErrOverflow);
  // Ties to even: the default floating-point rounding mode.
  double rounded = std::nearbyint(value);
  if (rounded < -2147483648.0 || rounded > 2147483647.0) Raise(kErrOverflow);
  return static_cast<int32_t>(rounded);
}

int32_t ReadInt32(std::string_view text) { return RoundToInt32(ReadLeadingNumber(text)); }

}  // namespace nox

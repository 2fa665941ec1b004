// Foundation's numeric readings of strings (-[NSString boolValue], -integerValue, -intValue,
// -doubleValue), which the system relies on for settings stored as strings.
#include "cf_internal.h"
#include "scalar_text.h"

#include <climits>

namespace cf {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

size_t skipSpace(const std::string& s, size_t i) {
  while (i < s.size() && isSpace(s[i])) ++i;
  return i;
}

}  // namespace

// Leading whitespace, an optional sign, leading zeros; then yes on Y, y, T, t or a digit 1-9.
bool stringBoolValue(const std::string& s) {
  size_t i = skipSpace(s, 0);
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  while (i < s.size() && s[i] == '0') ++i;
  if (i >= s.size()) return false;
  char c = s[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

// Leading whitespace, an optional sign, then decimal digits up to the first non-digit; 0 when there
// are none; saturating at the 64-bit limits.
long long stringLongLongValue(const std::string& s) {
  size_t i = skipSpace(s, 0);
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  unsigned long long magnitude = 0;
  bool overflow = false;
  const unsigned long long limit = negative ? static_cast<unsigned long long>(LLONG_MAX) + 1 : LLONG_MAX;
  for (; i < s.size() && isDigit(s[i]); ++i) {
    unsigned digit = static_cast<unsigned>(s[i] - '0');
    if (overflow || magnitude > (limit - digit) / 10) {
      overflow = true;
      continue;
    }
    magnitude = magnitude * 10 + digit;
  }
  if (overflow) return negative ? LLONG_MIN : LLONG_MAX;
  if (negative) return magnitude == limit ? LLONG_MIN : -static_cast<long long>(magnitude);
  return static_cast<long long>(magnitude);
}

int stringIntValue(const std::string& s) {
  long long v = stringLongLongValue(s);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

// A decimal number (digits, an optional fraction, an optional exponent) after leading whitespace and
// an optional sign; 0.0 when there is none. No hexadecimal, "inf" or "nan" forms.
double stringDoubleValue(const std::string& s) {
  size_t i = skipSpace(s, 0);
  size_t start = i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return 0.0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && isDigit(s[j])) {
      while (j < s.size() && isDigit(s[j])) ++j;
      i = j;
    }
  }
  std::string number = s.substr(start, i - start);
  return strtodC(number.c_str(), nullptr);
}

}  // namespace cf

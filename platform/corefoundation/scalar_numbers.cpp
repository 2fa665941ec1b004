// Numbers written as text, read as the device reads them.
#include "scalar_text.h"
#include "unicode.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <strings.h>

namespace cf {
namespace {

// Whitespace as the device skips it before <integer> text: control and space bytes, the bytes
// 0x7F-0xA0 one at a time (so the tails of multi-byte characters too), and the leads of a few
// three-byte Unicode spaces (the device compares their last byte with decimal 80, kept here).
bool isIntegerSpace(const char* at, const char* end) {
  auto b = [&](size_t k) { return static_cast<unsigned char>(at[k]); };
  unsigned char c = b(0);
  if (c < 0x21 || (c > 0x7E && c < 0xA1)) return true;
  if ((c == 0xE2 || c == 0xE3) && end - at >= 3) {
    if (c == 0xE2 && b(1) == 0x80) return (b(2) >= 80 && b(2) <= 0x8B) || b(2) == 0xAF;
    if (c == 0xE2 && b(1) == 0x81) return b(2) == 0x9F;
    if (c == 0xE3 && b(1) == 0x80 && b(2) == 0x80) return true;
  }
  return false;
}

}  // namespace

int hexDigitValue(uint32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

double strtodC(const char* text, char** stop) {
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  return strtod_l(text, stop, cLocale);
}

const char* scanIntegerText(const char* at, const char* end, IntegerText* out) {
  while (at < end && isIntegerSpace(at, end)) ++at;
  if (at >= end || *at == '<') return nullptr;
  bool negative = false, hex = false, zeros = false;
  if (*at == '-' || *at == '+') {
    negative = *at++ == '-';
    while (at < end && isIntegerSpace(at, end)) ++at;
  }
  if (at >= end) return nullptr;
  if (*at == '0') {
    if (at + 1 < end && (at[1] == 'x' || at[1] == 'X')) {
      hex = true;
      ++at;
    } else {
      zeros = true;
    }
    ++at;
  }
  if (at >= end) return nullptr;
  while (*at == '0') {
    zeros = true;
    if (++at >= end) return nullptr;
  }
  if (*at == '<') {
    if (!zeros) return nullptr;
    *out = IntegerText{};
    return at;
  }
  uint64_t value = 0, base = hex ? 16 : 10;
  while (*at != '<') {
    int digit = hexDigitValue(static_cast<unsigned char>(*at));
    if (digit < 0 || (!hex && digit > 9)) return nullptr;
    if (UINT64_MAX / base < value) return nullptr;
    value *= base;
    if (UINT64_MAX - static_cast<uint64_t>(digit) < value) return nullptr;
    value += static_cast<uint64_t>(digit);
    if (negative && value > static_cast<uint64_t>(INT64_MAX) + 1) return nullptr;
    if (++at >= end) return nullptr;
  }
  if (negative) *out = {IntegerText::Signed, static_cast<int64_t>(0 - value), 0};
  else if (value <= static_cast<uint64_t>(INT64_MAX)) *out = {IntegerText::Signed, static_cast<int64_t>(value), 0};
  else *out = {IntegerText::Unsigned, 0, value};
  return at;
}

bool readRealText(const std::string& text, double* value) {
  static const struct {
    const char* word;
    double value;
  } kWords[] = {{"nan", NAN},         {"+infinity", INFINITY}, {"-infinity", -INFINITY}, {"infinity", INFINITY},
                {"-inf", -INFINITY}, {"inf", INFINITY},       {"+inf", INFINITY}};
  for (const auto& w : kWords) {
    if (text.size() == std::strlen(w.word) && strncasecmp(text.c_str(), w.word, text.size()) == 0) {
      *value = w.value;
      return true;
    }
  }
  std::vector<uint32_t> cps;
  decodeUTF8(text, cps);
  size_t i = 0;
  auto isSpace = [](uint32_t c) { return c < 0x21 || (c > 0x7E && c < 0xA1) || (c >= 0x2000 && c <= 0x200B) || c == 0x3000; };
  while (i < cps.size() && isSpace(cps[i])) ++i;
  std::string number;
  for (size_t k = i; k < cps.size(); ++k) {
    uint32_t c = cps[k];
    if (!((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E')) break;
    number += static_cast<char>(c);
  }
  char* stop = nullptr;
  double d = strtodC(number.c_str(), &stop);
  size_t used = static_cast<size_t>(stop - number.c_str());
  if (used == 0 || i + used != cps.size()) return false;
  *value = d;
  return true;
}

}  // namespace cf

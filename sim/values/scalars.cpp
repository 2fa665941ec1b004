#include "values/scalars.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace sim::values {
namespace {

// Seconds from 1970-01-01 to 2001-01-01, the property lists' epoch.
constexpr long long kEpoch2001 = 978307200;

bool hasDigit(const std::string& word) { return word.find_first_of("0123456789") != std::string::npos; }

// Days from 1970-01-01 to the civil date y-m-d (proleptic Gregorian).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

unsigned daysInMonth(long long y, unsigned m) {
  static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : days[m - 1];
}

// Reads exactly `count` digits at `at`.
bool digits(const std::string& s, size_t& at, size_t count, unsigned* value) {
  if (at + count > s.size()) return false;
  unsigned v = 0;
  for (size_t i = 0; i < count; ++i) {
    char c = s[at + i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  at += count;
  *value = v;
  return true;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::string parseBase64(const std::string& text, std::string* bytes) {
  std::string in = text;
  while (!in.empty() && in.back() == '=') in.pop_back();
  if (text.size() - in.size() > 2 || in.size() % 4 == 1) return "'" + text + "' is not base64 (its length is wrong)";
  bytes->clear();
  unsigned buffer = 0;
  int bits = 0;
  for (char c : in) {
    int v = base64Value(c);
    if (v < 0) return "'" + text + "' is not base64 ('" + std::string(1, c) + "' is not a base64 character)";
    buffer = (buffer << 6) | static_cast<unsigned>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes->push_back(static_cast<char>((buffer >> bits) & 0xff));
    }
  }
  return {};
}

}  // namespace

bool parseBoolWord(const std::string& word, bool* value) {
  if (word == "true" || word == "yes") return *value = true, true;
  if (word == "false" || word == "no") return *value = false, true;
  return false;
}

bool parseIntegerWord(const std::string& word, long long* value) {
  if (word.empty() || !hasDigit(word)) return false;
  errno = 0;
  char* end = nullptr;
  *value = std::strtoll(word.c_str(), &end, 10);
  return errno == 0 && end != nullptr && *end == '\0';
}

bool parseRealWord(const std::string& word, double* value) {
  if (word.empty() || !hasDigit(word)) return false;
  errno = 0;
  char* end = nullptr;
  *value = std::strtod(word.c_str(), &end);
  return errno == 0 && end != nullptr && *end == '\0' && std::isfinite(*value);
}

bool looksLikeDate(const std::string& word) {
  size_t at = 0;
  unsigned ignored = 0;
  return digits(word, at, 4, &ignored) && at < word.size() && word[at] == '-';
}

std::string parseDateWord(const std::string& word, double* seconds) {
  const std::string bad = "'" + word + "' is not an ISO 8601 date (2024-05-01 or 2024-05-01T12:30:00Z)";
  size_t at = 0;
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  auto expect = [&](char c) { return at < word.size() && word[at++] == c; };
  if (!digits(word, at, 4, &year) || !expect('-') || !digits(word, at, 2, &month) || !expect('-') ||
      !digits(word, at, 2, &day))
    return bad;
  double fraction = 0;
  long long offset = 0;
  if (at < word.size()) {
    if (!expect('T') || !digits(word, at, 2, &hour) || !expect(':') || !digits(word, at, 2, &minute)) return bad;
    if (at < word.size() && word[at] == ':') {
      ++at;
      if (!digits(word, at, 2, &second)) return bad;
      if (at < word.size() && word[at] == '.') {
        size_t start = at++;
        while (at < word.size() && word[at] >= '0' && word[at] <= '9') ++at;
        if (at == start + 1) return bad;
        fraction = std::strtod(word.substr(start, at - start).c_str(), nullptr);
      }
    }
    if (at < word.size() && word[at] == 'Z') {
      ++at;
    } else if (at < word.size() && (word[at] == '+' || word[at] == '-')) {
      int sign = word[at++] == '-' ? -1 : 1;
      unsigned zoneHours = 0, zoneMinutes = 0;
      if (!digits(word, at, 2, &zoneHours)) return bad;
      if (at < word.size() && word[at] == ':') ++at;
      if (!digits(word, at, 2, &zoneMinutes) || zoneHours > 23 || zoneMinutes > 59) return bad;
      offset = sign * static_cast<long long>(zoneHours * 3600 + zoneMinutes * 60);
    }
    if (at != word.size()) return bad;
  }
  if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59 ||
      second > 59)
    return "'" + word + "' is not a date that exists";
  long long sinceUnixEpoch = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second - offset;
  double value = static_cast<double>(sinceUnixEpoch - kEpoch2001) + fraction;
  // The stored form holds whole seconds from 2001 in 32 bits.
  if (value < static_cast<double>(INT32_MIN) || value >= static_cast<double>(INT32_MAX))
    return "'" + word + "' is outside the dates a property list holds here (1932-12-14 to 2069-01-18)";
  *seconds = value;
  return {};
}

std::string parseHexDigits(const std::string& text, std::string* bytes) {
  bytes->clear();
  int high = -1;
  for (char c : text) {
    if (c == ' ' || c == '\t') continue;
    int v = hexValue(c);
    if (v < 0) return "'" + text + "' is not hex data ('" + std::string(1, c) + "' is not a hex digit)";
    if (high < 0) {
      high = v;
    } else {
      bytes->push_back(static_cast<char>(high * 16 + v));
      high = -1;
    }
  }
  if (high >= 0) return "'" + text + "' is not hex data (an odd number of digits)";
  return {};
}

std::string parseDataWord(const std::string& word, std::string* bytes) {
  if (word.rfind("base64:", 0) == 0) return parseBase64(word.substr(7), bytes);
  if (word.size() >= 2 && word.front() == '<' && word.back() == '>')
    return parseHexDigits(word.substr(1, word.size() - 2), bytes);
  return parseHexDigits(word, bytes);
}

}  // namespace sim::values

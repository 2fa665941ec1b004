// Base64, as property lists hold data in XML.
#include "scalar_text.h"

#include <array>

namespace cf {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Each ASCII character's digit, -1 outside the alphabet; '=' reads as the digit 0.
constexpr std::array<signed char, 128> digitTable() {
  std::array<signed char, 128> digits{};
  for (auto& d : digits) d = -1;
  for (int i = 0; i < 64; ++i) digits[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
  digits['='] = 0;
  return digits;
}
constexpr std::array<signed char, 128> kDigit = digitTable();

}  // namespace

bool decodeBase64(const char* begin, const char* end, std::vector<uint8_t>& out) {
  int equals = 0, digits = 0;
  uint32_t group = 0;
  for (const char* at = begin; at < end; ++at) {
    unsigned char c = static_cast<unsigned char>(*at);
    if (c == '=') ++equals;
    else if (!(c == ' ' || (c >= '\t' && c <= '\r'))) equals = 0;
    if (c >= 128) return false;
    if (kDigit[c] < 0) continue;
    group = (group << 6) + static_cast<uint32_t>(kDigit[c]);
    if (++digits % 4 == 0) {
      out.push_back(static_cast<uint8_t>(group >> 16));
      if (equals < 2) out.push_back(static_cast<uint8_t>(group >> 8));
      if (equals < 1) out.push_back(static_cast<uint8_t>(group));
    }
  }
  return true;
}

std::string encodeBase64(const std::vector<uint8_t>& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<uint32_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<uint32_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= bytes[i + 2];
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(group >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[group & 63] : '=';
  }
  return out;
}

}  // namespace cf

// How the device decodes a text property list before reading it: a byte-order mark, UTF-16 without
// one, or the encoding an XML declaration names; then strict UTF-8 for the XML reader and UTF-16 units
// for the OpenStep reader. Declared encodings are resolved and decoded as CFString does it
// (string_encodings.h).
#include "plist_text.h"
#include "string_encodings.h"
#include "unicode.h"

#include <strings.h>

#include <cstring>

namespace cf {
namespace {

struct Detected {
  CFStringEncoding encoding = kCFStringEncodingUTF8;
  size_t skip = 0;  // byte-order mark bytes not read
};

// The encoding an XML declaration names, as the device resolves it (string_encodings.h); false for a
// name it does not know, and for Mac Roman: that encoding's number is 0, which the device's detection
// takes for "no encoding".
bool encodingNamed(const std::string& name, Detected& d) {
  for (unsigned char c : name)
    if (c >= 0x80) return false;
  d.encoding = encodingForIANACharSetName(name.c_str());  // a NUL ends the name, as in a C string
  return d.encoding != kCFStringEncodingInvalidId && d.encoding != kCFStringEncodingMacRoman;
}

// The device's detection: byte-order marks, then UTF-16 without one (a zero byte among the first two),
// then an encoding="..." in an opening <?xml ...?>. False when it refuses the data.
bool detect(const uint8_t* b, size_t n, Detected& d) {
  if (n > 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF) {
    d = {kCFStringEncodingUTF32BE, 4};
    return true;
  }
  if (n > 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0) {
    d = {kCFStringEncodingUTF32LE, 4};
    return true;
  }
  if (n > 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    d = {kCFStringEncodingUTF8, 3};
    return true;
  }
  if (n > 2) {
    if (b[0] == 0xFF && b[1] == 0xFE) {
      d = {kCFStringEncodingUTF16LE, 2};
      return true;
    }
    if (b[0] == 0xFE && b[1] == 0xFF) {
      d = {kCFStringEncodingUTF16BE, 2};
      return true;
    }
    if (b[0] == 0 || b[1] == 0) {  // the device skips two bytes here as if they were a mark
      d = {kCFStringEncodingUTF16, 2};
      return true;
    }
  }
  d = {kCFStringEncodingUTF8, 0};
  if (n < 5 || std::memcmp(b, "<?xml", 5) != 0) return true;
  size_t at = 5;
  bool found = false;
  while (at < n) {
    uint8_t c = b[at];
    if (c == '?' || c == '>') return true;
    ++at;
    if (at + 8 >= n) return false;  // the declaration runs to the end of the data
    if (c == 'e' && std::memcmp(b + at, "ncoding=", 8) == 0) {
      at += 8;
      found = true;
      break;
    }
  }
  if (!found || at >= n) return true;
  uint8_t quote = b[at];
  if (quote != '\'' && quote != '"') return true;
  size_t start = ++at;
  while (at < n && b[at] != quote) ++at;
  if (at >= n) return true;
  std::string name(reinterpret_cast<const char*>(b + start), at - start);
  if (name.size() == 5 && strncasecmp(name.c_str(), "utf-8", 5) == 0) return true;
  return encodingNamed(name, d);
}

bool decodeUnits(const uint8_t* b, size_t n, const Detected& d, std::u16string& out) {
  if (d.encoding != kCFStringEncodingUTF8) return decodeEncodedBytes(b, n, d.encoding, out);
  std::string utf8;
  if (!readCFUTF8(reinterpret_cast<const char*>(b), n, utf8)) return false;
  std::vector<uint32_t> cps;
  decodeUTF8(utf8, cps);
  for (uint32_t cp : cps) appendUTF16(out, cp);
  return true;
}

}  // namespace

bool readCFUTF8(const char* bytes, size_t length, std::string& out) {
  const auto* b = reinterpret_cast<const uint8_t*>(bytes);
  size_t i = 0;
  bool ascii = true;
  for (size_t k = 0; k < length && ascii; ++k) ascii = b[k] < 0x80;
  if (ascii) {
    out.append(bytes, length);
    return true;
  }
  if (length >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) i = 3;
  while (i < length) {
    uint8_t c = b[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    bool legal = c >= 0xC2 && c <= 0xF4 && i + n <= length;
    for (size_t k = 1; legal && k < n; ++k) legal = (b[i + k] & 0xC0) == 0x80;
    if (legal && ((c == 0xE0 && b[i + 1] < 0xA0) || (c == 0xED && b[i + 1] > 0x9F) || (c == 0xF0 && b[i + 1] < 0x90) ||
                  (c == 0xF4 && b[i + 1] > 0x8F)))
      legal = false;
    if (!legal) {
      if (c != 0xA9) return false;
      appendUTF8(out, 0xFFFD);
      ++i;
      continue;
    }
    out.append(bytes + i, n);
    i += n;
  }
  return true;
}

bool decodePlistText(const uint8_t* bytes, size_t length, PlistText& text) {
  Detected d;
  if (!detect(bytes, length, d)) return false;
  text.original = bytes;
  text.originalLength = length;
  if (d.encoding == kCFStringEncodingUTF8) {
    // Read in place; the OpenStep reader decodes the whole data (its mark included) if it is needed.
    text.xml = reinterpret_cast<const char*>(bytes) + d.skip;
    text.xmlLength = length - d.skip;
    return true;
  }
  if (!decodeUnits(bytes + d.skip, length - d.skip, d, text.units)) return false;
  text.unitsReady = text.unitsValid = true;
  // The XML reader gets UTF-8, which ends where the device's conversion stops: at a lone surrogate.
  size_t end = 0;
  while (end < text.units.size()) {
    char16_t u = text.units[end];
    if (u >= 0xD800 && u <= 0xDBFF && end + 1 < text.units.size() && text.units[end + 1] >= 0xDC00 &&
        text.units[end + 1] <= 0xDFFF) {
      end += 2;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      break;
    } else {
      ++end;
    }
  }
  text.converted = utf8FromUnits(text.units.data(), end);
  text.xml = text.converted.data();
  text.xmlLength = text.converted.size();
  return text.xmlLength > 0;
}

bool openStepUnits(PlistText& text) {
  if (!text.unitsReady) {
    text.unitsReady = true;
    Detected utf8;
    text.unitsValid = decodeUnits(text.original, text.originalLength, utf8, text.units);
  }
  return text.unitsValid;
}

}  // namespace cf

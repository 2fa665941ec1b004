// UTF-8 checks and conversions between the encodings CFString accepts.
#include "cf_internal.h"
#include "unicode.h"

namespace cf {
namespace {

// Decodes one code point at s[i]; returns its length, or 0 when the bytes there are not valid UTF-8.
size_t decodeOne(const std::string& s, size_t i, uint32_t& cp) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char b0 = byte(i);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  size_t n;
  uint32_t min;
  if ((b0 & 0xE0) == 0xC0) n = 2, cp = b0 & 0x1F, min = 0x80;
  else if ((b0 & 0xF0) == 0xE0) n = 3, cp = b0 & 0x0F, min = 0x800;
  else if ((b0 & 0xF8) == 0xF0) n = 4, cp = b0 & 0x07, min = 0x10000;
  else return 0;
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

}  // namespace

void appendUTF16(std::u16string& out, uint32_t cp) {
  if (cp >= 0x10000) {
    out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
  } else {
    out += static_cast<char16_t>(cp);
  }
}

void appendUTF8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool decodeUTF8(const std::string& s, std::vector<uint32_t>& out) {
  out.clear();
  for (size_t i = 0; i < s.size();) {
    uint32_t cp;
    size_t n = decodeOne(s, i, cp);
    if (n == 0) return false;
    out.push_back(cp);
    i += n;
  }
  return true;
}

bool isValidUTF8(const std::string& bytes) {
  for (size_t i = 0; i < bytes.size();) {
    uint32_t cp;
    size_t n = decodeOne(bytes, i, cp);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string sanitizeUTF8(const std::string& bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size();) {
    uint32_t cp;
    size_t n = decodeOne(bytes, i, cp);
    if (n == 0) {
      appendUTF8(out, 0xFFFD);
      ++i;
    } else {
      out.append(bytes, i, n);
      i += n;
    }
  }
  return out;
}

size_t utf16Length(const std::string& utf8) {
  size_t units = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) ++units;      // a lead byte starts a code point
    if ((c & 0xF8) == 0xF0) ++units;      // four-byte sequences need a surrogate pair
  }
  return units;
}

bool isUTF16Family(CFStringEncoding e) {
  return e == kCFStringEncodingUTF16 || e == kCFStringEncodingUTF16BE || e == kCFStringEncodingUTF16LE;
}
bool isUTF32Family(CFStringEncoding e) {
  return e == kCFStringEncodingUTF32 || e == kCFStringEncodingUTF32BE || e == kCFStringEncodingUTF32LE;
}
bool isLatin1Family(CFStringEncoding e) {
  return e == kCFStringEncodingISOLatin1 || e == kCFStringEncodingWindowsLatin1 ||
         e == kCFStringEncodingMacRoman || e == kCFStringEncodingNextStepLatin;
}
bool isKnownEncoding(CFStringEncoding e) {
  return e == kCFStringEncodingUTF8 || e == kCFStringEncodingASCII || e == kCFStringEncodingNonLossyASCII ||
         isLatin1Family(e) || isUTF16Family(e) || isUTF32Family(e);
}

bool decodeBytes(const uint8_t* bytes, size_t n, CFStringEncoding encoding, bool external, std::string& out) {
  out.clear();
  if (encoding == kCFStringEncodingUTF8) {
    out.assign(reinterpret_cast<const char*>(bytes), n);
    if (external && out.size() >= 3 && out.compare(0, 3, "\xEF\xBB\xBF") == 0) out.erase(0, 3);
    return isValidUTF8(out);
  }
  if (encoding == kCFStringEncodingASCII || encoding == kCFStringEncodingNonLossyASCII) {
    for (size_t i = 0; i < n; ++i) {
      if (bytes[i] >= 0x80) return false;
      out += static_cast<char>(bytes[i]);
    }
    return true;
  }
  if (isLatin1Family(encoding)) {
    for (size_t i = 0; i < n; ++i) appendUTF8(out, bytes[i]);
    return true;
  }
  if (isUTF16Family(encoding)) {
    if (n % 2 != 0) return false;
    // UTF16 without a byte-order mark is big-endian for an external representation, else host order.
    bool big = encoding == kCFStringEncodingUTF16BE || (encoding == kCFStringEncodingUTF16 && external);
    size_t i = 0;
    if (encoding == kCFStringEncodingUTF16 && n >= 2) {
      if (bytes[0] == 0xFE && bytes[1] == 0xFF) big = true, i = 2;
      else if (bytes[0] == 0xFF && bytes[1] == 0xFE) big = false, i = 2;
    }
    auto unit = [&](size_t k) -> uint32_t {
      return big ? (bytes[k] << 8) | bytes[k + 1] : (bytes[k + 1] << 8) | bytes[k];
    };
    for (; i < n; i += 2) {
      uint32_t u = unit(i);
      if (u >= 0xD800 && u <= 0xDBFF) {
        if (i + 3 >= n) return false;
        uint32_t low = unit(i + 2);
        if (low < 0xDC00 || low > 0xDFFF) return false;
        u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      } else if (u >= 0xDC00 && u <= 0xDFFF) {
        return false;
      }
      appendUTF8(out, u);
    }
    return true;
  }
  if (isUTF32Family(encoding)) {
    if (n % 4 != 0) return false;
    bool big = encoding == kCFStringEncodingUTF32BE || (encoding == kCFStringEncodingUTF32 && external);
    size_t i = 0;
    if (encoding == kCFStringEncodingUTF32 && n >= 4) {
      if (bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 0xFE && bytes[3] == 0xFF) big = true, i = 4;
      else if (bytes[0] == 0xFF && bytes[1] == 0xFE && bytes[2] == 0 && bytes[3] == 0) big = false, i = 4;
    }
    for (; i < n; i += 4) {
      uint32_t u = big ? (uint32_t(bytes[i]) << 24) | (bytes[i + 1] << 16) | (bytes[i + 2] << 8) | bytes[i + 3]
                       : (uint32_t(bytes[i + 3]) << 24) | (bytes[i + 2] << 16) | (bytes[i + 1] << 8) | bytes[i];
      if (u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) return false;
      appendUTF8(out, u);
    }
    return true;
  }
  return false;
}

bool encodeText(const std::string& utf8, CFStringEncoding encoding, uint8_t lossByte, std::string& out) {
  out.clear();
  if (encoding == kCFStringEncodingUTF8) {
    out = utf8;
    return true;
  }
  std::vector<uint32_t> cps;
  if (!decodeUTF8(utf8, cps)) return false;
  uint32_t limit = (encoding == kCFStringEncodingASCII || encoding == kCFStringEncodingNonLossyASCII) ? 0x7F
                   : isLatin1Family(encoding)                                                       ? 0xFF
                                                                                                     : 0x10FFFF;
  bool little = encoding == kCFStringEncodingUTF16LE || encoding == kCFStringEncodingUTF32LE ||
                encoding == kCFStringEncodingUTF16 || encoding == kCFStringEncodingUTF32;  // host order
  for (uint32_t cp : cps) {
    if (cp > limit) {
      if (lossByte == 0) return false;
      cp = lossByte;
    }
    if (limit <= 0xFF) {
      out += static_cast<char>(cp);
    } else if (isUTF16Family(encoding)) {
      auto put = [&](uint32_t u) {
        char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        if (little) out += lo, out += hi;
        else out += hi, out += lo;
      };
      if (cp >= 0x10000) {
        put(0xD800 + ((cp - 0x10000) >> 10));
        put(0xDC00 + ((cp - 0x10000) & 0x3FF));
      } else {
        put(cp);
      }
    } else if (isUTF32Family(encoding)) {
      char b[4] = {static_cast<char>(cp >> 24), static_cast<char>((cp >> 16) & 0xFF),
                   static_cast<char>((cp >> 8) & 0xFF), static_cast<char>(cp & 0xFF)};
      if (little) out.append({b[3], b[2], b[1], b[0]});
      else out.append(b, 4);
    } else {
      return false;
    }
  }
  return true;
}

std::string utf8FromUnits(const char16_t* units, size_t count) {
  std::string out;
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    uint32_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      appendUTF8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else {
      appendUTF8(out, u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u);
    }
  }
  return out;
}

}  // namespace cf

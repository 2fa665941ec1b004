// How the device decodes a text property list before reading it: a byte-order mark, UTF-16 without
// one, or the encoding an XML declaration names; then strict UTF-8 for the XML reader and UTF-16 units
// for the OpenStep reader. Declared single- and multi-byte encodings other than the Unicode ones and
// Latin-1 are converted with iconv.
#include "plist_text.h"
#include "unicode.h"

#include <iconv.h>
#include <strings.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace cf {
namespace {

enum class Encoding {
  UTF8,
  HostUTF16,  // UTF-16 without a byte-order mark, as the device's own (little-endian) memory holds it
  UTF16,      // declared "UTF-16": a byte-order mark decides, else big-endian
  UTF16BE,
  UTF16LE,
  UTF32,
  UTF32BE,
  UTF32LE,
  Latin1,  // ISO Latin 1, and ASCII, whose bytes above 0x7F the device reads as Latin 1
  Iconv,
};

struct Detected {
  Encoding encoding = Encoding::UTF8;
  size_t skip = 0;        // byte-order mark bytes not read
  std::string iconvName;  // Encoding::Iconv
};

bool equalsIgnoringCase(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// A charset name as converter aliases are matched: letters and digits only, lower case.
std::string aliasKey(const std::string& name) {
  std::string key;
  for (unsigned char c : name)
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) key += static_cast<char>(c | 0x20);
  return key;
}
bool hasPrefixIgnoringCase(const std::string& a, const char* prefix) {
  return strncasecmp(a.c_str(), prefix, std::strlen(prefix)) == 0;
}

// Whether iconv converts `name` to UTF-16.
bool iconvKnows(const std::string& name) {
  iconv_t cd = iconv_open("UTF-16LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

// The encoding an IANA charset name names, as the device resolves it: "iso-8859-N", "windows-N" and
// "cpN" by number, then the names it knows (with an optional "x-mac-" prefix), then the converter's
// aliases (matched on letters and digits alone). False for a name it does not know, and for Mac Roman:
// that encoding's number is 0, which the device's detection takes for "no encoding".
bool encodingNamed(const std::string& name, Detected& d) {
  for (unsigned char c : name)
    if (c >= 0x80) return false;
  d.encoding = Encoding::Iconv;
  if (hasPrefixIgnoringCase(name, "iso-8859-")) {
    long n = std::strtol(name.c_str() + 9, nullptr, 10);
    if (n < 1 || n > 16) return false;
    if (n == 1) {
      d.encoding = Encoding::Latin1;
      return true;
    }
    d.iconvName = "ISO-8859-" + std::to_string(n);
    return iconvKnows(d.iconvName);
  }
  if (hasPrefixIgnoringCase(name, "cp") || hasPrefixIgnoringCase(name, "windows-")) {
    long page = std::strtol(name.c_str() + (hasPrefixIgnoringCase(name, "cp") ? 2 : 8), nullptr, 10);
    static const long kPages[] = {437, 737, 775, 850, 852, 855, 857, 860, 861, 862, 863, 864, 865, 866, 869, 874,
                                  932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
    for (long known : kPages) {
      if (page == known) {
        d.iconvName = "CP" + std::to_string(page);
        return iconvKnows(d.iconvName);
      }
    }
    return false;
  }
  if (hasPrefixIgnoringCase(name, "macintosh")) return false;
  std::string bare = hasPrefixIgnoringCase(name, "x-mac-") ? name.substr(6) : name;
  std::string key = aliasKey(bare);
  static const struct {
    const char* key;
    Encoding encoding;
  } kKnown[] = {{"utf8", Encoding::UTF8},       {"utf16", Encoding::UTF16},      {"utf16be", Encoding::UTF16BE},
                {"utf16le", Encoding::UTF16LE}, {"utf32", Encoding::UTF32},      {"utf32be", Encoding::UTF32BE},
                {"utf32le", Encoding::UTF32LE}, {"usascii", Encoding::Latin1},   {"ascii", Encoding::Latin1},
                {"ansix341968", Encoding::Latin1}, {"iso646us", Encoding::Latin1}, {"latin1", Encoding::Latin1},
                {"l1", Encoding::Latin1},       {"iso88591", Encoding::Latin1},  {"ibm819", Encoding::Latin1},
                {"cp819", Encoding::Latin1}};
  for (const auto& known : kKnown) {
    if (key == known.key) {
      d.encoding = known.encoding;
      return true;
    }
  }
  if (key == "mac" || key == "macroman" || key == "csmacintosh") return false;
  d.iconvName = bare;
  return !bare.empty() && iconvKnows(bare);
}

// The device's detection: byte-order marks, then UTF-16 without one (a zero byte among the first two),
// then an encoding="..." in an opening <?xml ...?>. False when it refuses the data.
bool detect(const uint8_t* b, size_t n, Detected& d) {
  if (n > 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF) {
    d = {Encoding::UTF32BE, 4, {}};
    return true;
  }
  if (n > 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0) {
    d = {Encoding::UTF32LE, 4, {}};
    return true;
  }
  if (n > 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    d = {Encoding::UTF8, 3, {}};
    return true;
  }
  if (n > 2) {
    if (b[0] == 0xFF && b[1] == 0xFE) {
      d = {Encoding::UTF16LE, 2, {}};
      return true;
    }
    if (b[0] == 0xFE && b[1] == 0xFF) {
      d = {Encoding::UTF16BE, 2, {}};
      return true;
    }
    if (b[0] == 0 || b[1] == 0) {  // the device skips two bytes here as if they were a mark
      d = {Encoding::HostUTF16, 2, {}};
      return true;
    }
  }
  d = {Encoding::UTF8, 0, {}};
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
  if (name.size() == 5 && equalsIgnoringCase(name, "utf-8")) return true;
  return encodingNamed(name, d);
}

void appendUnit(std::u16string& out, uint32_t cp) {
  if (cp >= 0x10000) {
    out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
  } else {
    out += static_cast<char16_t>(cp);
  }
}

// UTF-16 as the device reads it: no check of surrogates; an odd last byte is dropped, though a single
// byte is no text at all.
bool readUTF16(const uint8_t* b, size_t n, bool bigEndian, std::u16string& out) {
  if (n == 1) return false;
  for (size_t i = 0; i + 1 < n; i += 2)
    out += static_cast<char16_t>(bigEndian ? (b[i] << 8) | b[i + 1] : (b[i + 1] << 8) | b[i]);
  return true;
}

// UTF-32: strict (no surrogates, nothing past U+10FFFF); bytes past the last whole unit are dropped.
bool readUTF32(const uint8_t* b, size_t n, bool bigEndian, std::u16string& out) {
  if (n > 0 && n < 4) return false;
  for (size_t i = 0; i + 3 < n; i += 4) {
    uint32_t cp = bigEndian ? (uint32_t(b[i]) << 24) | (b[i + 1] << 16) | (b[i + 2] << 8) | b[i + 3]
                            : (uint32_t(b[i + 3]) << 24) | (b[i + 2] << 16) | (b[i + 1] << 8) | b[i];
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    appendUnit(out, cp);
  }
  return true;
}

bool readIconv(const uint8_t* b, size_t n, const std::string& name, std::u16string& out) {
  iconv_t cd = iconv_open("UTF-16LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string buffer(4 * n + 16, '\0');
  char* in = const_cast<char*>(reinterpret_cast<const char*>(b));
  size_t inLeft = n;
  char* outAt = buffer.data();
  size_t outLeft = buffer.size();
  bool ok = iconv(cd, &in, &inLeft, &outAt, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
  iconv_close(cd);
  if (!ok) return false;
  size_t produced = buffer.size() - outLeft;
  for (size_t i = 0; i + 1 < produced; i += 2)
    out += static_cast<char16_t>(static_cast<uint8_t>(buffer[i]) | (static_cast<uint8_t>(buffer[i + 1]) << 8));
  return true;
}

bool decodeUnits(const uint8_t* b, size_t n, const Detected& d, std::u16string& out) {
  switch (d.encoding) {
    case Encoding::UTF8: {
      std::string utf8;
      if (!readCFUTF8(reinterpret_cast<const char*>(b), n, utf8)) return false;
      std::vector<uint32_t> cps;
      decodeUTF8(utf8, cps);
      for (uint32_t cp : cps) appendUnit(out, cp);
      return true;
    }
    case Encoding::HostUTF16:
      for (size_t i = 0; i + 1 < n; i += 2) out += static_cast<char16_t>((b[i + 1] << 8) | b[i]);
      return true;
    case Encoding::UTF16: {
      if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) return readUTF16(b + 2, n - 2, false, out);
      if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) return readUTF16(b + 2, n - 2, true, out);
      return readUTF16(b, n, true, out);
    }
    case Encoding::UTF16BE: return readUTF16(b, n, true, out);
    case Encoding::UTF16LE: return readUTF16(b, n, false, out);
    case Encoding::UTF32: {
      if (n >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0) return readUTF32(b + 4, n - 4, false, out);
      if (n >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF) return readUTF32(b + 4, n - 4, true, out);
      return readUTF32(b, n, true, out);
    }
    case Encoding::UTF32BE: return readUTF32(b, n, true, out);
    case Encoding::UTF32LE: return readUTF32(b, n, false, out);
    case Encoding::Latin1:
      for (size_t i = 0; i < n; ++i) out += static_cast<char16_t>(b[i]);
      return true;
    case Encoding::Iconv: return readIconv(b, n, d.iconvName, out);
  }
  return false;
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
  if (d.encoding == Encoding::UTF8) {
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

// CoreFoundation's encodings as its readers use them: its own table of encodings (number, Windows code
// page, name), the way it resolves a charset name (its table, then ICU's converter names), and the way it
// decodes bytes (its built-in converters for a few, ICU for the rest). The numbers, code pages and names
// are CF's; ICU is the same library CF is built on, so names and converters match it to the byte.
#include "string_encodings.h"
#include "unicode.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace cf {
namespace {

constexpr CFStringEncoding kMacRomanLatin1 = 0x0A04, kUTF7 = 0x04000100, kUTF7IMAP = 0x0A10;
constexpr uint32_t kISO8859CodePageBase = 28590;

// CF's known encodings in its order (by number): the Windows code page of each (0: none) and its own
// name (null: none; Mac scripts but Mac Roman are "x-mac-" + name).
struct Known {
  uint16_t encoding;
  uint16_t codePage;
  const char* name;
};
constexpr Known kKnown[] = {
    {0x00, 10000, "macintosh"}, {0x01, 10001, "japanese"}, {0x02, 10002, "trad-chinese"}, {0x03, 10003, "korean"},
    {0x04, 10004, "arabic"}, {0x05, 10005, "hebrew"}, {0x06, 10006, "greek"}, {0x07, 10007, "cyrillic"},
    {0x09, 0, "devanagari"}, {0x0A, 0, "gurmukhi"}, {0x0B, 0, "gujarati"}, {0x0C, 0, "oriya"}, {0x0D, 0, "bengali"},
    {0x0E, 0, "tamil"}, {0x0F, 0, "telugu"}, {0x10, 0, "kannada"}, {0x11, 0, "malayalam"}, {0x12, 0, "sinhalese"},
    {0x13, 0, "burmese"}, {0x14, 0, "khmer"}, {0x15, 10021, "thai"}, {0x16, 0, "laotian"}, {0x17, 0, "georgian"},
    {0x18, 0, "armenian"}, {0x19, 10008, "simp-chinese"}, {0x1A, 0, "tibetan"}, {0x1B, 0, "mongolian"},
    {0x1C, 0, "ethiopic"}, {0x1D, 10029, "centraleurroman"}, {0x1E, 0, "vietnamese"}, {0x21, 0, "symbol"},
    {0x22, 0, "dingbats"}, {0x23, 10081, "turkish"}, {0x24, 10082, "croatian"}, {0x25, 10079, "icelandic"},
    {0x26, 10010, "romanian"}, {0x27, 0, "celtic"}, {0x28, 0, "gaelic"}, {0x8C, 0, "farsi"},
    {0x98, 10017, "ukrainian"}, {0xEC, 0, "inuit"},
    // DOS code pages ("cpN")
    {0x400, 437, nullptr}, {0x405, 737, nullptr}, {0x406, 775, nullptr}, {0x410, 850, nullptr}, {0x411, 851, nullptr},
    {0x412, 852, nullptr}, {0x413, 855, nullptr}, {0x414, 857, nullptr}, {0x415, 860, nullptr}, {0x416, 861, nullptr},
    {0x417, 862, nullptr}, {0x418, 863, nullptr}, {0x419, 864, nullptr}, {0x41A, 865, nullptr}, {0x41B, 866, nullptr},
    {0x41C, 869, nullptr}, {0x41D, 874, nullptr}, {0x420, 932, nullptr}, {0x421, 936, nullptr}, {0x422, 949, nullptr},
    {0x423, 950, nullptr},
    // Windows code pages ("windows-N")
    {0x500, 1252, nullptr}, {0x501, 1250, nullptr}, {0x502, 1251, nullptr}, {0x503, 1253, nullptr},
    {0x504, 1254, nullptr}, {0x505, 1255, nullptr}, {0x506, 1256, nullptr}, {0x507, 1257, nullptr},
    {0x508, 1258, nullptr}, {0x510, 1361, nullptr},
    {0x600, 20127, "us-ascii"}, {0x628, 0, nullptr}, {0x632, 54936, "gb18030"},
    {0x820, 50221, "iso-2022-jp"}, {0x821, 0, "iso-2022-jp-2"}, {0x822, 0, "iso-2022-jp-1"}, {0x823, 0, "iso-2022-jp-3"},
    {0x830, 50227, "iso-2022-cn"}, {0x831, 0, "iso-2022-cn-ext"}, {0x840, 50225, "iso-2022-kr"},
    {0x920, 51932, "euc-jp"}, {0x930, 51936, "gb2312"}, {0x931, 51950, "euc-tw"}, {0x940, 51949, "euc-kr"},
    {0xA01, 0, "shift_jis"}, {0xA02, 20866, "koi8-r"}, {0xA03, 0, "big5"}, {0xA04, 0, "roman-latin1"},
    {0xA05, 52936, "hz-gb-2312"}, {0xA06, 0, "big5-hkscs"}, {0xA07, 0, "viscii"}, {0xA08, 21866, "koi8-u"},
    {0xA09, 0, nullptr}, {0xA10, 0, "utf7-imap"}, {0xB01, 0, "x-nextstep"}, {0xC02, 37, "ibm037"},
};

const struct {
  const char* name;
  CFStringEncoding encoding;
} kUnicodeNames[] = {{"utf-7", kUTF7},
                     {"utf-8", kCFStringEncodingUTF8},
                     {"utf-16", kCFStringEncodingUTF16},
                     {"utf-16be", kCFStringEncodingUTF16BE},
                     {"utf-16le", kCFStringEncodingUTF16LE},
                     {"utf-32", kCFStringEncodingUTF32},
                     {"utf-32be", kCFStringEncodingUTF32BE},
                     {"utf-32le", kCFStringEncodingUTF32LE}};

// CF looks encodings up by their low 12 bits.
const Known* knownEncoding(CFStringEncoding encoding) {
  for (const Known& k : kKnown)
    if (k.encoding == (encoding & 0x0FFF)) return &k;
  return nullptr;
}

bool startsWithIgnoringCase(const char* s, const char* prefix) { return strncasecmp(s, prefix, std::strlen(prefix)) == 0; }

// strtol as CF stores its result: in a 32-bit encoding number.
uint32_t numberAfter(const char* s, char** end = nullptr) { return static_cast<uint32_t>(std::strtol(s, end, 10)); }

CFStringEncoding fromCodePage(uint16_t codePage) {
  switch (codePage) {
    case 0: return kCFStringEncodingInvalidId;
    case 65001: return kCFStringEncodingUTF8;
    case 1200: return kCFStringEncodingUTF16;
    case 1201: return kCFStringEncodingUTF16BE;
    case 65005: return kCFStringEncodingUTF32;
    case 65006: return kCFStringEncodingUTF32BE;
    case 65000: return kUTF7;
  }
  if (codePage > kISO8859CodePageBase && codePage <= kISO8859CodePageBase + 16) return codePage - kISO8859CodePageBase + 0x0200;
  for (const Known& k : kKnown)
    if (k.codePage == codePage) return k.encoding;
  return kCFStringEncodingInvalidId;
}

uint16_t codePageOf(CFStringEncoding encoding) {
  if ((encoding & 0x0F00) == 0x0200) return static_cast<uint16_t>(kISO8859CodePageBase + (encoding & 0xFF));
  const Known* k = knownEncoding(encoding);
  return k ? k->codePage : 0;
}

// CF's own name for an encoding ("iso-8859-5", "cp437", "windows-1251", "x-mac-cyrillic", ...), or "".
std::string canonicalName(CFStringEncoding encoding) {
  char buffer[60] = "";
  if ((encoding & 0x0F00) == 0x0100) {
    for (const auto& u : kUnicodeNames)
      if (u.encoding == encoding) return u.name;
    return "";
  }
  if ((encoding & 0x0F00) == 0x0200) {
    std::snprintf(buffer, sizeof buffer, "iso-8859-%u", static_cast<unsigned>(encoding & 0xFF));
    return buffer;
  }
  const Known* k = knownEncoding(encoding);
  if (k == nullptr) return "";
  if ((encoding & 0x0F00) == 0x0400 || (encoding & 0x0F00) == 0x0500) {
    if (k->codePage == 0) return "";
    std::snprintf(buffer, sizeof buffer, (encoding & 0x0F00) == 0x0400 ? "cp%u" : "windows-%u", unsigned{k->codePage});
    return buffer;
  }
  if (k->name == nullptr) return "";
  bool macScript = (encoding & 0x0F00) == 0 && encoding != kCFStringEncodingMacRoman;
  return (macScript || encoding == kMacRomanLatin1 ? "x-mac-" : "") + std::string(k->name);
}

// CF's own table: kCFStringEncodingInvalidId when the name is not in it.
CFStringEncoding fromCanonicalName(const char* name) {
  if (startsWithIgnoringCase(name, "iso-8859-")) {
    uint32_t n = numberAfter(name + 9);
    return n == 0 || n > 16 ? kCFStringEncodingInvalidId : n + 0x0200;
  }
  if (startsWithIgnoringCase(name, "cp")) return fromCodePage(static_cast<uint16_t>(numberAfter(name + 2)));
  if (startsWithIgnoringCase(name, "windows-")) return fromCodePage(static_cast<uint16_t>(numberAfter(name + 8)));
  if (startsWithIgnoringCase(name, "macintosh")) return kCFStringEncodingMacRoman;
  const char* bare = startsWithIgnoringCase(name, "x-mac-") ? name + 6 : name;
  for (const auto& u : kUnicodeNames)
    if (strcasecmp(bare, u.name) == 0) return u.encoding;
  for (const Known& k : kKnown)  // Mac Roman's number, 0, is CF's "not found" here
    if (k.name != nullptr && strcasecmp(bare, k.name) == 0) return k.encoding == 0 ? kCFStringEncodingInvalidId : k.encoding;
  return kCFStringEncodingInvalidId;
}

// "windows-N" with N a whole nonzero number: the encoding of code page N (invalid included); else false.
bool windowsCodePageName(const char* name, CFStringEncoding* encoding) {
  if (!startsWithIgnoringCase(name, "windows-")) return false;
  char* end = nullptr;
  uint32_t codePage = numberAfter(name + 8, &end);
  if (codePage == 0 || *end != '\0') return false;
  *encoding = fromCodePage(static_cast<uint16_t>(codePage));
  return true;
}

// An ICU converter name or alias, mapped back to CF's encodings through the converter's names in the
// Windows, Java and MIME standards. The error code is shared by the calls, as CF shares it.
CFStringEncoding fromICUName(const char* name) {
  CFStringEncoding encoding = kCFStringEncodingInvalidId;
  if (windowsCodePageName(name, &encoding)) return encoding;
  UErrorCode error = U_ZERO_ERROR;
  if (ucnv_countAliases(name, &error) == 0) return kCFStringEncodingInvalidId;
  const char* standardName = ucnv_getStandardName(name, "WINDOWS", &error);
  if (standardName != nullptr) {
    if (windowsCodePageName(standardName, &encoding)) return encoding;
    // A name that begins with the standard one was looked up in CF's table already.
    if (!startsWithIgnoringCase(name, standardName) &&
        (encoding = fromCanonicalName(standardName)) != kCFStringEncodingInvalidId)
      return encoding;
  }
  for (const char* standard : {"JAVA", "MIME"}) {
    standardName = ucnv_getStandardName(name, standard, &error);
    if (standardName != nullptr && !startsWithIgnoringCase(name, standardName) &&
        (encoding = fromCanonicalName(standardName)) != kCFStringEncodingInvalidId)
      return encoding;
  }
  return kCFStringEncodingInvalidId;
}

// The ICU converter CF decodes `encoding` with: the one its Windows code page names, else the one its
// own name names. Null when ICU has neither.
const char* icuConverterName(CFStringEncoding encoding) {
  if (encoding == kUTF7IMAP) return "IMAP-mailbox-name";
  UErrorCode error = U_ZERO_ERROR;
  uint16_t codePage = (encoding & 0x0F00) == 0x0100 ? 0 : codePageOf(encoding);
  if (codePage != 0) {
    std::string windows = "windows-" + std::to_string(codePage);
    if (const char* name = ucnv_getAlias(windows.c_str(), 0, &error)) return name;
  }
  std::string own = canonicalName(encoding);
  return own.empty() ? nullptr : ucnv_getAlias(own.c_str(), 0, &error);
}

// Whether the encoding's bytes below 0x80 are ASCII, as CF classes them by number range.
bool extendsASCII(CFStringEncoding e) {
  switch (e & 0xFF00) {
    case 0x0000: return e != 0x01 && e != 0x04 && e != 0x05 && e != 0x98 && e != 0x21 && e != 0x22;
    case 0x0100: return e == kCFStringEncodingUTF8;
    case 0x0200: return e != 0x0206;  // ISO 8859-6
    case 0x0600: return e == kCFStringEncodingASCII;
    case 0x0800: return false;  // ISO 2022: modal
    case 0x0A00: return e != 0x0A01 && e != 0x0A05 && e != kUTF7IMAP;
    case 0x0B00: return e != kCFStringEncodingNonLossyASCII;
    case 0x0C00: return false;  // EBCDIC
    default: return (e & 0xFF00) <= 0x0C00;
  }
}

// Windows Latin 1's 0x80-0x9F; 0 where the code page leaves a byte undefined (CF refuses it).
constexpr char16_t kWindowsLatin1High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The NeXTSTEP character set's 0x80-0xFF as CF maps it (0x80, figure space, to a no-break space); 0 where
// it is undefined.
constexpr char16_t kNextStepHigh[128] = {
    0x00A0, 0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00B5, 0x00D7, 0x00F7,
    0x00A9, 0x00A1, 0x00A2, 0x00A3, 0x2044, 0x00A5, 0x0192, 0x00A7, 0x00A4, 0x2019, 0x201C, 0x00AB, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x00AE, 0x2013, 0x2020, 0x2021, 0x00B7, 0x00A6, 0x00B6, 0x2022, 0x201A, 0x201E, 0x201D, 0x00BB, 0x2026, 0x2030, 0x00AC, 0x00BF,
    0x00B9, 0x02CB, 0x00B4, 0x02C6, 0x02DC, 0x00AF, 0x02D8, 0x02D9, 0x00A8, 0x00B2, 0x02DA, 0x00B8, 0x00B3, 0x02DD, 0x02DB, 0x02C7,
    0x2014, 0x00B1, 0x00BC, 0x00BD, 0x00BE, 0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB,
    0x00EC, 0x00C6, 0x00ED, 0x00AA, 0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x0141, 0x00D8, 0x0152, 0x00BA, 0x00F2, 0x00F3, 0x00F4, 0x00F5,
    0x00F6, 0x00E6, 0x00F9, 0x00FA, 0x00FB, 0x0131, 0x00FC, 0x00FD, 0x0142, 0x00F8, 0x0153, 0x00DF, 0x00FE, 0x00FF, 0,      0};

// One of CF's built-in single-byte converters: bytes below 0x80 + `size` through `high` (0: a byte CF
// refuses), the rest as ISO Latin 1.
bool decodeSingleByte(const uint8_t* b, size_t n, const char16_t* high, size_t size, std::u16string& out) {
  for (size_t i = 0; i < n; ++i) {
    char16_t u = b[i];
    if (b[i] >= 0x80 && b[i] < 0x80 + size && (u = high[b[i] - 0x80]) == 0) return false;
    out += u;
  }
  return true;
}

// The whole text through the ICU converter, which stops at the first byte it cannot map.
bool decodeWithICU(const uint8_t* b, size_t n, const char* converterName, std::u16string& out) {
  UErrorCode error = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(converterName, &error);
  if (converter == nullptr) return false;
  ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
  const char* source = reinterpret_cast<const char*>(b);
  UChar buffer[1024];
  do {
    error = U_ZERO_ERROR;
    UChar* target = buffer;
    ucnv_toUnicode(converter, &target, buffer + 1024, &source, reinterpret_cast<const char*>(b) + n, nullptr, true, &error);
    out.append(reinterpret_cast<const char16_t*>(buffer), static_cast<size_t>(target - buffer));
  } while (error == U_BUFFER_OVERFLOW_ERROR);
  ucnv_close(converter);
  return error == U_ZERO_ERROR;  // CF counts a warning as a failure too
}

// UTF-16 and UTF-32 as CFStringCreateWithBytes reads them: bytes past the last whole unit are dropped,
// though a text shorter than one unit is none; UTF-32 refuses what is no Unicode scalar value, UTF-16
// refuses nothing.
bool decodeUTF16(const uint8_t* b, size_t n, bool bigEndian, std::u16string& out) {
  if (n == 1) return false;
  for (size_t i = 0; i + 1 < n; i += 2)
    out += static_cast<char16_t>(bigEndian ? (b[i] << 8) | b[i + 1] : (b[i + 1] << 8) | b[i]);
  return true;
}

bool decodeUTF32(const uint8_t* b, size_t n, bool bigEndian, std::u16string& out) {
  if (n > 0 && n < 4) return false;
  for (size_t i = 0; i + 3 < n; i += 4) {
    uint32_t cp = bigEndian ? (uint32_t(b[i]) << 24) | (b[i + 1] << 16) | (b[i + 2] << 8) | b[i + 3]
                            : (uint32_t(b[i + 3]) << 24) | (b[i + 2] << 16) | (b[i + 1] << 8) | b[i];
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    appendUTF16(out, cp);
  }
  return true;
}

}  // namespace

CFStringEncoding encodingForIANACharSetName(const char* name) {
  CFStringEncoding encoding = fromCanonicalName(name);
  if (encoding == kCFStringEncodingInvalidId) encoding = fromICUName(name);
  // Java's name for Windows' Traditional Chinese, which ICU does not know.
  if (encoding == kCFStringEncodingInvalidId && startsWithIgnoringCase(name, "ms950")) encoding = fromCanonicalName("cp950");
  return encoding;
}

bool decodeEncodedBytes(const uint8_t* b, size_t n, CFStringEncoding encoding, std::u16string& out) {
  switch (encoding) {
    case kCFStringEncodingUTF16:  // not an external representation: host order, a mark read as a character
      for (size_t i = 0; i + 1 < n; i += 2) out += static_cast<char16_t>((b[i + 1] << 8) | b[i]);
      return true;
    case kCFStringEncodingUTF16BE: return decodeUTF16(b, n, true, out);
    case kCFStringEncodingUTF16LE: return decodeUTF16(b, n, false, out);
    case kCFStringEncodingUTF32:
      if (n >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0) return decodeUTF32(b + 4, n - 4, false, out);
      if (n >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF) return decodeUTF32(b + 4, n - 4, true, out);
      return decodeUTF32(b, n, true, out);
    case kCFStringEncodingUTF32BE: return decodeUTF32(b, n, true, out);
    case kCFStringEncodingUTF32LE: return decodeUTF32(b, n, false, out);
    default: break;
  }
  if (encoding == kCFStringEncodingUTF8 || encoding == kCFStringEncodingMacRoman) return false;
  bool ascii = true;
  for (size_t i = 0; i < n && ascii; ++i) ascii = b[i] < 0x80;
  // ASCII text in an encoding that extends ASCII is taken as it is, whether or not a converter exists.
  if (ascii && extendsASCII(encoding)) return decodeSingleByte(b, n, nullptr, 0, out);
  switch (encoding) {
    case kCFStringEncodingASCII:  // bytes above 0x7F read as ISO Latin 1, as CF does for compatibility
    case kCFStringEncodingISOLatin1: return decodeSingleByte(b, n, nullptr, 0, out);
    case kCFStringEncodingWindowsLatin1: return decodeSingleByte(b, n, kWindowsLatin1High, 32, out);
    case kCFStringEncodingNextStepLatin: return decodeSingleByte(b, n, kNextStepHigh, 128, out);
    default: break;
  }
  const char* converter = icuConverterName(encoding);
  return converter != nullptr && decodeWithICU(b, n, converter, out);
}

}  // namespace cf

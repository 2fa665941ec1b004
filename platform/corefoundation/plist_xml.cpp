// Reading XML property lists exactly as the device's CoreFoundation reads them, in time linear in
// their size. Its reader is not a general XML parser, and neither is this one: no entities beyond the
// five named ones and character references, no DTD internal subset, one object inside <plist>, text
// of <integer>, <real> and <date> in the device's own forms, anything after the first element
// ignored. Nesting stops at the device's limit: the reader looks for content one level below each open
// array or dictionary, so an <array></array> at the deepest level is refused where <array/> is not.
#include "plist_text.h"
#include "unicode.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <strings.h>

namespace cf {
namespace {

bool isXMLSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

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

// What a double converts to as an int32 on the device (arm64): saturating, NaN as 0.
int32_t deviceInt32(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 2147483647.0) return INT32_MAX;
  if (d <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(d);
}

// ---- dates: the device's Gregorian arithmetic, with its treatment of out-of-range fields ----

bool isLeap(int64_t year) {  // `year` counts from 2001
  int64_t y = (year + 1) % 400;
  if (y < 0) y = -y;
  return (y & 3) == 0 && y != 100 && y != 200 && y != 300;
}

double daysBeforeMonth(int month, int64_t year) {
  static const int kBefore[16] = {-1, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365, -1, -1};
  if (month < 0 || month > 15 || kBefore[month] < 0) return 0;  // the device adds nothing for these
  return kBefore[month] + (month > 2 && isLeap(year) ? 1 : 0);
}

double absoluteDays(int64_t year, int month, int day) {
  int64_t cycles = year / 400;
  double days = static_cast<double>(cycles) * 146097.0;
  year -= cycles * 400;
  if (year < 0) {
    for (int64_t y = year; y < 0; ++y) days -= isLeap(y) ? 366 : 365;
  } else {
    for (int64_t y = 0; y < year; ++y) days += isLeap(y) ? 366 : 365;
  }
  return days + daysBeforeMonth(month, year) + (day - 1);
}

class XMLReader {
 public:
  XMLReader(const char* bytes, size_t length, CFOptionFlags mutability)
      : at_(bytes), end_(bytes + length), mutability_(mutability) {}

  // The document's first element (+1), after any comments, processing instructions and DOCTYPE.
  id read() {
    while (!failed_ && at_ < end_) {
      skipSpace();
      if (at_ + 1 >= end_ || *at_ != '<') return nullptr;
      char c = *++at_;
      if (c == '!') {
        ++at_;
        if (at_ + 1 < end_ && at_[0] == '-' && at_[1] == '-') {
          at_ += 3;  // the device steps one character past "<!--" here
          skipComment();
        } else {
          skipDoctype();
        }
      } else if (c == '?') {
        ++at_;
        skipProcessingInstruction();
      } else {
        id out = nullptr;
        return element(nullptr, &out, 0) ? out : nullptr;
      }
    }
    return nullptr;
  }

 private:
  enum Tag { Plist, Array, Dict, Key, String, Data, Date, Integer, Real, True, False, Unknown };

  void fail() { failed_ = true; }

  void skipSpace() {
    while (at_ < end_ && isXMLSpace(*at_)) ++at_;
  }

  // From just inside "<!--": to after "-->", which must not be the last three bytes.
  void skipComment() {
    for (const char* p = at_; p + 3 < end_; ++p) {
      if (p[0] == '-' && p[1] == '-' && p[2] == '>') {
        at_ = p + 3;
        return;
      }
    }
    fail();
  }

  // To after "?>", which must not be the last two bytes.
  void skipProcessingInstruction() {
    for (const char* p = at_; p + 2 < end_; ++p) {
      if (p[0] == '?' && p[1] == '>') {
        at_ = p + 2;
        return;
      }
    }
    fail();
  }

  // From just after "<!": a DOCTYPE without an internal subset.
  void skipDoctype() {
    if (end_ - at_ < 7 || std::memcmp(at_, "DOCTYPE", 7) != 0) return fail();
    at_ += 7;
    skipSpace();
    while (at_ < end_ && *at_ != '[') {
      if (*at_++ == '>') return;
    }
    if (at_ >= end_) return fail();
    fail();  // an internal subset: '[' where '>' belongs
  }

  // Reads the next object in the content of an element (+1 into *out; *isKey tells whether it was a
  // <key>). False at the content's end ("</", the caller checks the tag) or on an error.
  bool content(bool* isKey, id* out, size_t depth) {
    if (depth > kMaxPlistDepth) {
      fail();
      return false;
    }
    if (isKey) *isKey = false;
    while (!failed_ && at_ < end_) {
      skipSpace();
      if (at_ >= end_ || *at_ != '<' || ++at_ >= end_) {
        fail();
        return false;
      }
      if (*at_ == '?') {
        skipProcessingInstruction();
      } else if (*at_ == '!') {
        if (at_ + 2 >= end_ || at_[1] != '-' || at_[2] != '-') {
          fail();
          return false;
        }
        at_ += 3;
        skipComment();
      } else if (*at_ == '/') {
        --at_;  // back to the '<' of the end tag
        return false;
      } else {
        return element(isKey, out, depth);
      }
    }
    return false;
  }

  static Tag tagNamed(const char* name, size_t length) {
    static const struct {
      const char* name;
      Tag tag;
    } kTags[] = {{"plist", Plist}, {"array", Array},     {"dict", Dict}, {"key", Key},   {"string", String},
                 {"data", Data},   {"date", Date},       {"true", True}, {"false", False}, {"real", Real},
                 {"integer", Integer}};
    for (const auto& t : kTags)
      if (std::strlen(t.name) == length && std::memcmp(t.name, name, length) == 0) return t.tag;
    return Unknown;
  }

  // An element, from just after its '<'.
  bool element(bool* isKey, id* out, size_t depth) {
    const char* name = at_;
    size_t nameLength = SIZE_MAX;
    if (isKey) *isKey = false;
    while (at_ < end_ && *at_ != '>') {
      if (isXMLSpace(*at_) && nameLength == SIZE_MAX) nameLength = static_cast<size_t>(at_ - name);
      ++at_;
    }
    if (at_ >= end_) return false;
    bool empty = at_[-1] == '/';
    if (nameLength == SIZE_MAX) nameLength = static_cast<size_t>(at_ - name) - (empty ? 1 : 0);
    ++at_;
    if (nameLength == 0) {
      fail();
      return false;
    }
    Tag tag = tagNamed(name, nameLength);
    switch (tag) {
      case Plist:
        if (empty) break;
        return plist(out, depth);
      case Array:
        if (empty) return made(out, newArray({}, mutability_ != kCFPropertyListImmutable));
        return array(out, depth + 1);
      case Dict:
        if (empty) return made(out, newDictionary(mutability_ != kCFPropertyListImmutable));
        return dict(out, depth + 1);
      case Key:
      case String: {
        if (isKey) *isKey = tag == Key;
        if (empty) return made(out, newString(""));
        std::string text;
        if (!stringText(text) || !closeTag(tag == Key ? "key" : "string")) return false;
        return made(out, newString(std::move(text)));
      }
      case True:
      case False:
        if (!empty && !closeTag(tag == True ? "true" : "false")) break;
        return made(out, booleanObject(tag == True));
      case Data:
        if (empty) break;
        return data(out);
      case Date:
        if (empty) break;
        return date(out);
      case Real:
        if (empty) break;
        return real(out);
      case Integer:
        if (empty) break;
        return integer(out);
      case Unknown: break;
    }
    fail();
    return false;
  }

  bool made(id* out, id object) {
    *out = object;
    return true;
  }

  // "</name" then optional whitespace and '>'.
  bool closeTag(const char* name) {
    size_t length = std::strlen(name);
    if (end_ - at_ < static_cast<ptrdiff_t>(length + 3) || at_[0] != '<' || at_[1] != '/' ||
        std::memcmp(at_ + 2, name, length) != 0) {
      fail();
      return false;
    }
    at_ += 2 + length;
    skipSpace();
    if (at_ >= end_ || *at_ != '>') {
      fail();
      return false;
    }
    ++at_;
    return true;
  }

  bool plist(id* out, size_t depth) {
    id result = nullptr;
    if (!content(nullptr, &result, depth)) {
      fail();
      return false;
    }
    id extra = nullptr;
    if (content(nullptr, &extra, depth)) {  // a second object: the list has one root
      host::release(extra);
      host::release(result);
      fail();
      return false;
    }
    if (failed_ || !closeTag("plist")) {
      host::release(result);
      return false;
    }
    *out = result;
    return true;
  }

  bool array(id* out, size_t depth) {
    std::vector<id> items;
    id item = nullptr;
    while (content(nullptr, &item, depth)) items.push_back(item);
    bool ok = !failed_ && closeTag("array");
    if (ok) *out = newArray(items, mutability_ != kCFPropertyListImmutable);
    for (id i : items) host::release(i);
    return ok;
  }

  bool dict(id* out, size_t depth) {
    id dict = newDictionary(mutability_ != kCFPropertyListImmutable);
    DictionaryBox& entries = dictionaryOf(dict);
    bool isKey = false;
    id key = nullptr;
    while (content(&isKey, &key, depth)) {
      id value = nullptr;
      if (!isKey || !content(nullptr, &value, depth)) {
        fail();
        host::release(key);
        host::release(dict);
        return false;
      }
      entries.set(key, value);  // a repeated key: the last value wins
      host::release(key);
      host::release(value);
    }
    if (failed_ || !closeTag("dict")) {
      host::release(dict);
      return false;
    }
    // {CF$UID = number} is how a keyed archive's UID is written in XML; the device reads it back as one.
    if (entries.entries.size() == 1) {
      id uidKey = newString("CF$UID");
      long found = entries.find(uidKey);
      host::release(uidKey);
      id value = found >= 0 ? toId(entries.entries[static_cast<size_t>(found)].value) : nullptr;
      if (familyOf(value) == Family::Number) {
        const NumberBox& n = numberOf(value);
        uint32_t v = n.kind == NumberBox::Signed     ? static_cast<uint32_t>(n.i)
                     : n.kind == NumberBox::Unsigned ? static_cast<uint32_t>(n.u)
                                                     : static_cast<uint32_t>(deviceInt32(n.d));
        host::release(dict);
        *out = newUID(v);
        return true;
      }
    }
    *out = dict;
    return true;
  }

  // The text of a <string>, <key> or <real>, up to its end tag: character data, CDATA sections and
  // references, then strict UTF-8.
  bool stringText(std::string& out) {
    std::string bytes;
    const char* mark = at_;
    while (!failed_ && at_ < end_) {
      if (*at_ == '<') {
        if (at_ + 1 >= end_ || at_[1] != '!') break;
        bytes.append(mark, at_);
        cdata(bytes);
        mark = at_;
      } else if (*at_ == '&') {
        bytes.append(mark, at_);
        reference(bytes);
        mark = at_;
      } else {
        ++at_;
      }
    }
    if (failed_) return false;
    bytes.append(mark, at_);
    if (!readCFUTF8(bytes.data(), bytes.size(), out)) {
      fail();
      return false;
    }
    return true;
  }

  void cdata(std::string& bytes) {
    if (end_ - at_ < 9 || std::memcmp(at_, "<![CDATA[", 9) != 0) return fail();
    const char* start = at_ + 9;
    for (const char* p = start; p + 2 < end_; ++p) {
      if (p[0] == ']' && p[1] == ']' && p[2] == '>') {
        bytes.append(start, p);
        at_ = p + 3;
        return;
      }
    }
    fail();
  }

  // From '&': &lt; &gt; &amp; &apos; &quot; &#N; &#xN; (at most eight digits; a surrogate or a value past
  // U+10FFFF is refused, and "&#;" is U+0000 as on the device).
  void reference(std::string& bytes) {
    ++at_;
    ptrdiff_t left = end_ - at_;
    if (left < 1) return fail();
    auto named = [&](const char* name, char c) {
      size_t n = std::strlen(name);
      if (left >= static_cast<ptrdiff_t>(n) && std::memcmp(at_, name, n) == 0) {
        bytes += c;
        at_ += n;
        return true;
      }
      return false;
    };
    switch (*at_) {
      case 'l':
        if (!named("lt;", '<')) fail();
        return;
      case 'g':
        if (!named("gt;", '>')) fail();
        return;
      case 'a':
        if (left < 4) return fail();
        if (!named("amp;", '&') && !(left > 4 && named("apos;", '\''))) fail();
        return;
      case 'q':
        if (!named("quot;", '"')) fail();
        return;
      case '#': break;
      default: return fail();
    }
    if (left < 4) return fail();
    ++at_;
    bool hex = *at_ == 'x';
    if (hex) ++at_;
    uint32_t value = 0;
    for (int count = 1; at_ < end_; ++count) {
      char c = *at_++;
      if (c == ';') {
        if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return fail();
        appendUTF8(bytes, value);
        return;
      }
      if (count > 8) return fail();
      value = hex ? value << 4 : value * 10;
      if (c >= '0' && c <= '9') value += static_cast<uint32_t>(c - '0');
      else if (hex && c >= 'a' && c <= 'f') value += static_cast<uint32_t>(c - 'a' + 10);
      else if (hex && c >= 'A' && c <= 'F') value += static_cast<uint32_t>(c - 'A' + 10);
      else return fail();
    }
    fail();
  }

  // Base64 as the device decodes it: characters outside the alphabet skipped, '=' counting as a zero
  // digit that shortens the last group, and a partial group at the end dropped.
  bool data(id* out) {
    static const signed char kDigit[128] = {
        -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
        -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 62,
        -1, -1, -1, 63, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, -1, -1, -1, 0,  -1, -1, -1, 0,
        1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22,
        23, 24, 25, -1, -1, -1, -1, -1, -1, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38,
        39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, -1, -1, -1, -1, -1};
    std::vector<uint8_t> bytes;
    int equals = 0, digits = 0;
    uint32_t group = 0;
    for (; at_ < end_ && *at_ != '<'; ++at_) {
      unsigned char c = static_cast<unsigned char>(*at_);
      if (c == '=') ++equals;
      else if (!(c == ' ' || (c >= '\t' && c <= '\r'))) equals = 0;
      if (c >= 128) {
        fail();
        return false;
      }
      if (kDigit[c] < 0) continue;
      group = (group << 6) + static_cast<uint32_t>(kDigit[c]);
      if (++digits % 4 == 0) {
        bytes.push_back(static_cast<uint8_t>(group >> 16));
        if (equals < 2) bytes.push_back(static_cast<uint8_t>(group >> 8));
        if (equals < 1) bytes.push_back(static_cast<uint8_t>(group));
      }
    }
    if (!closeTag("data")) return false;
    *out = newData(bytes.data(), bytes.size(), mutability_ == kCFPropertyListMutableContainersAndLeaves);
    return true;
  }

  bool twoDigits(int* value) {
    if (at_ + 2 >= end_) return false;
    char a = at_[0], b = at_[1];
    at_ += 2;
    if (a < '0' || a > '9' || b < '0' || b > '9') return false;
    *value = (a - '0') * 10 + (b - '0');
    return true;
  }

  bool expect(char c) {
    if (at_ >= end_ || *at_ != c) return false;
    ++at_;
    return true;
  }

  // YYYY-MM-DDThh:mm:ssZ exactly (any number of year digits, an optional '-' before them); fields are
  // not range-checked, and compute as the device computes them.
  bool date(id* out) {
    bool negative = expect('-');
    uint32_t year = 0;  // wraps as the device's does
    while (at_ < end_ && *at_ >= '0' && *at_ <= '9') year = 10 * year + static_cast<uint32_t>(*at_++ - '0');
    int month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool ok = expect('-') && twoDigits(&month) && expect('-') && twoDigits(&day) && expect('T') && twoDigits(&hour) &&
              expect(':') && twoDigits(&minute) && expect(':') && twoDigits(&second) && expect('Z');
    if (!ok || !closeTag("date")) {
      fail();
      return false;
    }
    int32_t signedYear = static_cast<int32_t>(negative ? 0u - year : year);
    int64_t fromReference = static_cast<int32_t>(static_cast<uint32_t>(signedYear) - 2001u);
    double at = 86400.0 * absoluteDays(fromReference, month, day);
    at += 3600.0 * hour + 60.0 * minute + second;
    *out = newDate(at);
    return true;
  }

  bool real(id* out) {
    std::string text;
    if (!stringText(text)) {
      fail();
      return false;
    }
    double value = 0;
    if (!readReal(text, &value)) {
      fail();
      return false;
    }
    if (!closeTag("real")) return false;
    *out = newReal(value);
    return true;
  }

  // "nan", "inf", "infinity" with or without a sign (any case), else the device's number scan: leading
  // whitespace, then only [+-.0-9eE] read by strtod, which must take all of the rest.
  static bool readReal(const std::string& text, double* value) {
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
    static locale_t c_locale = newlocale(LC_ALL_MASK, "C", nullptr);
    char* stop = nullptr;
    double d = strtod_l(number.c_str(), &stop, c_locale);
    size_t used = static_cast<size_t>(stop - number.c_str());
    if (used == 0 || i + used != cps.size()) return false;
    *value = d;
    return true;
  }

  // Optional whitespace and sign, decimal or 0x hexadecimal digits, nothing else before the end tag;
  // leading zeros are not octal; out of the 64-bit range (signed below zero, unsigned above) refused.
  bool integer(id* out) {
    auto bad = [&] {
      fail();
      return false;
    };
    while (at_ < end_ && isIntegerSpace(at_, end_)) ++at_;
    if (at_ >= end_ || *at_ == '<') return bad();
    bool negative = false, hex = false, zeros = false;
    if (*at_ == '-' || *at_ == '+') {
      negative = *at_++ == '-';
      while (at_ < end_ && isIntegerSpace(at_, end_)) ++at_;
    }
    if (at_ >= end_) return bad();
    if (*at_ == '0') {
      if (at_ + 1 < end_ && (at_[1] == 'x' || at_[1] == 'X')) {
        hex = true;
        ++at_;
      } else {
        zeros = true;
      }
      ++at_;
    }
    if (at_ >= end_) return bad();
    while (*at_ == '0') {
      zeros = true;
      if (++at_ >= end_) return bad();
    }
    if (*at_ == '<') {
      if (!zeros) return bad();
      if (!closeTag("integer")) return false;
      *out = newSigned(0, kCFNumberSInt32Type);
      return true;
    }
    uint64_t value = 0, base = hex ? 16 : 10;
    while (*at_ != '<') {
      char c = *at_;
      uint64_t digit;
      if (c >= '0' && c <= '9') digit = static_cast<uint64_t>(c - '0');
      else if (c >= 'a' && c <= 'f') digit = static_cast<uint64_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') digit = static_cast<uint64_t>(c - 'A' + 10);
      else return bad();
      if (!hex && digit > 9) return bad();
      if (UINT64_MAX / base < value) return bad();
      value *= base;
      if (UINT64_MAX - digit < value) return bad();
      value += digit;
      if (negative && value > static_cast<uint64_t>(INT64_MAX) + 1) return bad();
      if (++at_ >= end_) return bad();
    }
    if (!closeTag("integer")) return false;
    if (negative) *out = newSigned(static_cast<int64_t>(0 - value));
    else if (value <= static_cast<uint64_t>(INT64_MAX)) *out = newSigned(static_cast<int64_t>(value));
    else *out = newUnsigned(value);
    return true;
  }

  const char* at_;
  const char* end_;
  CFOptionFlags mutability_;
  bool failed_ = false;
};

}  // namespace

id parseXMLPropertyList(const char* bytes, size_t length, CFOptionFlags mutability) {
  return XMLReader(bytes, length, mutability).read();
}

}  // namespace cf

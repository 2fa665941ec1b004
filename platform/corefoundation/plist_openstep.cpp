// Reading OpenStep-style ("old-style") property lists and strings files as the device's CoreFoundation
// reads them: every value is a string, an array "(a, b)", a dictionary "{k = v;}" or data "<0a1b>";
// comments are // and /* */; a file of `key = value;` lines without braces is a dictionary, and a file
// of whitespace only an empty one. The device falls back to this reader for any text that is not an XML
// property list, so the fallback settings file may be written this way. Nesting stops at 512 levels,
// the device's limit for this format on 64-bit systems.
#include "plist_text.h"
#include "scalar_text.h"
#include "unicode.h"

namespace cf {
namespace {

constexpr uint32_t kMaxOpenStepDepth = 512;

// NeXTSTEP Latin, the encoding of octal escapes ("\351"): its upper half in Unicode (0 for the two
// bytes it leaves undefined).
constexpr char16_t kNextStepUpper[128] = {
    0x00A0, 0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC,
    0x00CD, 0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D9, 0x00DA, 0x00DB,
    0x00DC, 0x00DD, 0x00DE, 0x00B5, 0x00D7, 0x00F7, 0x00A9, 0x00A1, 0x00A2, 0x00A3, 0x2044, 0x00A5, 0x0192,
    0x00A7, 0x00A4, 0x2019, 0x201C, 0x00AB, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x00AE, 0x2013, 0x2020, 0x2021,
    0x00B7, 0x00A6, 0x00B6, 0x2022, 0x201A, 0x201E, 0x201D, 0x00BB, 0x2026, 0x2030, 0x00AC, 0x00BF, 0x00B9,
    0x02CB, 0x00B4, 0x02C6, 0x02DC, 0x00AF, 0x02D8, 0x02D9, 0x00A8, 0x00B2, 0x02DA, 0x00B8, 0x00B3, 0x02DD,
    0x02DB, 0x02C7, 0x2014, 0x00B1, 0x00BC, 0x00BD, 0x00BE, 0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5,
    0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00C6, 0x00ED, 0x00AA, 0x00EE, 0x00EF, 0x00F0, 0x00F1,
    0x0141, 0x00D8, 0x0152, 0x00BA, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00E6, 0x00F9, 0x00FA, 0x00FB,
    0x0131, 0x00FC, 0x00FD, 0x0142, 0x00F8, 0x0153, 0x00DF, 0x00FE, 0x00FF, 0x0000, 0x0000};

bool isUnquoted(char16_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         c == '/' || c == ':' || c == '.' || c == '-';
}

class OpenStepReader {
 public:
  OpenStepReader(const std::u16string& units, CFOptionFlags mutability)
      : begin_(units.data()), at_(units.data()), end_(units.data() + units.size()), mutability_(mutability) {}

  id read() {
    if (begin_ == end_) return nullptr;
    if (!skipSpace()) return newDictionary(true);
    id result = object(0);
    if (result == nullptr || !skipSpace()) return result;
    // More after one value: a strings file ("key = value;" lines), if that value was a string.
    bool isString = familyOf(result) == Family::String;
    host::release(result);
    if (!isString) return nullptr;
    at_ = begin_;
    return dictionaryContent(0);
  }

 private:
  bool isMutable() const { return mutability_ != kCFPropertyListImmutable; }

  // Moves to the next character that is not whitespace or in a comment; false at the end.
  bool skipSpace() {
    while (at_ < end_) {
      char16_t c = *at_++;
      if ((c >= 9 && c <= 0x0D) || c == ' ' || c == 0x2028 || c == 0x2029) continue;
      if (c != '/' || at_ >= end_ || (*at_ != '/' && *at_ != '*')) {
        --at_;
        return true;
      }
      if (*at_++ == '/') {
        while (at_ < end_ && *at_ != '\n' && *at_ != '\r' && *at_ != 0x2028 && *at_ != 0x2029) ++at_;
      } else {
        while (at_ < end_) {
          char16_t d = *at_++;
          if (d == '*' && at_ < end_ && *at_ == '/') {
            ++at_;
            break;
          }
        }
      }
    }
    return false;
  }

  // A value (+1), or NULL (the cursor left where the device's reader leaves it).
  id object(uint32_t depth) {
    if (depth > kMaxOpenStepDepth || !skipSpace()) return nullptr;
    char16_t c = *at_++;
    if (c == '{') return dictionary(depth);
    if (c == '(') return array(depth);
    if (c == '<') return data();
    if (c == '\'' || c == '"') return quoted(c);
    --at_;
    return isUnquoted(c) ? unquoted() : nullptr;
  }

  id string(std::u16string& units) { return newString(utf8FromUnits(units.data(), units.size())); }

  id unquoted() {
    const char16_t* start = at_;
    while (at_ < end_ && isUnquoted(*at_)) ++at_;
    if (at_ == start) return nullptr;
    std::u16string units(start, at_);
    return string(units);
  }

  // From just after the opening quote.
  id quoted(char16_t quote) {
    const char16_t* start = at_;
    std::u16string units;
    while (at_ < end_ && *at_ != quote) {
      if (*at_ != '\\') {
        units += *at_++;
        continue;
      }
      if (++at_ == end_) return nullptr;
      units += escaped();
    }
    if (at_ >= end_) {
      at_ = start;
      return nullptr;
    }
    ++at_;
    return string(units);
  }

  // After a backslash: octal (up to three digits, a NeXTSTEP Latin byte), \U and up to four hex digits,
  // the C escapes; any other character stands for itself.
  char16_t escaped() {
    char16_t c = *at_++;
    if (c >= '0' && c <= '7') {
      uint8_t byte = static_cast<uint8_t>(c - '0');
      for (int i = 0; i < 2 && at_ < end_ && *at_ >= '0' && *at_ <= '7'; ++i)
        byte = static_cast<uint8_t>((byte << 3) + (*at_++ - '0'));
      return byte < 0x80 ? byte : kNextStepUpper[byte - 0x80];
    }
    switch (c) {
      case 'U': {
        char16_t value = 0;
        for (int digits = 0; digits < 4 && at_ < end_; ++digits) {
          if (*at_ < 128 && hexDigitValue(static_cast<unsigned char>(*at_)) >= 0)
            value = static_cast<char16_t>((value << 4) + hexDigitValue(static_cast<unsigned char>(*at_++)));
        }
        return value;
      }
      case 'a': return '\a';
      case 'b': return '\b';
      case 'f': return '\f';
      case 'n': return '\n';
      case 'r': return '\r';
      case 't': return '\t';
      case 'v': return '\v';
      default: return c;
    }
  }

  // A key: quoted or unquoted text, or NULL.
  id key() {
    if (!skipSpace()) return nullptr;
    char16_t c = *at_;
    if (c == '\'' || c == '"') {
      ++at_;
      return quoted(c);
    }
    return isUnquoted(c) ? unquoted() : nullptr;
  }

  id array(uint32_t depth) {
    std::vector<id> items;
    auto done = [&](id result) {
      for (id item : items) host::release(item);
      return result;
    };
    id item = object(depth + 1);
    while (item != nullptr) {
      items.push_back(item);
      if (!skipSpace()) return done(nullptr);
      if (*at_ != ',') break;
      ++at_;
      item = object(depth + 1);
    }
    if (!skipSpace() || *at_ != ')') return done(nullptr);
    ++at_;
    return done(newArray(items, isMutable()));
  }

  // Entries up to the first thing that is not a key; each must end with ';'. A repeated key keeps the
  // last value; "key;" alone maps the key to itself.
  id dictionaryContent(uint32_t depth) {
    id dict = newDictionary(isMutable());
    DictionaryBox& entries = dictionaryOf(dict);
    id k = key();
    while (k != nullptr) {
      id value = nullptr;
      if (skipSpace() && *at_ == ';') {
        value = host::retain(k);
      } else if (at_ < end_ && *at_ == '=') {
        ++at_;
        value = object(depth + 1);
      }
      if (value == nullptr) {
        host::release(k);
        host::release(dict);
        return nullptr;
      }
      entries.set(k, value);
      host::release(k);
      host::release(value);
      if (!skipSpace() || *at_ != ';') {
        host::release(dict);
        return nullptr;
      }
      ++at_;
      k = key();
    }
    return dict;
  }

  id dictionary(uint32_t depth) {
    id dict = dictionaryContent(depth);
    if (dict == nullptr) return nullptr;
    if (!skipSpace() || *at_ != '}') {
      host::release(dict);
      return nullptr;
    }
    ++at_;
    return dict;
  }

  // From just after '<': pairs of hex digits (each judged by the low byte of its character), blanks
  // between pairs, then '>'.
  id data() {
    std::vector<uint8_t> bytes;
    while (at_ < end_ && *at_ != '>') {
      char16_t c = *at_;
      int high = hexDigitValue(static_cast<unsigned char>(c));
      if (high >= 0) {
        if (++at_ >= end_) return nullptr;
        int low = hexDigitValue(static_cast<unsigned char>(*at_));
        if (low < 0) return nullptr;
        bytes.push_back(static_cast<uint8_t>((high << 4) + low));
        ++at_;
      } else if (c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == 0x2028 || c == 0x2029) {
        ++at_;
      } else {
        return nullptr;
      }
    }
    if (at_ >= end_) return nullptr;
    ++at_;
    return newData(bytes.data(), bytes.size(), mutability_ == kCFPropertyListMutableContainersAndLeaves);
  }

  const char16_t* begin_;
  const char16_t* at_;
  const char16_t* end_;
  CFOptionFlags mutability_;
};

}  // namespace

id parseOpenStepPropertyList(const std::u16string& units, CFOptionFlags mutability) {
  return OpenStepReader(units, mutability).read();
}

}  // namespace cf

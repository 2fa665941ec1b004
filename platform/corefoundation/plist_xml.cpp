// Reading XML property lists exactly as the device's CoreFoundation reads them, in time linear in
// their size. Its reader is not a general XML parser, and neither is this one: no entities beyond the
// five named ones and character references, no DTD internal subset, one object inside <plist>, text
// of <integer>, <real> and <date> in the device's own forms, anything after the first element
// ignored. Nesting stops at the device's limit: the reader looks for content one level below each open
// array or dictionary, so an <array></array> at the deepest level is refused where <array/> is not.
#include "plist_text.h"
#include "scalar_text.h"
#include "unicode.h"

#include <cmath>
#include <cstring>

namespace cf {
namespace {

bool isXMLSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// What a double converts to as an int32 on the device (arm64): saturating, NaN as 0.
int32_t deviceInt32(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 2147483647.0) return INT32_MAX;
  if (d <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(d);
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
      int digit = hexDigitValue(static_cast<unsigned char>(c));
      if (digit < 0 || (!hex && digit > 9)) return fail();
      value = (hex ? value << 4 : value * 10) + static_cast<uint32_t>(digit);
    }
    fail();
  }

  bool data(id* out) {
    const char* stop = at_;
    while (stop < end_ && *stop != '<') ++stop;
    std::vector<uint8_t> bytes;
    if (!decodeBase64(at_, stop, bytes)) {
      fail();
      return false;
    }
    at_ = stop;
    if (!closeTag("data")) return false;
    *out = newData(bytes.data(), bytes.size(), mutability_ == kCFPropertyListMutableContainersAndLeaves);
    return true;
  }

  bool date(id* out) {
    double at = 0;
    const char* stop = scanISODate(at_, end_, &at);
    if (stop == nullptr) {
      fail();
      return false;
    }
    at_ = stop;
    if (!closeTag("date")) return false;
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
    if (!readRealText(text, &value)) {
      fail();
      return false;
    }
    if (!closeTag("real")) return false;
    *out = newReal(value);
    return true;
  }

  bool integer(id* out) {
    IntegerText value;
    const char* stop = scanIntegerText(at_, end_, &value);
    if (stop == nullptr) {
      fail();
      return false;
    }
    at_ = stop;
    if (!closeTag("integer")) return false;
    switch (value.kind) {
      case IntegerText::Zero32: *out = newSigned(0, kCFNumberSInt32Type); break;
      case IntegerText::Signed: *out = newSigned(value.i); break;
      case IntegerText::Unsigned: *out = newUnsigned(value.u); break;
    }
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

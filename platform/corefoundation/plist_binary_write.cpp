// Writing binary property lists ("bplist00") in time linear in their size: the preferences store is
// written whole on every change, and may hold any number of keys.
#include "cf_internal.h"
#include "unicode.h"

#include <cstring>

namespace cf {
namespace {

// Bytes needed for an unsigned value: 1, 2, 4 or 8.
unsigned widthOf(uint64_t v) {
  if (v <= 0xFF) return 1;
  if (v <= 0xFFFF) return 2;
  if (v <= 0xFFFFFFFFULL) return 4;
  return 8;
}

void putBigEndian(std::string& out, uint64_t v, unsigned width) {
  for (unsigned i = width; i-- > 0;) out += static_cast<char>(v >> (8 * i));
}

unsigned log2Of(unsigned width) { return width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3; }

class BinaryWriter {
 public:
  // False when `root` is not a property list (or nests deeper than one can be read back).
  bool write(id root, std::string& out) {
    if (!flatten(root, 0)) return false;
    refWidth_ = widthOf(objects_.size());
    std::vector<uint64_t> offsets;
    offsets.reserve(objects_.size());
    out = "bplist00";
    for (const Flat& flat : objects_) {
      offsets.push_back(out.size());
      encode(flat, out);
    }
    uint64_t table = out.size();
    unsigned offsetWidth = widthOf(table);
    for (uint64_t offset : offsets) putBigEndian(out, offset, offsetWidth);
    out.append(6, '\0');
    out += static_cast<char>(offsetWidth);
    out += static_cast<char>(refWidth_);
    putBigEndian(out, objects_.size(), 8);
    putBigEndian(out, 0, 8);  // the root is object 0
    putBigEndian(out, table, 8);
    return true;
  }

 private:
  struct Flat {
    id object;
    std::vector<uint64_t> children;  // arrays: items; dictionaries: keys, then values
  };

  // Numbers every object in order of first visit (the root is 0). Objects are not shared.
  bool flatten(id object, size_t depth) {
    if (depth > kMaxPlistDepth) return false;
    size_t index = objects_.size();
    objects_.push_back({object, {}});
    switch (familyOf(object)) {
      case Family::Boolean:
      case Family::Number:
      case Family::String:
      case Family::Data:
      case Family::Date:
      case Family::UID: return true;
      case Family::Array: {
        const ArrayBox& a = arrayOf(object);
        if (a.callbacks.retain == nullptr && !a.items.empty()) return false;
        std::vector<uint64_t> children;
        children.reserve(a.items.size());
        for (const void* item : a.items) {
          children.push_back(objects_.size());
          if (!flatten(toId(item), depth + 1)) return false;
        }
        objects_[index].children = std::move(children);
        return true;
      }
      case Family::Dictionary: {
        const DictionaryBox& d = dictionaryOf(object);
        if ((d.keyCallbacks.retain == nullptr || d.valueCallbacks.retain == nullptr) && !d.entries.empty()) return false;
        std::vector<uint64_t> children(2 * d.entries.size());
        for (size_t i = 0; i < d.entries.size(); ++i) {
          if (familyOf(toId(d.entries[i].key)) != Family::String) return false;
          children[i] = objects_.size();
          if (!flatten(toId(d.entries[i].key), depth + 1)) return false;
        }
        for (size_t i = 0; i < d.entries.size(); ++i) {
          children[d.entries.size() + i] = objects_.size();
          if (!flatten(toId(d.entries[i].value), depth + 1)) return false;
        }
        objects_[index].children = std::move(children);
        return true;
      }
      default: return false;
    }
  }

  // A marker with its count: in the low nibble, or 0xF and an integer object after it.
  static void putMarker(std::string& out, uint8_t type, uint64_t count) {
    if (count < 15) {
      out += static_cast<char>(type | count);
      return;
    }
    out += static_cast<char>(type | 0x0F);
    unsigned width = widthOf(count);
    out += static_cast<char>(0x10 | log2Of(width));
    putBigEndian(out, count, width);
  }

  static void putDouble(std::string& out, uint8_t marker, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    out += static_cast<char>(marker);
    putBigEndian(out, bits, 8);
  }

  void encode(const Flat& flat, std::string& out) const {
    id object = flat.object;
    switch (familyOf(object)) {
      case Family::Boolean: out += numberToBool(numberOf(object)) ? '\x09' : '\x08'; return;
      case Family::Number: {
        const NumberBox& n = numberOf(object);
        if (n.kind == NumberBox::Real) {
          putDouble(out, 0x23, n.d);
        } else if (n.kind == NumberBox::Unsigned) {  // above INT64_MAX: the 16-byte form
          out += '\x14';
          putBigEndian(out, 0, 8);
          putBigEndian(out, n.u, 8);
        } else if (n.i < 0) {  // negative: always 8 bytes, signed
          out += '\x13';
          putBigEndian(out, static_cast<uint64_t>(n.i), 8);
        } else {
          unsigned width = widthOf(static_cast<uint64_t>(n.i));
          out += static_cast<char>(0x10 | log2Of(width));
          putBigEndian(out, static_cast<uint64_t>(n.i), width);
        }
        return;
      }
      case Family::Date: putDouble(out, 0x33, dateOf(object)); return;
      case Family::UID: {
        unsigned width = widthOf(uidOf(object));
        out += static_cast<char>(0x80 | (width - 1));
        putBigEndian(out, uidOf(object), width);
        return;
      }
      case Family::Data: {
        const DataBox& d = dataOf(object);
        putMarker(out, 0x40, d.bytes.size());
        out.append(reinterpret_cast<const char*>(d.bytes.data()), d.bytes.size());
        return;
      }
      case Family::String: {
        const std::string& s = text(object);
        bool ascii = true;
        for (unsigned char c : s) ascii &= c < 0x80;
        if (ascii) {
          putMarker(out, 0x50, s.size());
          out += s;
          return;
        }
        std::string utf16;
        encodeText(s, kCFStringEncodingUTF16BE, 0, utf16);
        putMarker(out, 0x60, utf16.size() / 2);
        out += utf16;
        return;
      }
      case Family::Array:
      case Family::Dictionary: {
        bool isDictionary = familyOf(object) == Family::Dictionary;
        putMarker(out, isDictionary ? 0xD0 : 0xA0, isDictionary ? flat.children.size() / 2 : flat.children.size());
        for (uint64_t child : flat.children) putBigEndian(out, child, refWidth_);
        return;
      }
      default: return;
    }
  }

  std::vector<Flat> objects_;
  unsigned refWidth_ = 1;
};

}  // namespace

bool writeBinaryPropertyList(id root, std::string& out) {
  out.clear();
  BinaryWriter writer;
  if (writer.write(root, out)) return true;
  out.clear();
  return false;
}

}  // namespace cf

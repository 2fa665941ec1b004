// Reading binary property lists ("bplist00"), as iOS's reader does: the same checks of the trailer and
// the offset table, the same objects (kCFNull, sets and keyed-archiver UIDs besides the property-list
// types; dictionary keys of any type but a collection; the first of repeated keys kept; a UID object
// per offset, equal only to itself), the same refusals (an empty UTF-16 string fails the whole list),
// the same nesting limit, and no recursion, so no input can exhaust the stack.
#include "cf_internal.h"
#include "unicode.h"

#include <cstring>
#include <unordered_map>

namespace cf {
namespace {

constexpr size_t kTrailerSize = 32;

uint64_t bigEndian(const uint8_t* p, size_t size) {
  uint64_t v = 0;
  for (size_t i = 0; i < size; ++i) v = (v << 8) | p[i];
  return v;
}

class BinaryReader {
 public:
  BinaryReader(const uint8_t* data, size_t length, CFOptionFlags mutability)
      : data_(data), length_(length), mutability_(mutability), budget_(16 * static_cast<uint64_t>(length) + (1 << 20)) {}

  ~BinaryReader() {
    for (auto& [offset, object] : cache_) host::release(object);
  }

  // The top object (+1), or NULL when the bytes are not a well-formed binary property list.
  id read() {
    uint64_t top = 0;
    if (!readTrailer(&top)) return nullptr;
    return readTree(top);
  }

 private:
  // One array or dictionary being read: its references, and the objects read from them so far.
  struct Frame {
    uint64_t offset;
    bool isDictionary;
    uint64_t count;        // elements, or key-value pairs
    const uint8_t* refs;   // `count` references (dictionaries: the keys', then the values')
    bool isSet;
    uint64_t next = 0;     // next reference to read: arrays and sets 0..count, dictionaries 0..2*count
    std::vector<id> items;  // +1 each
  };

  // The device's checks: a trailer whose counts and sizes (any width from one byte; only the low 64 bits
  // of a wider value count) describe an offset table that ends the data exactly, every offset before
  // the table, and a top object after the header.
  bool readTrailer(uint64_t* topOffset) {
    if (length_ < 8 + kTrailerSize + 1 || std::memcmp(data_, "bplist0", 7) != 0) return false;
    const uint8_t* t = data_ + length_ - kTrailerSize;
    offsetSize_ = t[6];
    refSize_ = t[7];
    count_ = bigEndian(t + 8, 8);
    uint64_t top = bigEndian(t + 16, 8);
    table_ = bigEndian(t + 24, 8);
    if (count_ > static_cast<uint64_t>(INT64_MAX) || table_ > static_cast<uint64_t>(INT64_MAX)) return false;
    if (count_ < 1 || top >= count_ || table_ < 9 || table_ >= length_ - kTrailerSize) return false;
    if (offsetSize_ < 1 || refSize_ < 1) return false;
    // The offset table fills exactly the space between the objects and the trailer.
    if (count_ > (length_ - kTrailerSize - table_) / offsetSize_) return false;
    if (table_ + count_ * offsetSize_ + kTrailerSize != length_) return false;
    if (refSize_ < 8 && (1ULL << (8 * refSize_)) <= count_) return false;
    if (offsetSize_ < 8 && (1ULL << (8 * offsetSize_)) <= table_) return false;
    for (uint64_t i = 0; i < count_; ++i)
      if (offsetOf(i) >= table_) return false;
    *topOffset = offsetOf(top);
    return *topOffset >= 8;
  }

  uint64_t offsetOf(uint64_t object) const { return bigEndian(data_ + table_ + object * offsetSize_, offsetSize_); }

  // The offset of the object that reference `index` of a list at `refs` names.
  bool target(const uint8_t* refs, uint64_t index, uint64_t* offset) const {
    uint64_t ref = bigEndian(refs + index * refSize_, refSize_);
    if (ref >= count_) return false;
    *offset = offsetOf(ref);
    return *offset >= 8 && *offset < table_;
  }

  // Whether [at, at + size) lies within the objects.
  bool fits(uint64_t at, uint64_t size) const { return at <= table_ && size <= table_ - at; }

  // The element count after a marker at `offset` (in its low nibble, or an integer object after it when
  // that is 0xF), and where the contents start.
  bool countAt(uint64_t offset, uint64_t* count, uint64_t* start) const {
    uint8_t marker = data_[offset];
    *start = offset + 1;
    if ((marker & 0x0F) != 0x0F) {
      *count = marker & 0x0F;
      return true;
    }
    if (!fits(*start, 1) || (data_[*start] & 0xF0) != 0x10) return false;
    uint64_t size = 1ULL << (data_[*start] & 0x0F);  // any width: only its low 64 bits count
    if (!fits(*start + 1, size)) return false;
    *count = bigEndian(data_ + *start + 1, size);
    *start += 1 + size;
    return *count <= static_cast<uint64_t>(INT64_MAX);
  }

  bool spend(uint64_t units) {
    if (units > budget_) return false;
    budget_ -= units;
    return true;
  }

  static bool isContainer(uint8_t marker) {
    uint8_t type = marker & 0xF0;
    return type == 0xA0 || type == 0xC0 || type == 0xD0;
  }

  // A string, number, date, data, boolean, null or UID (+1), or NULL when malformed or of another type.
  id scalarAt(uint64_t offset) {
    uint8_t marker = data_[offset];
    uint8_t low = marker & 0x0F;
    switch (marker & 0xF0) {
      case 0x00:
        if (marker == 0x08 || marker == 0x09) return booleanObject(marker == 0x09);
        if (marker == 0x00) return nullObject();
        return nullptr;  // fill bytes
      case 0x10: {
        if (low > 4 || !fits(offset + 1, 1ULL << low)) return nullptr;
        size_t size = size_t{1} << low;
        // 1, 2 and 4 bytes are unsigned, 8 signed; of 16 only the low 64 bits count, unsigned.
        uint64_t v = bigEndian(data_ + offset + 1 + (size > 8 ? size - 8 : 0), size > 8 ? 8 : size);
        if (size > 8 && v > static_cast<uint64_t>(INT64_MAX)) return newUnsigned(v);
        return newSigned(static_cast<int64_t>(v));
      }
      case 0x20: {
        if (low == 2 && fits(offset + 1, 4)) {
          uint32_t bits = static_cast<uint32_t>(bigEndian(data_ + offset + 1, 4));
          float f;
          std::memcpy(&f, &bits, 4);
          return newReal(f, kCFNumberFloat32Type);
        }
        if (low == 3 && fits(offset + 1, 8)) return newReal(doubleAt(offset + 1));
        return nullptr;
      }
      case 0x30:
        if (marker != 0x33 || !fits(offset + 1, 8)) return nullptr;
        return newDate(doubleAt(offset + 1));
      case 0x40: {
        uint64_t n = 0, start = 0;
        if (!countAt(offset, &n, &start) || !fits(start, n)) return nullptr;
        return newData(data_ + start, n, mutability_ == kCFPropertyListMutableContainersAndLeaves);
      }
      case 0x50: {
        uint64_t n = 0, start = 0;
        if (!countAt(offset, &n, &start) || !fits(start, n)) return nullptr;
        // Marked ASCII; the device reads bytes above 0x7F as Latin-1 characters.
        std::string text;
        text.reserve(static_cast<size_t>(n));
        for (uint64_t i = 0; i < n; ++i) appendUTF8(text, data_[start + i]);
        return newString(std::move(text));
      }
      case 0x60: {
        uint64_t n = 0, start = 0;
        if (!countAt(offset, &n, &start) || n > table_ / 2 || !fits(start, 2 * n)) return nullptr;
        // An empty one, in either count form, makes the whole list unreadable on the device: its reader
        // copies the characters into a buffer of 2 * count bytes, and CF's allocator answers NULL for 0
        // bytes, which it takes for a failed allocation.
        if (n == 0) return nullptr;
        return newString(utf16Text(data_ + start, n));
      }
      case 0x80: {  // a keyed archive's UID: its own type, never a number
        if (!fits(offset + 1, low + 1U)) return nullptr;
        uint64_t value = bigEndian(data_ + offset + 1, low + 1U);
        if (value > UINT32_MAX) return nullptr;
        return newUID(static_cast<uint32_t>(value));
      }
      default: return nullptr;  // ordered sets and unknown markers
    }
  }

  // Big-endian UTF-16 as UTF-8. The device keeps a lone surrogate in its UTF-16 string; ours are
  // UTF-8, so it reads as U+FFFD.
  static std::string utf16Text(const uint8_t* p, uint64_t count) {
    std::u16string units(static_cast<size_t>(count), u'\0');
    for (size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>((p[2 * i] << 8) | p[2 * i + 1]);
    return utf8FromUnits(units.data(), units.size());
  }

  double doubleAt(uint64_t at) const {
    uint64_t bits = bigEndian(data_ + at, 8);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
  }

  // Opens the array or dictionary at `offset` as a frame; false when malformed.
  bool open(uint64_t offset, Frame& frame) {
    uint64_t n = 0, start = 0;
    frame.offset = offset;
    frame.isDictionary = (data_[offset] & 0xF0) == 0xD0;
    frame.isSet = (data_[offset] & 0xF0) == 0xC0;
    if (!countAt(offset, &n, &start)) return false;
    uint64_t refs = frame.isDictionary ? 2 * n : n;
    if (n > table_ || refs > table_ / refSize_ || !fits(start, refs * refSize_)) return false;
    if (!spend(1 + refs)) return false;
    frame.count = n;
    frame.refs = data_ + start;
    frame.items.reserve(static_cast<size_t>(refs));
    return true;
  }

  // Whether the object read at `offset` is kept for every later reference to it: immutable containers
  // (which may hold any amount), and strings and data too big to copy again and again. Small values are
  // quicker made afresh than looked up.
  bool shareable(uint64_t offset) const {
    uint8_t marker = data_[offset];
    if (isContainer(marker)) return mutability_ == kCFPropertyListImmutable;
    uint8_t type = marker & 0xF0;
    // A UID is equal only to itself, so which references share one decides how many keys or members
    // a dictionary or set gets; the device shares each UID object among all references to its offset.
    if (type == 0x80) return true;
    if (type == 0x40 && mutability_ == kCFPropertyListMutableContainersAndLeaves) return false;
    if (type != 0x40 && type != 0x50 && type != 0x60) return false;
    uint64_t n = 0, start = 0;
    return countAt(offset, &n, &start) && n >= 64;
  }

  // The object at `offset` if it was read before and may be shared (+1), else NULL.
  id cached(uint64_t offset) {
    if (!shareable(offset)) return nullptr;
    auto found = cache_.find(offset);
    return found == cache_.end() ? nullptr : host::retain(found->second);
  }

  void remember(uint64_t offset, id object) {
    if (shareable(offset)) cache_.emplace(offset, host::retain(object));
  }

  id finish(Frame& frame) {
    bool isMutable = mutability_ != kCFPropertyListImmutable;
    id result;
    if (frame.isSet) {
      result = newSet(frame.items, isMutable);
    } else if (!frame.isDictionary) {
      result = newArray(frame.items, isMutable);
    } else {
      result = newDictionary(isMutable);
      DictionaryBox& d = dictionaryOf(result);
      for (uint64_t i = 0; i < frame.count; ++i)
        if (d.find(frame.items[i]) < 0) d.set(frame.items[i], frame.items[frame.count + i]);  // the first wins
    }
    for (id item : frame.items) host::release(item);
    frame.items.clear();
    remember(frame.offset, result);
    return result;
  }

  // Reads the tree under `rootOffset` with a stack of open containers. An object deeper than the
  // nesting limit, a reference back to an object being read (a cycle) and a dictionary key that is a
  // collection all make the whole list unreadable, as on the device.
  id readTree(uint64_t rootOffset) {
    if (!isContainer(data_[rootOffset])) return scalarAt(rootOffset);
    std::vector<Frame> stack(1);
    if (!open(rootOffset, stack.back())) return abandon(stack);
    for (;;) {
      Frame& top = stack.back();
      uint64_t total = top.isDictionary ? 2 * top.count : top.count;
      if (top.next == total) {
        id done = finish(top);
        stack.pop_back();
        if (stack.empty()) return done;
        stack.back().items.push_back(done);
        continue;
      }
      // The child's depth: the root is at 0.
      if (stack.size() > kMaxPlistDepth) return abandon(stack);
      uint64_t offset = 0;
      bool isKey = top.isDictionary && top.next < top.count;
      if (!target(top.refs, top.next++, &offset)) return abandon(stack);
      uint8_t marker = data_[offset];
      if (isKey && isContainer(marker)) return abandon(stack);
      if (id object = cached(offset)) {
        top.items.push_back(object);
        continue;
      }
      if (isContainer(marker)) {
        Frame child;
        if (!open(offset, child)) return abandon(stack);
        stack.push_back(std::move(child));
        continue;
      }
      if (!spend(1)) return abandon(stack);
      id scalar = scalarAt(offset);
      if (scalar == nullptr) return abandon(stack);
      remember(offset, scalar);
      top.items.push_back(scalar);
    }
  }

  id abandon(std::vector<Frame>& stack) {
    for (Frame& frame : stack)
      for (id item : frame.items) host::release(item);
    stack.clear();
    return nullptr;
  }

  const uint8_t* data_;
  size_t length_;
  CFOptionFlags mutability_;
  // Objects made in all, in units of one object plus one per reference: a list whose references fan
  // out to the same containers again and again stops here instead of growing without bound.
  uint64_t budget_;
  unsigned offsetSize_ = 0, refSize_ = 0;
  uint64_t count_ = 0, table_ = 0;
  std::unordered_map<uint64_t, id> cache_;  // offset -> object read there (+1)
};

}  // namespace

bool isBinaryPropertyList(const void* bytes, size_t length) {
  return length >= 7 && std::memcmp(bytes, "bplist0", 7) == 0;
}

id parseBinaryPropertyList(const void* bytes, size_t length, CFOptionFlags mutability) {
  return BinaryReader(static_cast<const uint8_t*>(bytes), length, mutability).read();
}

}  // namespace cf

// Bounds-checked reads from a Mach-O file's bytes, for the reader's own parts (not part of its
// interface): the reader checks every range once when it opens a file; these reads still refuse to
// leave the bytes, so that a range the checks missed is an error, never a read out of bounds.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace macho {

// A range [offset, offset + size) of `total` bytes holds no wrap-around and ends inside them.
inline bool inside(uint64_t offset, uint64_t size, uint64_t total) { return offset <= total && size <= total - offset; }

class Bytes {
 public:
  // `what` begins each error ("malformed Mach-O: ...").
  Bytes(const std::vector<uint8_t>& data, std::string what) : data_(data), what_(std::move(what)) {}

  template <typename T>
  T le(uint64_t offset) const {
    check(offset, sizeof(T));
    T value{};
    std::memcpy(&value, data_.data() + offset, sizeof(T));
    return value;
  }
  uint32_t be32(uint64_t offset) const {
    check(offset, 4);
    const uint8_t* p = data_.data() + offset;
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  }
  // The NUL-terminated string at `offset`; it must end before `limit`.
  std::string cString(uint64_t offset, uint64_t limit, const std::string& what) const {
    if (limit > data_.size()) limit = data_.size();
    const char* begin = reinterpret_cast<const char*>(data_.data() + offset);
    const size_t length = offset < limit ? strnlen(begin, limit - offset) : 0;
    if (offset >= limit || length == limit - offset) fail(what + " is not a NUL-terminated string inside its bounds");
    return std::string(begin, length);
  }
  // A fixed-width name field (segment and section names): NUL-padded, or all of the width.
  std::string fixed(uint64_t offset, size_t width) const {
    check(offset, width);
    const char* begin = reinterpret_cast<const char*>(data_.data() + offset);
    return std::string(begin, strnlen(begin, width));
  }
  void check(uint64_t offset, uint64_t length) const {
    if (!inside(offset, length, data_.size())) fail("read past the end of the file");
  }
  [[noreturn]] void fail(const std::string& why) const { throw std::runtime_error(what_ + why); }
  uint64_t size() const { return data_.size(); }

 private:
  const std::vector<uint8_t>& data_;
  std::string what_;
};

}  // namespace macho

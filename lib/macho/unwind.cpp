#include "unwind.h"

#include <cstring>
#include <map>
#include <stdexcept>
#include <string>

#include "leb128.h"

namespace macho {
namespace {

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error("malformed unwind information: " + what); }

// Bounds-checked little-endian reads from one section's bytes; `at` is an offset in the section.
class SectionBytes {
 public:
  SectionBytes(const Image& image, const Section& section) : image_(image), section_(section) {
    if (uint64_t{section.fileOffset} + section.size > image.bytes.size()) fail(section.name + " lies past the file's end");
  }
  template <typename T>
  T at(uint64_t offset) const {
    if (offset > section_.size || sizeof(T) > section_.size - offset) fail("a read past the end of " + section_.name);
    T value{};
    std::memcpy(&value, image_.bytes.data() + section_.fileOffset + offset, sizeof(T));
    return value;
  }
  uint64_t address(uint64_t offset) const { return section_.address + offset; }
  uint64_t size() const { return section_.size; }

 private:
  const Image& image_;
  const Section& section_;
};

// ---- __unwind_info ----------------------------------------------------------------------------

constexpr uint32_t kRegularPage = 2, kCompressedPage = 3;

uint64_t imageBase(const Image& image) {
  for (const Segment& s : image.segments) {
    if (s.name == "__TEXT") return s.address;
  }
  return 0;
}

void readRegularPage(const SectionBytes& in, uint64_t page, uint64_t base, std::vector<UnwindEntry>& out) {
  uint16_t entries = in.at<uint16_t>(page + 4), count = in.at<uint16_t>(page + 6);
  for (uint16_t i = 0; i < count; ++i) {
    uint64_t entry = page + entries + 8 * uint64_t{i};
    out.push_back({base + in.at<uint32_t>(entry), in.at<uint32_t>(entry + 4)});
  }
}

void readCompressedPage(const SectionBytes& in, uint64_t page, uint64_t functionBase, uint64_t common,
                        uint32_t commonCount, std::vector<UnwindEntry>& out) {
  uint16_t entries = in.at<uint16_t>(page + 4), count = in.at<uint16_t>(page + 6);
  uint16_t encodings = in.at<uint16_t>(page + 8), encodingCount = in.at<uint16_t>(page + 10);
  for (uint16_t i = 0; i < count; ++i) {
    uint32_t entry = in.at<uint32_t>(page + entries + 4 * uint64_t{i});
    uint32_t index = entry >> 24;
    uint32_t encoding = 0;
    if (index < commonCount) {
      encoding = in.at<uint32_t>(common + 4 * uint64_t{index});
    } else if (index - commonCount < encodingCount) {
      encoding = in.at<uint32_t>(page + encodings + 4 * uint64_t{index - commonCount});
    } else {
      fail("a compressed entry names encoding " + std::to_string(index) + ", which its page does not hold");
    }
    out.push_back({functionBase + (entry & 0x00ffffff), encoding});
  }
}

// ---- __eh_frame -------------------------------------------------------------------------------

constexpr uint8_t kPointerOmit = 0xff;

struct Cie {
  uint8_t pointerEncoding = 0;  // how an FDE gives its addresses ('R'; absolute 8 bytes without)
  bool augmented = false;       // 'z': FDEs carry an augmentation length
  bool negatesRaState = false;
};

// One record's bytes being read from `at` up to `end`.
struct Cursor {
  const SectionBytes& in;
  uint64_t at;
  uint64_t end;

  template <typename T>
  T read() {
    if (at + sizeof(T) > end) fail("a record's field runs past its end");
    T value = in.at<T>(at);
    at += sizeof(T);
    return value;
  }
  uint64_t uleb() { return readUleb128([this] { return read<uint8_t>(); }, fail); }
  int64_t sleb() { return readSleb128([this] { return read<uint8_t>(); }, fail); }
  void skip(uint64_t bytes) {
    if (bytes > end - at) fail("a block runs past its record's end");
    at += bytes;
  }
  // A pointer in DWARF's DW_EH_PE encoding: its format (low four bits) and, for pc-relative ones,
  // the address of the field added.
  uint64_t pointer(uint8_t encoding) {
    uint64_t field = in.address(at);
    uint64_t value = 0;
    switch (encoding & 0x0f) {
      case 0x00: value = read<uint64_t>(); break;
      case 0x01: value = uleb(); break;
      case 0x02: value = read<uint16_t>(); break;
      case 0x03: value = read<uint32_t>(); break;
      case 0x04: value = read<uint64_t>(); break;
      case 0x09: value = static_cast<uint64_t>(sleb()); break;
      case 0x0a: value = static_cast<uint64_t>(int64_t{read<int16_t>()}); break;
      case 0x0b: value = static_cast<uint64_t>(int64_t{read<int32_t>()}); break;
      case 0x0c: value = read<uint64_t>(); break;
      default: fail("pointer encoding " + std::to_string(encoding) + " is not one this reader knows");
    }
    switch (encoding & 0x70) {
      case 0x00: return value;
      case 0x10: return field + value;
      default: fail("pointer application " + std::to_string(encoding & 0x70) + " is not one this reader knows");
    }
  }
};

// Walks call-frame instructions to the record's end; true when one flips the return-address signing
// state (DW_CFA_AARCH64_negate_ra_state 0x2d, or 0x2c, its variant that also mixes in the PC).
bool negatesRaState(Cursor c, uint8_t pointerEncoding) {
  bool negates = false;
  while (c.at < c.end) {
    uint8_t op = c.read<uint8_t>();
    switch (op & 0xc0) {
      case 0x40: continue;           // advance_loc
      case 0x80: c.uleb(); continue; // offset
      case 0xc0: continue;           // restore
    }
    switch (op) {
      case 0x00: case 0x0a: case 0x0b: break;  // nop, remember_state, restore_state
      case 0x01: c.pointer(pointerEncoding); break;  // set_loc
      case 0x02: c.skip(1); break;
      case 0x03: c.skip(2); break;
      case 0x04: c.skip(4); break;
      case 0x06: case 0x07: case 0x08: case 0x0d: case 0x0e: case 0x2e: c.uleb(); break;
      case 0x05: case 0x09: case 0x0c: case 0x14: case 0x2f: c.uleb(), c.uleb(); break;
      case 0x11: case 0x12: case 0x15: c.uleb(), c.sleb(); break;
      case 0x13: c.sleb(); break;
      case 0x0f: c.skip(c.uleb()); break;                 // def_cfa_expression
      case 0x10: case 0x16: c.uleb(), c.skip(c.uleb()); break;  // expression, val_expression
      case 0x2c: case 0x2d: negates = true; break;
      default: fail("call-frame instruction " + std::to_string(op) + " is not one this reader knows");
    }
  }
  return negates;
}

Cie readCie(const SectionBytes& in, uint64_t body, uint64_t end) {
  Cursor c{in, body, end};
  uint8_t version = c.read<uint8_t>();
  if (version != 1 && version != 3) fail("CIE version " + std::to_string(version));
  std::string augmentation;
  for (char ch; (ch = static_cast<char>(c.read<uint8_t>())) != '\0';) augmentation += ch;
  c.uleb();                                       // code alignment
  c.sleb();                                       // data alignment
  version == 1 ? void(c.read<uint8_t>()) : void(c.uleb());  // return address register
  Cie cie;
  if (!augmentation.empty() && augmentation[0] == 'z') {
    cie.augmented = true;
    uint64_t length = c.uleb();
    Cursor data{in, c.at, c.at + length};
    c.skip(length);
    for (char ch : augmentation.substr(1)) {
      if (ch == 'R') {
        cie.pointerEncoding = data.read<uint8_t>();
      } else if (ch == 'L') {
        data.read<uint8_t>();
      } else if (ch == 'P') {
        uint8_t encoding = data.read<uint8_t>();
        if (encoding != kPointerOmit) data.pointer(encoding & 0x7f);  // indirect or not, it is skipped
      } else if (ch != 'B' && ch != 'S' && ch != 'G') {
        fail("CIE augmentation '" + augmentation + "'");
      }
    }
  } else if (!augmentation.empty()) {
    fail("CIE augmentation '" + augmentation + "'");
  }
  cie.negatesRaState = negatesRaState(c, cie.pointerEncoding);
  return cie;
}

}  // namespace

std::vector<UnwindEntry> compactUnwindEntries(const Image& image) {
  const Section* section = image.section("__TEXT", "__unwind_info");
  if (section == nullptr) return {};
  SectionBytes in(image, *section);
  if (in.at<uint32_t>(0) != 1) fail("__unwind_info version " + std::to_string(in.at<uint32_t>(0)));
  uint32_t common = in.at<uint32_t>(4), commonCount = in.at<uint32_t>(8);
  uint32_t index = in.at<uint32_t>(20), indexCount = in.at<uint32_t>(24);
  uint64_t base = imageBase(image);
  std::vector<UnwindEntry> out;
  for (uint32_t i = 0; i < indexCount; ++i) {
    uint64_t entry = index + 12 * uint64_t{i};
    uint32_t functionOffset = in.at<uint32_t>(entry), page = in.at<uint32_t>(entry + 4);
    if (page == 0) break;  // the last index entry only marks where the last function ends
    uint32_t kind = in.at<uint32_t>(page);
    if (kind == kRegularPage) {
      readRegularPage(in, page, base, out);
    } else if (kind == kCompressedPage) {
      readCompressedPage(in, page, base + functionOffset, common, commonCount, out);
    } else {
      fail("second-level page kind " + std::to_string(kind));
    }
  }
  return out;
}

std::vector<FrameDescription> frameDescriptions(const Image& image) {
  const Section* section = image.section("__TEXT", "__eh_frame");
  if (section == nullptr) return {};
  SectionBytes in(image, *section);
  std::map<uint64_t, Cie> cies;  // by offset
  std::vector<FrameDescription> out;
  for (uint64_t at = 0; at + 4 <= in.size();) {
    uint64_t length = in.at<uint32_t>(at), body = at + 4;
    if (length == 0) break;  // a terminator
    if (length == 0xffffffff) length = in.at<uint64_t>(body), body += 8;
    if (length > in.size() - body) fail("a record runs past the end of __eh_frame");
    uint64_t end = body + length;
    uint32_t id = in.at<uint32_t>(body);
    if (id == 0) {
      cies[at] = readCie(in, body + 4, end);
    } else {
      auto cie = cies.find(body - id);
      if (body < id || cie == cies.end()) fail("an FDE at " + hex(at) + " names no CIE before it");
      Cursor c{in, body + 4, end};
      uint8_t encoding = cie->second.pointerEncoding;
      FrameDescription fde;
      fde.offset = at;
      fde.function = c.pointer(encoding);
      c.pointer(encoding & 0x0f);  // the length it covers
      if (cie->second.augmented) c.skip(c.uleb());
      fde.negatesRaState = cie->second.negatesRaState || negatesRaState(c, encoding);
      out.push_back(fde);
    }
    at = end;
  }
  return out;
}

}  // namespace macho

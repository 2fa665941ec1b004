#include "arm64_abi.h"

#include <cstdio>
#include <cstring>

namespace emu::abi {
namespace {

uint64_t alignUp(uint64_t value, uint64_t alignment) { return (value + alignment - 1) / alignment * alignment; }

// ---- reading type encodings --------------------------------------------------------------------

class Parser {
 public:
  explicit Parser(const std::string& text) : text_(text) {}
  bool done() const { return at_ >= text_.size(); }

  // One type with its qualifiers and the frame offset after it.
  Type next() {
    Type type = bare();
    while (!done() && (std::isdigit(static_cast<unsigned char>(peek())) || peek() == '-')) ++at_;
    return type;
  }

 private:
  char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
  [[noreturn]] void fail(const std::string& why) const {
    throw Error("the type encoding \"" + text_ + "\": " + why + " at offset " + std::to_string(at_));
  }

  static Type scalar(Type::Kind kind, const char* encoding, uint64_t size, bool isSigned = false) {
    Type t;
    t.kind = kind;
    t.encoding = encoding;
    t.size = t.alignment = size;
    t.isSigned = isSigned;
    return t;
  }

  Type bare() {
    bool isConst = false;
    while (std::strchr("rnNoORV", peek()) != nullptr && !done()) isConst |= text_[at_++] == 'r';
    size_t start = at_;
    if (done()) fail("a type is missing");
    Type t;
    switch (char c = text_[at_++]) {
      case 'v': t = scalar(Type::Kind::Void, "v", 0); break;
      case 'c': t = scalar(Type::Kind::Integer, "c", 1, true); break;
      case 'C': t = scalar(Type::Kind::Integer, "C", 1); break;
      case 'B': t = scalar(Type::Kind::Integer, "B", 1); t.isBool = true; break;
      case 's': t = scalar(Type::Kind::Integer, "s", 2, true); break;
      case 'S': t = scalar(Type::Kind::Integer, "S", 2); break;
      case 'i': case 'l': t = scalar(Type::Kind::Integer, c == 'i' ? "i" : "l", 4, true); break;
      case 'I': case 'L': t = scalar(Type::Kind::Integer, c == 'I' ? "I" : "L", 4); break;
      case 'q': t = scalar(Type::Kind::Integer, "q", 8, true); break;
      case 'Q': t = scalar(Type::Kind::Integer, "Q", 8); break;
      case 'f': t = scalar(Type::Kind::Float, "f", 4); break;
      case 'd': t = scalar(Type::Kind::Float, "d", 8); break;
      case '*': t = scalar(Type::Kind::CString, "*", 8); break;
      case '#': t = scalar(Type::Kind::Class, "#", 8); break;
      case ':': t = scalar(Type::Kind::Selector, ":", 8); break;
      case '@':
        if (peek() == '?') {
          ++at_;
          t = scalar(Type::Kind::Block, "@?", 8);
        } else {
          if (peek() == '"') {
            size_t close = text_.find('"', at_ + 1);
            if (close == std::string::npos) fail("an unterminated class name");
            at_ = close + 1;
          }
          t = scalar(Type::Kind::Object, "@", 8);
        }
        break;
      case '^':
        if (peek() == '?') {
          ++at_;
          t = scalar(Type::Kind::Function, "^?", 8);
        } else {
          Type pointee = bare();
          t = scalar(Type::Kind::Pointer, "^", 8);
          t.members.push_back(std::move(pointee));
        }
        break;
      case '{': t = structure(); break;
      default: --at_; fail(std::string("'") + c + "' (unions, arrays, bit fields and unknown types do not cross)");
    }
    t.encoding = text_.substr(start, at_ - start);
    t.isConst = isConst;
    return t;
  }

  Type structure() {
    Type t;
    t.kind = Type::Kind::Struct;
    while (!done() && peek() != '=' && peek() != '}') ++at_;
    if (done()) fail("an unterminated struct");
    if (text_[at_++] == '}') return t;  // opaque: only ever pointed to
    uint64_t offset = 0;
    while (peek() != '}') {
      if (done()) fail("an unterminated struct");
      Type member = bare();
      if (member.kind == Type::Kind::Void || (member.kind == Type::Kind::Struct && member.members.empty()))
        fail("a struct member without a size");
      offset = alignUp(offset, member.alignment) + member.size;
      t.alignment = std::max(t.alignment, member.alignment);
      t.members.push_back(std::move(member));
    }
    ++at_;
    t.size = alignUp(offset, t.alignment);
    return t;
  }

  const std::string& text_;
  size_t at_ = 0;
};

// ---- where values travel -----------------------------------------------------------------------

// A homogeneous floating-point aggregate: 1 to 4 members, after flattening, all float or all double.
bool flattenFloats(const Type& t, std::vector<uint64_t>& widths) {
  if (t.kind == Type::Kind::Float) {
    widths.push_back(t.size);
    return true;
  }
  if (t.kind != Type::Kind::Struct || t.members.empty()) return false;
  for (const Type& m : t.members)
    if (!flattenFloats(m, widths)) return false;
  return true;
}

int floatMembers(const Type& t, uint64_t* width) {
  std::vector<uint64_t> widths;
  if (!flattenFloats(t, widths) || widths.empty() || widths.size() > 4) return 0;
  for (uint64_t w : widths)
    if (w != widths[0]) return 0;
  *width = widths[0];
  return static_cast<int>(widths.size());
}

bool inMemory(const Type& t) {
  uint64_t width;
  return t.kind == Type::Kind::Struct && t.size > 16 && floatMembers(t, &width) == 0;
}

struct Place {
  enum class Where { X, V, Stack } where = Where::X;
  int reg = 0;         // the first register
  int count = 1;       // X: words; V: members
  uint64_t width = 8;  // V: bytes of each member
  uint64_t offset = 0;  // Stack: from the stack pointer
  bool byReference = false;  // the place holds the address of a copy
};

struct Layout {
  std::vector<Place> places;
  uint64_t usedX = 0, usedV = 0;  // bit masks of x0-x7 and v0-v7 used
  std::vector<uint64_t> copyOffsets;  // by-reference arguments' copies, from the stack pointer
  uint64_t resultOffset = 0;  // a large struct result's room
};

Layout layOut(const Signature& signature) {
  Layout layout;
  int ngrn = 0, nsrn = 0;
  uint64_t stack = 0;
  auto onStack = [&](uint64_t size, uint64_t alignment) {
    Place p;
    p.where = Place::Where::Stack;
    p.offset = stack = alignUp(stack, alignment);
    stack += size;
    return p;
  };
  for (const Type& t : signature.arguments) {
    Place p;
    uint64_t width = 0;
    int members = t.kind == Type::Kind::Struct ? floatMembers(t, &width) : 0;
    if (t.kind == Type::Kind::Void || (t.kind == Type::Kind::Struct && t.members.empty()))
      throw Error("the type encoding \"" + signature.encoding + "\": an argument without a size");
    if (t.kind == Type::Kind::Float || members > 0) {
      int n = members > 0 ? members : 1;
      if (nsrn + n <= 8) {
        p.where = Place::Where::V;
        p.reg = nsrn;
        p.count = n;
        p.width = members > 0 ? width : t.size;
        for (int i = 0; i < n; ++i) layout.usedV |= 1u << (nsrn + i);
        nsrn += n;
      } else {
        nsrn = 8;
        p = onStack(t.size, t.alignment);
      }
    } else if (inMemory(t)) {
      bool inRegister = ngrn < 8;
      p = inRegister ? Place{} : onStack(8, 8);
      if (inRegister) {
        p.reg = ngrn;
        layout.usedX |= 1u << ngrn++;
      }
      p.byReference = true;
    } else {
      int words = static_cast<int>((t.size + 7) / 8);
      if (t.kind == Type::Kind::Struct && t.alignment == 16) ngrn = (ngrn + 1) & ~1;
      if (ngrn + words <= 8) {
        p.reg = ngrn;
        p.count = words;
        for (int i = 0; i < words; ++i) layout.usedX |= 1u << (ngrn + i);
        ngrn += words;
      } else {
        ngrn = 8;
        p = onStack(t.size, t.kind == Type::Kind::Struct ? std::max<uint64_t>(8, t.alignment) : t.alignment);
      }
    }
    layout.places.push_back(p);
  }
  uint64_t room = alignUp(stack, 16);
  for (const Type& t : signature.arguments) {
    layout.copyOffsets.push_back(inMemory(t) ? room : 0);
    if (inMemory(t)) room = alignUp(room + t.size, 16);
  }
  layout.resultOffset = room;
  if (inMemory(signature.result)) room += signature.result.size;
  if (room > Machine::kOutgoingStackBytes)
    throw Error("the type encoding \"" + signature.encoding + "\": more stack arguments than the bridge carries");
  return layout;
}

uint64_t littleEndian(const Bytes& bytes, size_t from, size_t count) {
  uint64_t value = 0;
  for (size_t i = 0; i < count && from + i < bytes.size(); ++i) value |= uint64_t{bytes[from + i]} << (8 * i);
  return value;
}

void appendLittleEndian(Bytes& bytes, uint64_t value, size_t count) {
  for (size_t i = 0; i < count; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// An integer narrower than 32 bits as its type extends it to 32 bits.
uint32_t extendTo32(uint64_t value, const Type& t) {
  uint64_t bits = t.size * 8;
  uint64_t low = value & ((uint64_t{1} << bits) - 1);
  if (t.isSigned && (low >> (bits - 1)) != 0) low |= ~uint64_t{0} << bits;
  return static_cast<uint32_t>(low);
}

// A register's value for an integer-like value of `size` bytes: what the convention defines, and
// the unspecified bits above it poisoned.
uint64_t registerValue(uint64_t value, const Type& t) {
  if (t.size >= 8) return value;
  if (t.size == 4) return kUnspecifiedUpperBits | static_cast<uint32_t>(value);
  return kUnspecifiedUpperBits | extendTo32(value, t);
}

void poisonUnused(Cpu& cpu, uint64_t usedX, uint64_t usedV, int lastX) {
  for (int n = 0; n <= lastX; ++n)
    if ((usedX & (1u << n)) == 0 && n != 18) cpu.setX(n, kPoisonX);
  for (int n = 0; n < 8; ++n)
    if ((usedV & (1u << n)) == 0) cpu.setV(n, kPoisonV, kPoisonV);
}

std::string describeArgument(size_t index, const Type& t) {
  return "argument " + std::to_string(index) + " (" + t.encoding + ")";
}

}  // namespace

Signature parseSignature(const std::string& encoding) {
  Signature s;
  s.encoding = encoding;
  Parser parser(encoding);
  s.result = parser.next();
  if (s.result.kind == Type::Kind::Struct && s.result.members.empty())
    throw Error("the type encoding \"" + encoding + "\": a result without a size");
  while (!parser.done()) s.arguments.push_back(parser.next());
  return s;
}

std::vector<Bytes> readArguments(Cpu& cpu, const Signature& signature) {
  Layout layout = layOut(signature);
  Machine& m = cpu.machine();
  std::vector<Bytes> values;
  for (size_t i = 0; i < signature.arguments.size(); ++i) {
    const Type& t = signature.arguments[i];
    const Place& p = layout.places[i];
    Bytes bytes;
    if (p.byReference || p.where == Place::Where::Stack) {
      uint64_t at = cpu.sp() + p.offset;
      if (p.byReference) at = p.where == Place::Where::Stack ? m.load<uint64_t>(at) : cpu.x(p.reg);
      bytes.resize(t.size);
      m.read(at, bytes.data(), bytes.size());
    } else if (p.where == Place::Where::V) {
      for (int n = 0; n < p.count; ++n) appendLittleEndian(bytes, cpu.v(p.reg + n), p.width);
    } else {
      for (int n = 0; n < p.count; ++n) appendLittleEndian(bytes, cpu.x(p.reg + n), 8);
      bytes.resize(t.size);
      if (t.kind == Type::Kind::Integer && t.size < 4) {
        uint32_t low = static_cast<uint32_t>(cpu.x(p.reg));
        if (low != extendTo32(low, t))
          m.fail(describeArgument(i, t) + " in x" + std::to_string(p.reg) + " is " + hex(low) +
                 ": not extended to 32 bits by the caller");
        if (t.isBool && low > 1)
          m.fail(describeArgument(i, t) + " in x" + std::to_string(p.reg) + " is neither YES nor NO (" + hex(low) + ")");
      }
    }
    values.push_back(std::move(bytes));
  }
  return values;
}

void writeResult(Cpu& cpu, const Type& t, const Bytes& result, uint64_t indirectResult) {
  uint64_t usedX = 0, usedV = 0, width = 0;
  int members = t.kind == Type::Kind::Struct ? floatMembers(t, &width) : 0;
  if (t.kind == Type::Kind::Void) {
  } else if (t.kind == Type::Kind::Float) {
    cpu.setV(0, littleEndian(result, 0, t.size));  // a scalar write clears the rest of the register
    usedV = 1;
  } else if (members > 0) {
    for (int n = 0; n < members; ++n) cpu.setV(n, littleEndian(result, n * width, width));
    usedV = (1u << members) - 1;
  } else if (inMemory(t)) {
    cpu.machine().write(indirectResult, result.data(), result.size());
  } else if (t.kind == Type::Kind::Struct) {
    Bytes padded = result;
    while (padded.size() % 8 != 0) padded.push_back(0xa5);  // the tail of the last register is unspecified
    for (size_t n = 0; n < padded.size() / 8; ++n) cpu.setX(static_cast<int>(n), littleEndian(padded, 8 * n, 8));
    usedX = padded.size() > 8 ? 3 : 1;
  } else {
    cpu.setX(0, registerValue(littleEndian(result, 0, t.size), t));
    usedX = 1;
  }
  poisonUnused(cpu, usedX, usedV, 17);
  for (int n = 16; n < 32; ++n) cpu.setV(n, kPoisonV, kPoisonV);
}

void loadArguments(Cpu& cpu, uint64_t stackPointer, const Signature& signature, const std::vector<Bytes>& arguments) {
  if (arguments.size() != signature.arguments.size())
    throw Error("the type encoding \"" + signature.encoding + "\" has " + std::to_string(signature.arguments.size()) +
                " arguments, not " + std::to_string(arguments.size()));
  Layout layout = layOut(signature);
  Machine& m = cpu.machine();
  for (size_t i = 0; i < arguments.size(); ++i) {
    const Type& t = signature.arguments[i];
    const Place& p = layout.places[i];
    const Bytes& bytes = arguments[i];
    if (p.byReference) {
      uint64_t copy = stackPointer + layout.copyOffsets[i];
      m.write(copy, bytes.data(), bytes.size());
      if (p.where == Place::Where::Stack) m.store<uint64_t>(stackPointer + p.offset, copy);
      else cpu.setX(p.reg, copy);
    } else if (p.where == Place::Where::Stack) {
      m.write(stackPointer + p.offset, bytes.data(), bytes.size());
    } else if (p.where == Place::Where::V) {
      for (int n = 0; n < p.count; ++n) cpu.setV(p.reg + n, littleEndian(bytes, n * p.width, p.width));
    } else if (t.kind == Type::Kind::Struct) {
      Bytes padded = bytes;
      while (padded.size() % 8 != 0) padded.push_back(0xa5);
      for (int n = 0; n < p.count; ++n) cpu.setX(p.reg + n, littleEndian(padded, 8 * n, 8));
    } else {
      cpu.setX(p.reg, registerValue(littleEndian(bytes, 0, t.size), t));
    }
  }
  uint64_t usedX = layout.usedX;
  if (inMemory(signature.result)) {
    cpu.setX(8, stackPointer + layout.resultOffset);
    usedX |= 1u << 8;
  }
  poisonUnused(cpu, usedX, layout.usedV, 8);
}

Bytes readResult(Machine& machine, const Result& registers, uint64_t stackPointer, const Signature& signature) {
  const Type& t = signature.result;
  Bytes bytes;
  uint64_t width = 0;
  int members = t.kind == Type::Kind::Struct ? floatMembers(t, &width) : 0;
  auto vBits = [&](int n) {
    uint64_t bits;
    std::memcpy(&bits, &registers.d[n], sizeof bits);
    return bits;
  };
  if (t.kind == Type::Kind::Void) return bytes;
  if (t.kind == Type::Kind::Float) {
    appendLittleEndian(bytes, vBits(0), t.size);
  } else if (members > 0) {
    for (int n = 0; n < members; ++n) appendLittleEndian(bytes, vBits(n), width);
  } else if (inMemory(t)) {
    bytes.resize(t.size);
    machine.read(stackPointer + layOut(signature).resultOffset, bytes.data(), bytes.size());
  } else {
    appendLittleEndian(bytes, registers.x0, 8);
    appendLittleEndian(bytes, registers.x1, 8);
    bytes.resize(t.size);
    if (t.isBool && static_cast<uint32_t>(registers.x0) > 1)
      machine.fail("a BOOL result that is neither YES nor NO (" + hex(static_cast<uint32_t>(registers.x0)) + ")");
  }
  return bytes;
}

void returnBool(Cpu& cpu, bool value) { cpu.setX(0, kUnspecifiedUpperBits | (value ? 1 : 0)); }

}  // namespace emu::abi

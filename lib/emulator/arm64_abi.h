// Apple's arm64 calling convention, driven by Objective-C type encodings: the one place that knows how
// each argument and result of a method or C function travels between caller and callee. Integers and
// pointers go in x0-x7, floating-point values and homogeneous aggregates of up to four of them (a
// CGRect) in v0-v7, larger structs through memory (arguments by reference, results at x8), the rest
// on the stack at natural alignment. Apple's variant: a caller extends an argument narrower than 32
// bits to 32 bits, a callee its result; nothing above 32 bits is defined.
//
// What a correct caller or callee never reads is poisoned (the bits above a BOOL, argument and
// result registers nothing was passed in, every caller-saved register after a call), so a wrong cast
// in the emulated code reads garbage here as it may on the device, never an accidental right value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "machine.h"

namespace emu::abi {

// Bits 32-63 of a register holding a result or argument narrower than 64 bits: unspecified.
constexpr uint64_t kUnspecifiedUpperBits = 0xa5a5a5a500000000;
// An integer register nobody wrote: a value no object, selector or mapped address has.
constexpr uint64_t kPoisonX = 0xa5a5a5a5a5a5a5a5;
// A vector register nobody wrote: a quiet NaN as a double, a tiny negative number as a float.
constexpr uint64_t kPoisonV = 0x7ffda5a5a5a5a5a5;

// One C type of a signature, as its type encoding spells it.
struct Type {
  enum class Kind { Void, Integer, Float, Object, Class, Selector, CString, Pointer, Function, Block, Struct };
  Kind kind = Kind::Void;
  std::string encoding;  // as written, without qualifiers and offsets
  uint64_t size = 0, alignment = 1;
  bool isSigned = false;  // Integer
  bool isBool = false;    // Integer: 'B', or the host's BOOL 'C'
  bool isConst = false;   // the 'r' qualifier (a const pointee)
  std::vector<Type> members;  // Struct: its fields in order; Pointer: the pointee
};

// A method's or function's types: result first, then the arguments (for a method self and _cmd).
struct Signature {
  std::string encoding;
  Type result;
  std::vector<Type> arguments;
};

// Reads a type encoding ("v@:B", "{CGRect={CGPoint=dd}{CGSize=dd}}@:", with or without frame
// offsets). Throws Error naming what it cannot read (unions, arrays, bit fields, unknown letters).
Signature parseSignature(const std::string& encoding);

// A value in its C layout (little-endian, as both this machine and arm64 store it).
using Bytes = std::vector<uint8_t>;

// ---- an emulated caller reaching C++ (a trap) -------------------------------------------------

// The arguments as the callee finds them. Stops (Error) when the caller broke the convention: an
// argument narrower than 32 bits not extended to 32 bits, a BOOL neither 0 nor 1.
std::vector<Bytes> readArguments(Cpu& cpu, const Signature& signature);
// Returns `result` as the callee does, then poisons every caller-saved register a correct caller
// does not read after the call. `indirectResult` is x8 as the caller set it (for large structs).
void writeResult(Cpu& cpu, const Type& type, const Bytes& result, uint64_t indirectResult);

// ---- C++ calling emulated code -----------------------------------------------------------------

// Loads `arguments` into the registers and the stack at `stackPointer` (Machine::call's setUp),
// poisoning the argument registers nothing was passed in. Large structs are copied into the
// outgoing stack area and passed by reference; a large struct result gets room there too.
void loadArguments(Cpu& cpu, uint64_t stackPointer, const Signature& signature, const std::vector<Bytes>& arguments);
// The result the callee left, as the caller reads it. Stops when a BOOL result is neither 0 nor 1.
Bytes readResult(Machine& machine, const Result& registers, uint64_t stackPointer, const Signature& signature);

// ---- single values, for traps that carry out a call themselves ----------------------------------

// Returns a BOOL from a trap: zero-extended to 32 bits, the bits above unspecified.
void returnBool(Cpu& cpu, bool value);

}  // namespace emu::abi

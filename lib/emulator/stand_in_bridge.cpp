#include "stand_in_bridge.h"

#include <ffi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace emu {
namespace {

using abi::Bytes;
using abi::Type;
using Kind = abi::Type::Kind;

constexpr size_t kKeptStrings = 64;  // C strings returned to host callers stay valid for this many more

uint64_t word(const Bytes& bytes) {
  uint64_t value = 0;
  if (!bytes.empty()) std::memcpy(&value, bytes.data(), std::min<size_t>(bytes.size(), 8));  // a void result has none
  return value;
}

Bytes wordBytes(uint64_t value) {
  Bytes bytes(8);
  std::memcpy(bytes.data(), &value, 8);
  return bytes;
}

bool isScalar(const Type& t) {
  if (t.kind == Kind::Integer || t.kind == Kind::Float) return true;
  if (t.kind != Kind::Struct || t.members.empty()) return false;
  for (const Type& m : t.members)
    if (!isScalar(m)) return false;
  return true;
}

std::string describeArgument(size_t index, const Type& t) {
  return "argument " + std::to_string(index) + " (" + t.encoding + ")";
}

}  // namespace

// A signature ready for libffi: its parsed types and the call interface built from them.
struct StandInBridge::Prepared {
  abi::Signature signature;
  ffi_cif cif{};
  std::vector<ffi_type*> argumentTypes;
  std::deque<ffi_type> structs;
  std::deque<std::vector<ffi_type*>> elements;

  ffi_type* typeOf(const Type& t) {
    switch (t.kind) {
      case Kind::Void: return &ffi_type_void;
      case Kind::Float: return t.size == 4 ? &ffi_type_float : &ffi_type_double;
      case Kind::Integer:
        switch (t.size) {
          case 1: return t.isSigned ? &ffi_type_sint8 : &ffi_type_uint8;
          case 2: return t.isSigned ? &ffi_type_sint16 : &ffi_type_uint16;
          case 4: return t.isSigned ? &ffi_type_sint32 : &ffi_type_uint32;
          default: return t.isSigned ? &ffi_type_sint64 : &ffi_type_uint64;
        }
      case Kind::Struct: {
        std::vector<ffi_type*>& members = elements.emplace_back();
        for (const Type& m : t.members) members.push_back(typeOf(m));
        members.push_back(nullptr);
        ffi_type& s = structs.emplace_back();
        s.size = 0;
        s.alignment = 0;
        s.type = FFI_TYPE_STRUCT;
        s.elements = members.data();
        return &s;
      }
      default: return &ffi_type_pointer;
    }
  }
};

// A host function pointer that runs an emulated function.
struct StandInBridge::Closure {
  StandInBridge* bridge = nullptr;
  Prepared* prepared = nullptr;
  uint64_t pointer = 0;  // as the emulated code handed it over
  uint64_t address = 0;  // its entry, once authenticated (at hand-over, or 0 until each call)
  std::string name, what;
  ffi_closure* closure = nullptr;
  void* code = nullptr;
};

StandInBridge::StandInBridge(Machine& machine, StandInObjects& objects) : machine_(machine), objects_(objects) {
  stop_ = [](const std::string& message) {
    std::fprintf(stderr, "emulated device code stopped: %s\n", message.c_str());
    std::fflush(stderr);
    std::abort();
  };
}

StandInBridge::~StandInBridge() {
  for (auto& [key, closure] : closures_) ffi_closure_free(closure->closure);
}

StandInBridge::Prepared& StandInBridge::prepare(const std::string& types) {
  auto found = prepared_.find(types);
  if (found != prepared_.end()) return *found->second;
  auto p = std::make_unique<Prepared>();
  p->signature = abi::parseSignature(types);
  for (const Type& t : p->signature.arguments) p->argumentTypes.push_back(p->typeOf(t));
  ffi_type* result = p->typeOf(p->signature.result);
  if (ffi_prep_cif(&p->cif, FFI_DEFAULT_ABI, static_cast<unsigned>(p->argumentTypes.size()), result,
                   p->argumentTypes.data()) != FFI_OK)
    throw Error("libffi cannot call with the type encoding \"" + types + "\"");
  return *prepared_.emplace(types, std::move(p)).first->second;
}

// ---- values crossing -------------------------------------------------------------------------------

std::vector<Bytes> StandInBridge::argumentsToHost(const Prepared& p, std::vector<Bytes> values, const std::string& what,
                                               std::deque<std::string>& strings,
                                               std::deque<std::vector<uint8_t>>& buffers,
                                               std::vector<std::function<void()>>& after) {
  const std::vector<Type>& types = p.signature.arguments;
  for (size_t i = 0; i < types.size(); ++i) {
    const Type& t = types[i];
    Bytes& v = values[i];
    uint64_t value = word(v);
    auto refuse = [&](const std::string& why) {
      machine_.fail(what + ": " + describeArgument(i, t) + " " + why);
    };
    switch (t.kind) {
      case Kind::Object:
      case Kind::Class:
      case Kind::Selector:
        try {
          v = wordBytes(t.kind == Kind::Selector ? reinterpret_cast<uint64_t>(objects_.hostSel(value))
                                                 : reinterpret_cast<uint64_t>(objects_.toHost(value)));
        } catch (const Error& e) {
          refuse(std::string("is ") + e.what());
        }
        break;
      case Kind::CString:
        if (value != 0) {
          strings.push_back(machine_.cString(value, 1 << 20));
          v = wordBytes(reinterpret_cast<uint64_t>(strings.back().c_str()));
        }
        break;
      case Kind::Function:
      case Kind::Block:
        if (value != 0) refuse("is a function or block, which the bridge cannot carry here");
        break;
      case Kind::Pointer: {
        if (value == 0) break;
        const Type& pointee = t.members[0];
        bool counted = pointee.kind == Kind::Object && i + 1 < types.size() && types[i + 1].kind == Kind::Integer;
        if (pointee.kind == Kind::Object) {
          // A list of objects (its count in the next argument) or one object passed by reference.
          uint64_t count = counted ? word(values[i + 1]) : 1;
          if (count > (1u << 20)) refuse("counts " + std::to_string(count) + " objects");
          std::vector<uint8_t>& buffer = buffers.emplace_back(count * sizeof(id));
          for (uint64_t n = 0; n < count; ++n) {
            id object = objects_.toHost(machine_.load<uint64_t>(value + 8 * n));
            std::memcpy(buffer.data() + 8 * n, &object, sizeof object);
          }
          if (!t.isConst && !pointee.isConst) {
            after.push_back([this, value, count, &buffer] {
              for (uint64_t n = 0; n < count; ++n) {
                id object;
                std::memcpy(&object, buffer.data() + 8 * n, sizeof object);
                machine_.store<uint64_t>(value + 8 * n, objects_.toEmu(object));
              }
            });
          }
          v = wordBytes(reinterpret_cast<uint64_t>(buffer.data()));
        } else if (isScalar(pointee)) {
          // A value passed by reference: copied in, and back unless it is const.
          std::vector<uint8_t>& buffer = buffers.emplace_back(pointee.size);
          machine_.read(value, buffer.data(), buffer.size());
          if (!t.isConst && !pointee.isConst)
            after.push_back([this, value, &buffer] { machine_.write(value, buffer.data(), buffer.size()); });
          v = wordBytes(reinterpret_cast<uint64_t>(buffer.data()));
        } else {
          refuse("points to memory the bridge cannot share with the host (" + hex(value) + ")");
        }
        break;
      }
      default:
        break;
    }
  }
  return values;
}

Bytes StandInBridge::valueToEmu(const Type& t, const Bytes& value, const std::string& what, bool argument) {
  uint64_t word64 = word(value);
  switch (t.kind) {
    case Kind::Object:
    case Kind::Class:
      return wordBytes(objects_.toEmu(reinterpret_cast<id>(word64)));
    case Kind::Selector:
      return wordBytes(objects_.sel(reinterpret_cast<SEL>(word64)));
    case Kind::CString: {
      if (word64 == 0) return value;
      const char* text = reinterpret_cast<const char*>(word64);
      if (!t.isConst) return wordBytes(machine_.allocateString(text));
      // A const string the host keeps (a path, a prefix): one copy while its text stays the same.
      auto& copy = constStrings_[text];
      if (copy.second == 0 || copy.first != text) copy = {text, machine_.allocateString(text)};
      return wordBytes(copy.second);
    }
    case Kind::Pointer:
    case Kind::Function:
    case Kind::Block:
      if (word64 != 0)
        machine_.fail(what + ": " + (argument ? "an argument" : "the result") + " (" + t.encoding +
                      ") is a host pointer the emulated code cannot use");
      return value;
    default:
      return value;
  }
}

Bytes StandInBridge::resultToEmu(const Type& t, const Bytes& value, const std::string& what) {
  return valueToEmu(t, value, what, false);
}

Bytes StandInBridge::resultToHost(const Type& t, const Bytes& value, const std::string& what) {
  uint64_t word64 = word(value);
  switch (t.kind) {
    case Kind::Object:
    case Kind::Class:
      return wordBytes(reinterpret_cast<uint64_t>(objects_.toHost(word64)));
    case Kind::Selector:
      return wordBytes(reinterpret_cast<uint64_t>(objects_.hostSel(word64)));
    case Kind::CString:
      if (word64 == 0) return value;
      returnedStrings_.push_back(machine_.cString(word64, 1 << 20));
      if (returnedStrings_.size() > kKeptStrings) returnedStrings_.pop_front();
      return wordBytes(reinterpret_cast<uint64_t>(returnedStrings_.back().c_str()));
    case Kind::Pointer:
    case Kind::Function:
    case Kind::Block:
      if (word64 != 0) machine_.fail(what + ": the result (" + t.encoding + ") is an emulated pointer the host cannot use");
      return value;
    default:
      return value;
  }
}

// ---- emulated code calling the host -------------------------------------------------------------

void StandInBridge::callHost(Cpu& cpu, void* function, const std::string& types, const std::string& what) {
  Prepared& p = prepare(types);
  uint64_t indirectResult = cpu.x(8);
  std::vector<Bytes> emulated;
  try {
    emulated = abi::readArguments(cpu, p.signature);
  } catch (const Error& e) {
    machine_.fail(what + ": " + e.what());
  }
  std::deque<std::string> strings;
  std::deque<std::vector<uint8_t>> buffers;
  std::vector<std::function<void()>> after;
  std::vector<Bytes> host = argumentsToHost(p, std::move(emulated), what, strings, buffers, after);
  std::vector<void*> pointers;
  for (Bytes& b : host) pointers.push_back(b.data());
  Bytes result(std::max<size_t>(p.signature.result.size, sizeof(ffi_arg)) + 16);
  ffi_call(&p.cif, FFI_FN(function), result.data(), pointers.data());
  result.resize(p.signature.result.size);
  for (auto& copyBack : after) copyBack();
  abi::writeResult(cpu, p.signature.result, resultToEmu(p.signature.result, result, what), indirectResult);
}

uint64_t StandInBridge::toEmu(void* function, const std::string& types, const std::string& name) {
  if (function == nullptr) return 0;
  if (uint64_t emulated = emulatedFunctionOf(function)) return machine_.signFunction(emulated);
  auto key = std::make_pair(function, types);
  auto found = traps_.find(key);
  if (found != traps_.end()) return machine_.signFunction(found->second);
  prepare(types);  // a signature the bridge cannot carry fails here, where the pointer crosses
  uint64_t address = machine_.trap(name, [this, function, types, name](Cpu& cpu) { callHost(cpu, function, types, name); });
  traps_[key] = address;
  trapFunctions_[address] = function;
  return machine_.signFunction(address);
}

uint64_t StandInBridge::toEmu(void* function, const std::string& name, Machine::Handler call) {
  auto key = std::make_pair(function, "(by hand) " + name);
  auto found = traps_.find(key);
  if (found != traps_.end()) return machine_.signFunction(found->second);
  uint64_t address = machine_.trap(name, std::move(call));
  traps_[key] = address;
  trapFunctions_[address] = function;
  return machine_.signFunction(address);
}

// ---- the host calling emulated code -------------------------------------------------------------

uint64_t StandInBridge::emulatedFunctionOf(void* function) const {
  auto found = closureFunctions_.find(function);
  return found == closureFunctions_.end() ? 0 : found->second;
}

void* StandInBridge::toHost(uint64_t pointer, const std::string& types, const std::string& name, Check check,
                         const std::string& what) {
  if (pointer == 0) return nullptr;
  // A host function coming back is checked at once: nothing of the emulated code's runs for it.
  uint64_t address = machine_.strip(pointer);
  auto trapped = trapFunctions_.find(address);
  if (check == Check::OnHandOver || trapped != trapFunctions_.end()) machine_.authenticateFunction(pointer, what);
  if (trapped != trapFunctions_.end()) return trapped->second;
  auto key = std::make_pair(pointer, types);
  auto found = closures_.find(key);
  if (found != closures_.end()) return found->second->code;
  auto c = std::make_unique<Closure>();
  c->bridge = this;
  c->prepared = &prepare(types);
  c->pointer = pointer;
  c->address = check == Check::OnHandOver ? address : 0;
  c->name = name;
  c->what = what;
  c->closure = static_cast<ffi_closure*>(ffi_closure_alloc(sizeof(ffi_closure), &c->code));
  if (c->closure == nullptr) throw Error("libffi cannot make a closure for " + name);
  auto handler = reinterpret_cast<void (*)(ffi_cif*, void*, void**, void*)>(&StandInBridge::onClosure);
  if (ffi_prep_closure_loc(c->closure, &c->prepared->cif, handler, c.get(), c->code) != FFI_OK)
    throw Error("libffi cannot make a closure for " + name);
  void* code = c->code;
  if (c->address != 0) closureFunctions_[code] = c->address;
  closures_[key] = std::move(c);
  return code;
}

void StandInBridge::onClosure(void*, void* result, void** arguments, void* closure) {
  auto* c = static_cast<Closure*>(closure);
  c->bridge->runClosure(*c, result, arguments);
}

void StandInBridge::runClosure(Closure& c, void* result, void** arguments) {
  const abi::Signature& signature = c.prepared->signature;
  try {
    std::vector<Bytes> emulated;
    for (size_t i = 0; i < signature.arguments.size(); ++i) {
      const Type& t = signature.arguments[i];
      Bytes host(static_cast<const uint8_t*>(arguments[i]), static_cast<const uint8_t*>(arguments[i]) + t.size);
      emulated.push_back(valueToEmu(t, host, c.name, true));
    }
    uint64_t entry = c.address != 0 ? c.address : machine_.authenticateFunction(c.pointer, c.what);
    uint64_t stackPointer = 0;
    Result registers = machine_.call(entry, [&](Cpu& cpu, uint64_t sp) {
      stackPointer = sp;
      abi::loadArguments(cpu, sp, signature, emulated);
    });
    Bytes value = resultToHost(signature.result, abi::readResult(machine_, registers, stackPointer, signature), c.name);
    const Type& t = signature.result;
    if (t.kind == Kind::Integer && t.size < sizeof(ffi_arg)) {
      // libffi hands back integers narrower than a register widened to one.
      uint64_t widened = word(value);
      if (t.isSigned && t.size < 8 && (widened >> (8 * t.size - 1)) & 1) widened |= ~uint64_t{0} << (8 * t.size);
      std::memcpy(result, &widened, sizeof(ffi_arg));
    } else if (t.kind != Kind::Void) {
      std::memcpy(result, value.data(), value.size());
    }
  } catch (const Error& e) {
    stop_(std::string(e.what()) + " [in " + c.name + "]");
  }
}

}  // namespace emu

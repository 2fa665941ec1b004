// libobjc in the emulated process: every call is carried out on this process's runtime (GCC's, with
// the stand-ins' classes). A message goes to the method the runtime's own dispatch would pick; a method
// the emulated code added or hooked in is entered directly, as on the device.
#include "process.h"

namespace emu {
namespace {

// Apple's objc_msgSend answers a message to nil with zero in every result register.
void answerNil(Cpu& cpu) {
  cpu.setX(0, 0);
  cpu.setX(1, 0);
  for (int n = 0; n < 4; ++n) cpu.setV(n, 0);
}

}  // namespace

uint64_t Process::lookUpClass(const std::string& name) {
  if (hidden_.count(name) != 0) return 0;
  return objects.toEmu(objc_getClass(name.c_str()));
}

// Runs the method `object`'s class (or `start`, for a send to super) has for the selector in x1, with
// the receiver's handle in x0.
void Process::dispatch(Cpu& cpu, uint64_t receiver, id object, Class start) {
  std::string selector = objects.selName(cpu.x(1));
  Method method = class_getInstanceMethod(start, objects.hostSel(cpu.x(1)));
  if (method == nullptr) {
    machine.fail(std::string("unrecognized selector sent to ") + (objects.isClass(object) ? "class: " : "instance: ") +
                 objects.describeMessage(object, selector));
  }
  IMP imp = method_getImplementation(method);
  cpu.setX(0, receiver);
  // A method the emulated code added or hooked in is entered at its plain address: the runtime
  // authenticated its pointer when it was handed over and calls its own re-signed copy.
  if (uint64_t emulated = bridge.emulatedFunctionOf(reinterpret_cast<void*>(imp))) return cpu.jump(emulated);
  std::string what = objects.describeMessage(object, selector);
  if (start != object_getClass(object)) what += std::string(" (to super, ") + class_getName(start) + ")";
  const char* types = method_getTypeEncoding(method);
  if (types == nullptr) machine.fail(what + " has no type encoding");
  bridge.callHost(cpu, reinterpret_cast<void*>(imp), types, what);
}

void Process::exportLibObjc() {
  const std::string& lib = kLibObjc;
  imports.function(lib, "_objc_msgSend", [this](Cpu& cpu) {
    uint64_t receiver = cpu.x(0);
    if (receiver == 0) return answerNil(cpu);
    id object = nullptr;
    try {
      object = objects.toHost(receiver);
    } catch (const Error& e) {
      machine.fail("the message " + objects.selName(cpu.x(1)) + " sent to " + e.what());
    }
    dispatch(cpu, receiver, object, object_getClass(object));
  });
  imports.function(lib, "_objc_msgSendSuper", [this](Cpu& cpu) {
    uint64_t super = cpu.x(0);  // struct objc_super { id receiver; Class super_class; }
    uint64_t receiver = machine.load<uint64_t>(super);
    if (receiver == 0) return answerNil(cpu);
    Class start = objects.hostClass(machine.load<uint64_t>(super + 8));
    if (start == Nil) machine.fail("objc_msgSendSuper without a super_class");
    dispatch(cpu, receiver, objects.toHost(receiver), start);
  });
  imports.function(lib, "_sel_registerName", [this](Cpu& cpu) { cpu.setX(0, objects.sel(machine.cString(cpu.x(0)))); });
  imports.function(lib, "_objc_getClass", [this](Cpu& cpu) { cpu.setX(0, lookUpClass(machine.cString(cpu.x(0)))); });
  imports.function(lib, "_object_getClass", [this](Cpu& cpu) {
    cpu.setX(0, cpu.x(0) == 0 ? 0 : objects.toEmu(object_getClass(objects.toHost(cpu.x(0)))));
  });
  imports.function(lib, "_objc_allocateClassPair", [this](Cpu& cpu) {
    Class super = objects.hostClass(cpu.x(0));
    std::string name = machine.cString(cpu.x(1));
    cpu.setX(0, objects.toEmu(objc_allocateClassPair(super, name.c_str(), cpu.x(2))));
  });
  imports.function(lib, "_class_addIvar", [this](Cpu& cpu) {
    Class cls = objects.hostClass(cpu.x(0));
    std::string name = machine.cString(cpu.x(1)), types = machine.cString(cpu.x(4));
    abi::returnBool(cpu, class_addIvar(cls, name.c_str(), cpu.x(2), static_cast<uint8_t>(cpu.x(3)), types.c_str()));
  });
  imports.function(lib, "_class_addMethod", [this](Cpu& cpu) {
    Class cls = objects.hostClass(cpu.x(0));
    SEL selector = objects.hostSel(cpu.x(1));
    std::string types = machine.cString(cpu.x(3));
    std::string name = StandInObjects::describeMethod(cls, selector);
    // The runtime authenticates the implementation as a C function pointer as it stores it.
    IMP imp = reinterpret_cast<IMP>(bridge.toHost(cpu.x(2), types, name, StandInBridge::Check::OnHandOver,
                                                  "the implementation of " + name + " handed to class_addMethod"));
    abi::returnBool(cpu, class_addMethod(cls, selector, imp, types.c_str()));
  });
  imports.function(lib, "_objc_registerClassPair", [this](Cpu& cpu) { objc_registerClassPair(objects.hostClass(cpu.x(0))); });
  // An Ivar is handed out as an emulated token; ivar_getOffset answers the runtime's offset, at which
  // the field is kept in the object's handle.
  auto ivars = std::make_shared<std::map<uint64_t, Ivar>>();
  auto tokens = std::make_shared<std::map<Ivar, uint64_t>>();
  imports.function(lib, "_class_getInstanceVariable", [this, ivars, tokens](Cpu& cpu) {
    Class cls = objects.hostClass(cpu.x(0));
    Ivar ivar = cls == Nil ? nullptr : class_getInstanceVariable(cls, machine.cString(cpu.x(1)).c_str());
    if (ivar == nullptr) return cpu.setX(0, 0);
    objects.exposeIvar(cls, ivar);
    if (tokens->count(ivar) == 0) {
      uint64_t token = machine.allocate(16);
      (*tokens)[ivar] = token;
      (*ivars)[token] = ivar;
    }
    cpu.setX(0, (*tokens)[ivar]);
  });
  imports.function(lib, "_ivar_getOffset", [this, ivars](Cpu& cpu) {
    auto found = ivars->find(cpu.x(0));
    if (found == ivars->end()) machine.fail("ivar_getOffset of something that is not an Ivar");
    cpu.setX(0, static_cast<uint64_t>(ivar_getOffset(found->second)));
  });
  // A Method is an emulated token too, one per method of the runtime; nothing reads through it.
  auto methods = std::make_shared<std::map<Method, uint64_t>>();
  imports.function(lib, "_class_getInstanceMethod", [this, methods](Cpu& cpu) {
    Class cls = objects.hostClass(cpu.x(0));
    Method method = cls == Nil || cpu.x(1) == 0 ? nullptr : class_getInstanceMethod(cls, objects.hostSel(cpu.x(1)));
    if (method == nullptr) return cpu.setX(0, 0);
    uint64_t& token = (*methods)[method];
    if (token == 0) token = machine.allocate(16);
    cpu.setX(0, token);
  });
}

}  // namespace emu

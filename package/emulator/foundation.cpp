#include "foundation.h"

#include <cstdio>

#include "constant_string.h"
#include "host/corefoundation.h"
#include "host/device.h"
#include "host/objc.h"

namespace emu {
namespace {

id asHostId(CFTypeRef object) { return reinterpret_cast<id>(const_cast<void*>(object)); }

}  // namespace

Foundation::Foundation(Machine& machine, Imports& imports, ObjcRuntime& runtime)
    : machine_(machine), runtime_(runtime), table_(machine) {
  defineClasses();
  exportFunctions(imports);
}

Foundation::~Foundation() {
  for (const void* host : table_.hosts()) CFRelease(host);
}

uint64_t Foundation::classFor(CFTypeRef host) {
  CFTypeID type = CFGetTypeID(host);
  const char* name = type == CFStringGetTypeID()                                     ? "NSString"
                     : type == CFNumberGetTypeID() || type == CFBooleanGetTypeID()   ? "NSNumber"
                     : type == CFDictionaryGetTypeID()                               ? "NSDictionary"
                     : type == CFArrayGetTypeID()                                    ? "NSArray"
                     : type == CFURLGetTypeID()                                      ? "NSURL"
                     : type == CFDateGetTypeID()                                     ? "NSDate"
                     : type == CFDataGetTypeID()                                     ? "NSData"
                                                                                     : "NSObject";
  return runtime_.getClass(name);
}

uint64_t Foundation::toEmu(CFTypeRef host, Ownership ownership) {
  if (host == nullptr) return 0;
  uint64_t found = table_.find(host);
  if (found != 0 && runtime_.alive(found)) {
    if (ownership != Ownership::Borrowed) runtime_.retain(found);
    if (ownership == Ownership::Autoreleased) runtime_.autorelease(found);
    if (ownership != Ownership::Borrowed) CFRelease(host);  // the bridge already holds it
    return found;
  }
  if (ownership == Ownership::Borrowed) CFRetain(host);  // the bridge keeps every host object it hands out
  if (found != 0) {
    CFRelease(host);  // a dead handle's reference moves to the new one
    table_.detach(host);
  }
  uint64_t handle = table_.handleFor(host, classFor(host));
  runtime_.adopt(handle, ownership == Ownership::Borrowed ? 0 : 1, ownership != Ownership::Borrowed);
  if (ownership == Ownership::Autoreleased) runtime_.autorelease(handle);
  return handle;
}

CFTypeRef Foundation::constantString(uint64_t handle) {
  CFStringRef host = hostStringOfConstant(machine_, handle);
  table_.add(handle, host);
  return host;
}

CFTypeRef Foundation::toHost(uint64_t handle) {
  if (handle == 0) return nullptr;
  if (const void* found = table_.hostOf(handle)) {
    runtime_.checkAlive(handle, "use");
    return found;
  }
  // A CFSTR constant of a loaded image, met for the first time (its isa is signed on arm64e).
  if (machine_.strip(machine_.load<uint64_t>(handle)) == constantStringClass_) return constantString(handle);
  machine_.fail("not a CoreFoundation object: " + machine_.describe(handle));
}

uint64_t Foundation::string(const std::string& text) {
  return toEmu(host::cf::makeString(text), Ownership::Owned);
}

std::string Foundation::text(uint64_t stringHandle) {
  CFTypeRef host = toHost(stringHandle);
  if (host == nullptr || CFGetTypeID(host) != CFStringGetTypeID()) machine_.fail("expected a string");
  return host::cf::toStdString(host);
}

std::string Foundation::hostPath(const std::string& devicePath) const { return host::device::path(devicePath); }

void Foundation::defineClasses() {
  ObjcRuntime& rt = runtime_;
  for (const char* name : {"NSString", "NSNumber", "NSDictionary", "NSArray", "NSURL", "NSDate", "NSData"})
    rt.defineClass(name, "NSObject");
  // ___CFConstantStringClassReference: the class of every CFSTR constant.
  constantStringClass_ = rt.defineClass("__NSCFConstantString", "NSString");

  auto hostOf = [this](Cpu& cpu) { return asHostId(toHost(cpu.x(0))); };
  rt.classMethod("NSString", "stringWithUTF8String:", "@@:r*", [this](Cpu& cpu) {
    if (cpu.x(2) == 0) machine_.fail("+[NSString stringWithUTF8String:] with NULL (raises on the device)");
    cpu.setX(0, toEmu(host::cf::makeString(machine_.cString(cpu.x(2), 1 << 16)), Ownership::Autoreleased));
  });
  for (const char* cls : {"NSString", "NSNumber"}) {
    rt.method(cls, "boolValue", "B@:", [hostOf](Cpu& cpu) { returnBool(cpu, host::send<BOOL>(hostOf(cpu), "boolValue")); });
    rt.method(cls, "integerValue", "q@:", [hostOf](Cpu& cpu) {
      cpu.setX(0, static_cast<uint64_t>(host::send<long>(hostOf(cpu), "integerValue")));
    });
  }
  auto cString = [this](Cpu& cpu) { cpu.setX(0, machine_.allocateString(text(cpu.x(0)))); };
  rt.method("NSString", "UTF8String", "r*@:", cString);
  rt.method("NSString", "fileSystemRepresentation", "r*@:", cString);

  rt.classMethod("NSDictionary", "dictionary", "@@:", [this](Cpu& cpu) {
    cpu.setX(0, toEmu(CFDictionaryCreate(kCFAllocatorDefault, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                         &kCFTypeDictionaryValueCallBacks),
                      Ownership::Autoreleased));
  });
  // [[NSDictionary alloc] initWithContentsOfFile:]: the placeholder gives way to the dictionary read.
  rt.method("NSDictionary", "initWithContentsOfFile:", "@@:@", [this](Cpu& cpu) {
    uint64_t placeholder = cpu.x(0);
    CFPropertyListRef plist = host::cf::readPlistFile(hostPath(text(cpu.x(2))));
    runtime_.markDead(placeholder);
    if (plist != nullptr && CFGetTypeID(plist) != CFDictionaryGetTypeID()) {
      CFRelease(plist);
      plist = nullptr;
    }
    cpu.setX(0, toEmu(plist, Ownership::Owned));
  });
  rt.method("NSDictionary", "count", "Q@:", [this](Cpu& cpu) {
    cpu.setX(0, static_cast<uint64_t>(CFDictionaryGetCount(static_cast<CFDictionaryRef>(toHost(cpu.x(0))))));
  });
  rt.classMethod("NSArray", "arrayWithObjects:count:", "@@:^@Q", [this](Cpu& cpu) {
    std::vector<CFTypeRef> values;
    for (uint64_t i = 0; i < cpu.x(3); ++i) values.push_back(toHost(machine_.load<uint64_t>(cpu.x(2) + 8 * i)));
    cpu.setX(0, toEmu(CFArrayCreate(kCFAllocatorDefault, values.data(), static_cast<CFIndex>(values.size()),
                                    &kCFTypeArrayCallBacks),
                      Ownership::Autoreleased));
  });
  rt.classMethod("NSURL", "fileURLWithPath:", "@@:@", [this](Cpu& cpu) {
    CFStringRef path = static_cast<CFStringRef>(toHost(cpu.x(2)));
    if (path == nullptr) machine_.fail("+[NSURL fileURLWithPath:] with nil (raises on the device)");
    cpu.setX(0, toEmu(CFURLCreateWithFileSystemPath(kCFAllocatorDefault, path, kCFURLPOSIXPathStyle, false),
                      Ownership::Autoreleased));
  });
  rt.classMethod("NSURL", "URLWithString:", "@@:@", [this](Cpu& cpu) {
    CFStringRef text = static_cast<CFStringRef>(toHost(cpu.x(2)));
    CFURLRef url = text != nullptr ? CFURLCreateWithString(kCFAllocatorDefault, text, nullptr) : nullptr;
    cpu.setX(0, toEmu(url, Ownership::Autoreleased));
  });
}

void Foundation::exportFunctions(Imports& imports) {
  const std::string& cf = kCoreFoundation;
  uint64_t constants = machine_.allocate(8 * 4);
  imports.data(cf, "_kCFAllocatorDefault", constants);  // NULL: the default allocator
  auto constant = [&](int slot, const char* symbol, CFStringRef value) {
    uint64_t handle = toEmu(value, Ownership::Borrowed);
    runtime_.adopt(handle, 1 << 20, false);  // a process-lifetime constant
    machine_.store<uint64_t>(constants + 8 * slot, handle);
    imports.data(cf, symbol, constants + 8 * slot);
  };
  constant(1, "_kCFPreferencesAnyHost", kCFPreferencesAnyHost);
  constant(2, "_kCFPreferencesCurrentUser", kCFPreferencesCurrentUser);
  imports.data(cf, "___CFConstantStringClassReference", constantStringClass_);

  imports.function(cf, "_CFRelease", [this](Cpu& cpu) {
    if (cpu.x(0) == 0) machine_.fail("CFRelease(NULL) (crashes on the device)");
    toHost(cpu.x(0));
    if (runtime_.release(cpu.x(0))) runtime_.markDead(cpu.x(0));
  });
  imports.function(cf, "_CFRetain", [this](Cpu& cpu) {
    if (cpu.x(0) == 0) machine_.fail("CFRetain(NULL) (crashes on the device)");
    toHost(cpu.x(0));
    runtime_.retain(cpu.x(0));
  });
  imports.function(cf, "_CFGetTypeID", [this](Cpu& cpu) {
    if (cpu.x(0) == 0) machine_.fail("CFGetTypeID(NULL) (crashes on the device)");
    cpu.setX(0, CFGetTypeID(toHost(cpu.x(0))));
  });
  imports.function(cf, "_CFStringGetTypeID", [](Cpu& cpu) { cpu.setX(0, CFStringGetTypeID()); });
  imports.function(cf, "_CFNumberGetTypeID", [](Cpu& cpu) { cpu.setX(0, CFNumberGetTypeID()); });
  imports.function(cf, "_CFBooleanGetTypeID", [](Cpu& cpu) { cpu.setX(0, CFBooleanGetTypeID()); });
  imports.function(cf, "_CFDictionaryGetValue", [this](Cpu& cpu) {
    CFTypeRef dictionary = toHost(cpu.x(0));
    if (dictionary == nullptr || CFGetTypeID(dictionary) != CFDictionaryGetTypeID())
      machine_.fail("CFDictionaryGetValue on something that is not a dictionary");
    CFTypeRef value = CFDictionaryGetValue(static_cast<CFDictionaryRef>(dictionary), toHost(cpu.x(1)));
    cpu.setX(0, toEmu(value, Ownership::Borrowed));
  });
  imports.function(cf, "_CFStringCreateWithCString", [this](Cpu& cpu) {
    if (cpu.x(2) != kCFStringEncodingUTF8) machine_.fail("CFStringCreateWithCString with an encoding other than UTF-8");
    std::string text = machine_.cString(cpu.x(1), 1 << 16);
    cpu.setX(0, toEmu(host::cf::makeString(text), Ownership::Owned));
  });
  imports.function(cf, "_CFPreferencesCopyKeyList", [this](Cpu& cpu) {
    auto s = [&](int n) { return static_cast<CFStringRef>(toHost(cpu.x(n))); };
    cpu.setX(0, toEmu(CFPreferencesCopyKeyList(s(0), s(1), s(2)), Ownership::Owned));
  });
  imports.function(cf, "_CFPreferencesCopyMultiple", [this](Cpu& cpu) {
    auto s = [&](int n) { return static_cast<CFStringRef>(toHost(cpu.x(n))); };
    CFArrayRef keys = static_cast<CFArrayRef>(toHost(cpu.x(0)));
    cpu.setX(0, toEmu(CFPreferencesCopyMultiple(keys, s(1), s(2), s(3)), Ownership::Owned));
  });
  imports.function(kFoundation, "_NSClassFromString", [this](Cpu& cpu) {
    cpu.setX(0, cpu.x(0) == 0 ? 0 : runtime_.getClass(text(cpu.x(0))));
  });
}

}  // namespace emu

// The C APIs of the host-backed process: CoreFoundation, Darwin notifications, AudioToolbox and the
// hooking library go to the host's stand-ins through the bridge; libSystem's dynamic loader opens the
// host's libraries (libroot.dylib) from the device's folders and posix_spawn really starts the tool.
#include <AudioToolbox/AudioServices.h>
#include <CoreFoundation/CoreFoundation.h>
#include <dlfcn.h>
#include <spawn.h>
#include <substrate.h>

#include <cstring>
#include <filesystem>
#include <map>

#include "c_library.h"
#include "host/files.h"
#include "host_process.h"

namespace emu {
namespace {

template <typename F>
void* address(F* function) {
  return reinterpret_cast<void*>(function);
}


// What MSHookMessageEx leaves in *previous when it hooks nothing.
void notHooked() {}

}  // namespace

void HostProcess::exportServices() {
  // CoreFoundation objects cross as objects ('@'); the allocator is always the default (NULL).
  const struct {
    const std::string& library;
    const char* symbol;
    void* function;
    const char* types;
  } functions[] = {
      {kCoreFoundation, "_CFRelease", address(&CFRelease), "v@"},
      {kCoreFoundation, "_CFRetain", address(&CFRetain), "@@"},
      {kCoreFoundation, "_CFGetTypeID", address(&CFGetTypeID), "Q@"},
      {kCoreFoundation, "_CFStringGetTypeID", address(&CFStringGetTypeID), "Q"},
      {kCoreFoundation, "_CFNumberGetTypeID", address(&CFNumberGetTypeID), "Q"},
      {kCoreFoundation, "_CFBooleanGetTypeID", address(&CFBooleanGetTypeID), "Q"},
      {kCoreFoundation, "_CFDictionaryGetValue", address(&CFDictionaryGetValue), "@@@"},
      {kCoreFoundation, "_CFStringCreateWithCString", address(&CFStringCreateWithCString), "@^vr*I"},
      {kCoreFoundation, "_CFPreferencesCopyKeyList", address(&CFPreferencesCopyKeyList), "@@@@"},
      {kCoreFoundation, "_CFPreferencesCopyMultiple", address(&CFPreferencesCopyMultiple), "@@@@@"},
      {kCoreFoundation, "_CFNotificationCenterGetDarwinNotifyCenter",
       address(&CFNotificationCenterGetDarwinNotifyCenter), "@"},
      {kAudioToolbox, "_AudioServicesCreateSystemSoundID", address(&AudioServicesCreateSystemSoundID), "i@^I"},
      {kAudioToolbox, "_AudioServicesPlaySystemSound", address(&AudioServicesPlaySystemSound), "vI"},
      {kAudioToolbox, "_AudioServicesDisposeSystemSoundID", address(&AudioServicesDisposeSystemSoundID), "iI"},
  };
  for (const auto& f : functions) {
    std::string name = f.symbol + 1;
    void* function = f.function;
    std::string types = f.types;
    imports.function(f.library, f.symbol,
                     [this, function, types, name](Cpu& cpu) { bridge.callHost(cpu, function, types, name); });
  }

  uint64_t constants = machine.allocate(8 * 3);
  imports.data(kCoreFoundation, "_kCFAllocatorDefault", constants);  // NULL: the default allocator
  machine.store<uint64_t>(constants + 8, objects.toEmu(reinterpret_cast<id>(const_cast<__CFString*>(kCFPreferencesAnyHost))));
  imports.data(kCoreFoundation, "_kCFPreferencesAnyHost", constants + 8);
  machine.store<uint64_t>(constants + 16,
                          objects.toEmu(reinterpret_cast<id>(const_cast<__CFString*>(kCFPreferencesCurrentUser))));
  imports.data(kCoreFoundation, "_kCFPreferencesCurrentUser", constants + 16);

  // The observer and object pointers are the emulated code's own: they pass through the host as
  // plain words and come back to its callback unchanged. The centre keeps the callback as it came and
  // authenticates it (as a C function pointer) each time it calls it.
  imports.function(kCoreFoundation, "_CFNotificationCenterAddObserver", [this](Cpu& cpu) {
    auto center = reinterpret_cast<CFNotificationCenterRef>(objects.toHost(cpu.x(0)));
    std::string what = "the notification callback " + machine.describe(machine.strip(cpu.x(2)));
    auto callback = reinterpret_cast<CFNotificationCallback>(
        bridge.toHost(cpu.x(2), "v@Q@Q@", what, HostBridge::Check::OnEachCall, what));
    auto name = reinterpret_cast<CFStringRef>(objects.toHost(cpu.x(3)));
    CFNotificationCenterAddObserver(center, reinterpret_cast<const void*>(cpu.x(1)), callback, name,
                                    reinterpret_cast<const void*>(cpu.x(4)),
                                    static_cast<CFNotificationSuspensionBehavior>(cpu.x(5)));
  });

  // A hook's replacement runs as the hooked method, with its types; the previous implementation the
  // hooking library hands back is what the emulated code calls to run the original. The replacement
  // goes to the runtime, which authenticates it as a C function pointer; the original is written to
  // the slot signed as one (key IA, discriminator 0), which is how the system code's plain IMP
  // variables are read and called (BLRAAZ).
  imports.function(kSubstrate, "_MSHookMessageEx", [this](Cpu& cpu) {
    Class cls = objects.hostClass(cpu.x(0));
    SEL selector = objects.hostSel(cpu.x(1));
    uint64_t previousSlot = cpu.x(3);
    // A nil class or a selector the class cannot answer: undefined in ElleKit, an abort in Substitute.
    if (cls == Nil) machine.fail("MSHookMessageEx with a nil class (undefined in ElleKit, an abort in Substitute)");
    if (selector == nullptr) machine.fail("MSHookMessageEx without a selector");
    Method method = class_getInstanceMethod(cls, selector);
    if (method == nullptr)
      machine.fail("MSHookMessageEx for " + HostObjects::describeMethod(cls, selector) +
                   ", which the class does not answer (an abort in Substitute)");
    if (cpu.x(2) == 0) return;
    std::string types = method_getTypeEncoding(method);
    std::string name = HostObjects::describeMethod(cls, selector);
    IMP replacement = reinterpret_cast<IMP>(bridge.toHost(cpu.x(2), types, name + " (hook)", HostBridge::Check::OnHandOver,
                                                          "the replacement for " + name + " handed to MSHookMessageEx"));
    IMP previous = reinterpret_cast<IMP>(&notHooked);
    MSHookMessageEx(cls, selector, replacement, &previous);
    if (previousSlot != 0 && previous != reinterpret_cast<IMP>(&notHooked))
      machine.store<uint64_t>(previousSlot, bridge.toEmu(reinterpret_cast<void*>(previous), types, name + " (original)"));
  });
}

void HostProcess::exportLibSystem() {
  const std::string& lib = kLibSystem;
  exportCLibrary(machine, imports);

  // dlopen finds libraries in the device's folders: @rpath through the calling image's run paths,
  // @loader_path at its folder. What it opens is the host's own library there.
  auto libraries = std::make_shared<std::map<uint64_t, void*>>();
  imports.function(lib, "_dlopen", [this, libraries](Cpu& cpu) {
    std::string path = machine.cString(cpu.x(0));
    const LoadedImage* caller = imageAt(cpu.lr());
    for (const std::string& candidate : dlopenCandidates(path, caller)) {
      if (!host::files::isReadableRegular(candidate)) continue;
      void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (handle == nullptr) continue;
      uint64_t token = machine.allocate(16);
      (*libraries)[token] = handle;
      return cpu.setX(0, token);
    }
    cpu.setX(0, 0);
  });

  // dlsym hands out host functions whose types the bridge knows: libroot's.
  imports.function(lib, "_dlsym", [this, libraries](Cpu& cpu) {
    auto library = libraries->find(cpu.x(0));
    if (library == libraries->end()) machine.fail("dlsym on a handle dlopen did not give");
    std::string name = machine.cString(cpu.x(1));
    void* function = ::dlsym(library->second, name.c_str());
    if (function == nullptr) return cpu.setX(0, 0);
    if (name == "libroot_get_root_prefix" || name == "libroot_get_jbroot_prefix" || name == "libroot_get_boot_uuid")
      return cpu.setX(0, bridge.toEmu(function, "r*", name));
    if (name != "libroot_jbrootpath" && name != "libroot_rootfspath")
      machine.fail("dlsym(\"" + name + "\"): the emulated process does not know the type of this host function");
    // char* (const char* path, char* resolved): the answer is written into the caller's buffer (of
    // 1024 bytes, or a new one for NULL), and that buffer is the result.
    cpu.setX(0, bridge.toEmu(function, name, [this, function](Cpu& call) {
      using PathFunction = char* (*)(const char*, char*);
      std::string path = call.x(0) == 0 ? "" : machine.cString(call.x(0));
      char resolved[1024];
      char* answer = reinterpret_cast<PathFunction>(function)(call.x(0) == 0 ? nullptr : path.c_str(), resolved);
      uint64_t buffer = 0;
      if (answer != nullptr) {
        std::string text(answer);
        buffer = call.x(1) != 0 ? call.x(1) : machine.allocate(1024);
        machine.write(buffer, text.c_str(), std::min<size_t>(text.size() + 1, 1024));
      }
      abi::Bytes result(8);
      std::memcpy(result.data(), &buffer, 8);
      abi::writeResult(call, abi::parseSignature("*").result, result, 0);
    }));
  });

  auto imageNames = std::make_shared<std::map<const LoadedImage*, uint64_t>>();
  imports.function(lib, "_dladdr", [this, imageNames](Cpu& cpu) {
    const LoadedImage* image = imageAt(machine.strip(cpu.x(0)));  // a function's address comes signed
    if (image == nullptr) return cpu.setX(0, 0);
    uint64_t& name = (*imageNames)[image];
    if (name == 0) name = machine.allocateString(image->path);
    uint64_t info = cpu.x(1);  // Dl_info: fname, fbase, sname, saddr
    machine.store<uint64_t>(info, name);
    machine.store<uint64_t>(info + 8, image->base);
    machine.store<uint64_t>(info + 16, 0);
    machine.store<uint64_t>(info + 24, 0);
    cpu.setX(0, 1);
  });

  // The tool really starts, through the process's own posix_spawn (whoever watches it sees it).
  imports.function(lib, "_posix_spawn", [this](Cpu& cpu) {
    if (cpu.x(2) != 0 || cpu.x(3) != 0) machine.fail("posix_spawn with file actions or attributes: not modelled");
    std::string path = machine.cString(cpu.x(1));
    auto list = [this](uint64_t at, std::vector<std::string>& strings) {
      for (; at != 0; at += 8) {
        uint64_t item = machine.load<uint64_t>(at);
        if (item == 0) break;
        strings.push_back(machine.cString(item));
      }
    };
    std::vector<std::string> arguments, environment;
    list(cpu.x(4), arguments);
    list(cpu.x(5), environment);
    std::vector<char*> argv, envp;
    for (std::string& a : arguments) argv.push_back(a.data());
    for (std::string& e : environment) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    pid_t child = 0;
    int result = ::posix_spawn(&child, path.c_str(), nullptr, nullptr, argv.data(), cpu.x(5) == 0 ? nullptr : envp.data());
    if (result == 0 && cpu.x(0) != 0) machine.store<int32_t>(cpu.x(0), child);
    cpu.setX(0, abi::kUnspecifiedUpperBits | static_cast<uint32_t>(result));
  });
}

}  // namespace emu

// The frameworks of the emulated process: CoreFoundation (with Darwin notifications), Foundation's
// class lookup, AudioToolbox and the hooking library, each carried out by this process's stand-in
// through the bridge.
#include <AudioToolbox/AudioServices.h>
#include <CoreFoundation/CoreFoundation.h>
#include <substrate.h>

#include "host/corefoundation.h"
#include "process.h"

namespace emu {
namespace {

template <typename F>
void* address(F* function) {
  return reinterpret_cast<void*>(function);
}

// What MSHookMessageEx leaves in *previous when it hooks nothing.
void notHooked() {}

}  // namespace

void Process::exportFrameworks() {
  imports.function(kFoundation, "_NSClassFromString", [this](Cpu& cpu) {
    id name = objects.toHost(cpu.x(0));
    cpu.setX(0, name == nullptr ? 0 : lookUpClass(host::cf::toStdString(reinterpret_cast<CFTypeRef>(name))));
  });
  imports.data(kCoreFoundation, "___CFConstantStringClassReference", objects.constantStringClass());

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

  // The observer and object pointers are the emulated code's own: they pass through the stand-in as
  // plain words and come back to its callback unchanged. The centre keeps the callback as it came and
  // authenticates it (as a C function pointer) each time it calls it.
  imports.function(kCoreFoundation, "_CFNotificationCenterAddObserver", [this](Cpu& cpu) {
    auto center = reinterpret_cast<CFNotificationCenterRef>(objects.toHost(cpu.x(0)));
    std::string what = "the notification callback " + machine.describe(machine.strip(cpu.x(2)));
    auto callback = reinterpret_cast<CFNotificationCallback>(
        bridge.toHost(cpu.x(2), "v@Q@Q@", what, StandInBridge::Check::OnEachCall, what));
    auto name = reinterpret_cast<CFStringRef>(objects.toHost(cpu.x(3)));
    CFNotificationCenterAddObserver(center, reinterpret_cast<const void*>(cpu.x(1)), callback, name,
                                    reinterpret_cast<const void*>(cpu.x(4)),
                                    static_cast<CFNotificationSuspensionBehavior>(cpu.x(5)));
  });

  // A hook's replacement runs as the hooked method, with its types; the previous implementation the
  // hooking library hands back is what the emulated code calls to run the original, as that method:
  // with its selector as _cmd, or the run stops. The replacement goes to the runtime, which
  // authenticates it as a C function pointer; the original is written to the slot signed as one (key
  // IA, discriminator 0), which is how the system code's plain IMP variables are read and called
  // (BLRAAZ).
  imports.function(kSubstrate, "_MSHookMessageEx", [this](Cpu& cpu) {
    Class cls = objects.hostClass(cpu.x(0));
    SEL selector = objects.hostSel(cpu.x(1));
    uint64_t previousSlot = cpu.x(3);
    // A nil class or a selector the class cannot answer: undefined in ElleKit, an abort in Substitute.
    if (cls == Nil) machine.fail("MSHookMessageEx with a nil class (undefined in ElleKit, an abort in Substitute)");
    if (selector == nullptr) machine.fail("MSHookMessageEx without a selector");
    Method method = class_getInstanceMethod(cls, selector);
    if (method == nullptr)
      machine.fail("MSHookMessageEx for " + StandInObjects::describeMethod(cls, selector) +
                   ", which the class does not answer (an abort in Substitute)");
    if (cpu.x(2) == 0) return;
    std::string types = method_getTypeEncoding(method);
    std::string name = StandInObjects::describeMethod(cls, selector);
    IMP replacement = reinterpret_cast<IMP>(bridge.toHost(cpu.x(2), types, name + " (hook)", StandInBridge::Check::OnHandOver,
                                                          "the replacement for " + name + " handed to MSHookMessageEx"));
    IMP previous = reinterpret_cast<IMP>(&notHooked);
    MSHookMessageEx(cls, selector, replacement, &previous);
    if (previousSlot == 0 || previous == reinterpret_cast<IMP>(&notHooked)) return;
    void* original = reinterpret_cast<void*>(previous);
    if (bridge.emulatedFunctionOf(original) != 0)  // the code's own function, hooked again
      return machine.store<uint64_t>(previousSlot, bridge.toEmu(original, types, name + " (original)"));
    uint64_t hooked = cpu.x(1);
    machine.store<uint64_t>(previousSlot, bridge.toEmu(original, name + " (original)", [=, this](Cpu& call) {
      if (call.x(1) != hooked)
        machine.fail(name + " (original) called with _cmd " + objects.selName(call.x(1)) + ", not its own selector");
      bridge.callHost(call, original, types, name + " (original)");
    }));
  });
}

}  // namespace emu

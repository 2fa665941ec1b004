// The smaller services of the emulated process: Darwin notifications (registration; delivery by
// postDarwinNotification), the hooking library's MSHookMessageEx, and AudioToolbox's system sounds
// (recorded, never heard).
#include <map>

#include "process.h"

namespace emu {
void Process::exportNotifications() {
  darwinCenter_ = objc.createInstance(objc.defineClass("__CFNotificationCenter", "NSObject"));
  objc.adopt(darwinCenter_, 1 << 20, false);
  imports.function(kCoreFoundation, "_CFNotificationCenterGetDarwinNotifyCenter",
                   [this](Cpu& cpu) { cpu.setX(0, darwinCenter_); });
  imports.function(kCoreFoundation, "_CFNotificationCenterAddObserver", [this](Cpu& cpu) {
    if (cpu.x(0) != darwinCenter_) machine.fail("CFNotificationCenterAddObserver on an unknown centre");
    if (cpu.x(2) == 0) machine.fail("CFNotificationCenterAddObserver without a callback");
    // The Darwin centre needs a name; it ignores the object and always delivers immediately.
    if (cpu.x(3) == 0) machine.fail("a Darwin notification observer without a name (the device ignores it)");
    observers.push_back({cpu.x(0), cpu.x(1), cpu.x(2), cpu.x(4), foundation.text(cpu.x(3)),
                         static_cast<long>(cpu.x(5))});
  });
}

// MSHookMessageEx as the jailbreak's hooking libraries behave: a nil class or a class without the
// method (even inherited) stops the process (undefined in ElleKit, an abort in Substitute); a method
// the class only inherits
// is added to the class, with the inherited implementation as previous; a method it owns has its
// implementation replaced. The replacement goes to the runtime, which authenticates it as a C function
// pointer (key IA, discriminator 0); previous is the runtime's IMP, signed the same way.
void Process::exportSubstrate() {
  imports.function(kSubstrate, "_MSHookMessageEx", [this](Cpu& cpu) {
    uint64_t cls = cpu.x(0), selector = cpu.x(1), replacement = cpu.x(2), previousSlot = cpu.x(3);
    if (cls == 0) machine.fail("MSHookMessageEx with a nil class (undefined in ElleKit, an abort in Substitute)");
    if (!objc.isClass(cls)) machine.fail("MSHookMessageEx on something that is not a class");
    uint64_t previous = objc.lookup(cls, selector);
    if (previous == 0)
      machine.fail("MSHookMessageEx for " + objc.describeMethod(cls, selector) +
                   ", which the class does not answer (an abort in Substitute)");
    bool owned = objc.ownImp(cls, selector) != 0;
    machine.authenticateFunction(replacement, "the replacement for " + objc.describeMethod(cls, selector) +
                                                  " handed to MSHookMessageEx");
    objc.setOwnImp(cls, selector, replacement, "");
    if (previousSlot != 0) machine.store<uint64_t>(previousSlot, previous);
    hooks.push_back({objc.describeMethod(cls, selector), !owned});
  });
}

void Process::exportAudio() {
  auto sounds = std::make_shared<std::map<uint32_t, std::string>>();
  auto nextId = std::make_shared<uint32_t>(4096);
  imports.function(kAudioToolbox, "_AudioServicesCreateSystemSoundID", [this, sounds, nextId](Cpu& cpu) {
    CFTypeRef url = foundation.toHost(cpu.x(0));
    if (url == nullptr || CFGetTypeID(url) != CFURLGetTypeID()) machine.fail("AudioServicesCreateSystemSoundID without a URL");
    CFStringRef path = CFURLCopyFileSystemPath(static_cast<CFURLRef>(url), kCFURLPOSIXPathStyle);
    std::string text = foundation.text(foundation.toEmu(path, Foundation::Ownership::Autoreleased));
    uint32_t id = (*nextId)++;
    (*sounds)[id] = text;
    audio.push_back("create " + text);
    if (cpu.x(1) == 0) machine.fail("AudioServicesCreateSystemSoundID without an out pointer");
    machine.store<uint32_t>(cpu.x(1), id);
    cpu.setX(0, 0);
  });
  auto named = [sounds](uint64_t id) {
    auto it = sounds->find(static_cast<uint32_t>(id));
    return it == sounds->end() ? std::string("(none)") : it->second;
  };
  imports.function(kAudioToolbox, "_AudioServicesPlaySystemSound", [this, named](Cpu& cpu) {
    audio.push_back("play " + named(static_cast<uint32_t>(cpu.x(0))));
  });
  imports.function(kAudioToolbox, "_AudioServicesDisposeSystemSoundID", [this, named, sounds](Cpu& cpu) {
    audio.push_back("dispose " + named(static_cast<uint32_t>(cpu.x(0))));
    sounds->erase(static_cast<uint32_t>(cpu.x(0)));
    cpu.setX(0, 0);
  });
}

}  // namespace emu

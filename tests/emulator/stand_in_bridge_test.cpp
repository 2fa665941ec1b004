// The emulated process's bridge to the stand-ins: messages between emulated code and this process's
// runtime cross at Apple's arm64 calling convention, by the methods' type encodings, and what a correct
// caller or callee never reads is garbage, so a wrong cast cannot come out right by accident. In an
// arm64e process function pointers cross signed as C function pointers, and one the emulated code
// hands over unsigned stops the run, at the runtime as at the hooking library.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <initializer_list>

#include "host/objc.h"
#include "process.h"

struct Box {
  double x, y, width, height;
};
struct Span {
  long first, second, third;
};
template <>
struct host::TypeEncoding<Box> {
  static constexpr std::string_view value = "{Box=dddd}";
};
template <>
struct host::TypeEncoding<Span> {
  static constexpr std::string_view value = "{Span=qqq}";
};

namespace {

BOOL probeIsReady(id, SEL) { return YES; }
Box probeFrame(id, SEL) { return {1, 2, 3, 4}; }
double probeArea(id, SEL, Box box) { return box.width * box.height; }
Span probeShifted(id, SEL, Span span, long by) { return {span.first + by, span.second + by, span.third + by}; }
id probeEcho(id, SEL, id value) { return value; }
long probeFlag(id, SEL, bool flag) { return flag ? 1 : 0; }

Class probeClass() {
  static Class cls = host::ClassBuilder("BridgeProbe", "NSObject")
                         .ivar<id>("_held")
                         .method("isReady", &probeIsReady)
                         .method("frame", &probeFrame)
                         .method("area:", &probeArea)
                         .method("shifted:by:", &probeShifted)
                         .method("echo:", &probeEcho)
                         .method("flag:", &probeFlag)
                         .registerClass();
  return cls;
}

uint64_t bits(double value) {
  uint64_t b;
  std::memcpy(&b, &value, sizeof b);
  return b;
}

// d<n> = value, as a scalar write leaves the register.
void setD(emu::Cpu& cpu, int n, double value) { cpu.setV(n, bits(value)); }

class EmulatorBridge : public testing::Test {
 protected:
  explicit EmulatorBridge(emu::Architecture architecture = emu::Architecture::Arm64)
      : process({"Test", {}, architecture}) {
    process.setStopHandler([](const std::string& message) { throw emu::Error(message); });
    probe = host::send(probeClass(), "new");
  }
  ~EmulatorBridge() override { host::release(probe); }

  uint64_t trap(const char* library, const char* symbol) { return process.imports.find(library, symbol); }

  // Sends `selector` to `receiver` as emulated code does: objc_msgSend with the registers `load` sets.
  emu::Result send(uint64_t receiver, const char* selector, const std::function<void(emu::Cpu&)>& load = {}) {
    return process.machine.call(trap(emu::kLibObjc.c_str(), "_objc_msgSend"), [&](emu::Cpu& cpu, uint64_t) {
      cpu.setX(0, receiver);
      cpu.setX(1, process.objects.sel(selector));
      if (load) load(cpu);
    });
  }

  // Emulated machine code, for the host to call.
  uint64_t code(std::initializer_list<uint32_t> instructions) {
    uint64_t address = process.machine.allocate(0x1000, 0x1000);
    process.machine.write(address, instructions.begin(), instructions.size() * 4);
    process.machine.protect(address, 0x1000, emu::kRead | emu::kExecute);
    return address;
  }

  // class_addMethod(BridgeProbe, selector, the code, types), from the emulated side.
  void addMethod(const char* selector, uint64_t implementation, const char* types) {
    uint64_t typesString = process.machine.allocateString(types);
    process.machine.call(trap(emu::kLibObjc.c_str(), "_class_addMethod"),
                         {process.objects.toEmu(probeClass()), process.objects.sel(selector), implementation, typesString});
  }

  host::AutoreleasePool pool_;
  emu::Process process;
  id probe = nullptr;
};

constexpr uint32_t kRet = 0xd65f03c0;
constexpr uint32_t kMovX0X2 = 0xaa0203e0;
constexpr uint32_t kFaddD0D0D0 = 0x1e602800;

TEST_F(EmulatorBridge, ABoolResultIsDefinedOnlyInItsLow32BitsAndOtherResultRegistersAreGarbage) {
  uint64_t handle = process.objects.toEmu(probe);
  emu::Result r = send(handle, "isReady");
  EXPECT_EQ(r.x0 & 0xffffffff, 1u);
  EXPECT_EQ(r.x0 >> 32, 0xa5a5a5a5u) << "a caller that reads the BOOL as a long must get garbage";
  EXPECT_EQ(r.x1, emu::abi::kPoisonX);
  EXPECT_EQ(bits(r.d[0]), emu::abi::kPoisonV);
}

TEST_F(EmulatorBridge, AFourDoubleAggregateTravelsInD0ToD3BothWays) {
  uint64_t handle = process.objects.toEmu(probe);
  emu::Result frame = send(handle, "frame");
  EXPECT_EQ((std::vector<double>{frame.d[0], frame.d[1], frame.d[2], frame.d[3]}), (std::vector<double>{1, 2, 3, 4}));
  emu::Result area = send(handle, "area:", [](emu::Cpu& cpu) {
    for (int n = 0; n < 4; ++n) setD(cpu, n, n + 1.0);
    cpu.setX(2, 0);  // a caller passing the rect in memory would point here
  });
  EXPECT_EQ(area.d[0], 12.0);
}

TEST_F(EmulatorBridge, ALargeStructGoesByReferenceAndComesBackAtX8) {
  uint64_t handle = process.objects.toEmu(probe);
  uint64_t argument = process.machine.allocate(sizeof(Span)), result = process.machine.allocate(sizeof(Span));
  process.machine.store(argument, Span{1, 2, 3});
  send(handle, "shifted:by:", [&](emu::Cpu& cpu) {
    cpu.setX(2, argument);
    cpu.setX(3, 5);
    cpu.setX(8, result);
  });
  Span shifted = process.machine.load<Span>(result);
  EXPECT_EQ((std::vector<long>{shifted.first, shifted.second, shifted.third}), (std::vector<long>{6, 7, 8}));
}

TEST_F(EmulatorBridge, ABoolArgumentThatIsNeitherYesNorNoStopsNamingTheMethod) {
  uint64_t handle = process.objects.toEmu(probe);
  EXPECT_EQ(send(handle, "flag:", [](emu::Cpu& cpu) { cpu.setX(2, 0xffffffff00000001); }).x0 & 0xffffffff, 1u);
  try {
    send(handle, "flag:", [](emu::Cpu& cpu) { cpu.setX(2, 2); });
    FAIL() << "a BOOL of 2 was taken";
  } catch (const emu::Error& e) {
    EXPECT_NE(std::string(e.what()).find("-[BridgeProbe flag:]: argument 2 (B) in x2 is neither YES nor NO"),
              std::string::npos)
        << e.what();
  }
}

TEST_F(EmulatorBridge, AMessageNobodyImplementsStopsNamingClassAndSelector) {
  uint64_t handle = process.objects.toEmu(probe);
  try {
    send(handle, "missing");
    FAIL() << "the message was answered";
  } catch (const emu::Error& e) {
    EXPECT_NE(std::string(e.what()).find("unrecognized selector sent to instance: -[BridgeProbe missing]"),
              std::string::npos)
        << e.what();
  }
}

TEST_F(EmulatorBridge, AnObjectKeepsOneHandleAndTheHandleOfADeadObjectStops) {
  uint64_t handle = process.objects.toEmu(probe);
  id other = host::send(probeClass(), "new");
  uint64_t otherHandle = process.objects.toEmu(other);
  EXPECT_EQ(send(handle, "echo:", [&](emu::Cpu& cpu) { cpu.setX(2, otherHandle); }).x0, otherHandle);
  host::release(other);
  EXPECT_THROW(send(otherHandle, "isReady"), emu::Error);
}

TEST_F(EmulatorBridge, TheHostCallsMethodsTheEmulatedCodeAddsAtTheirTypes) {
  uint64_t handle = process.objects.toEmu(probe);
  addMethod("twice:", code({kFaddD0D0D0, kRet}), "d@:d");
  EXPECT_EQ(host::send<double>(probe, "twice:", 1.5), 3.0);
  // The BOOL argument is defined in its low 32 bits only: the callee that reads all 64 gets garbage.
  addMethod("flagBits:", code({kMovX0X2, kRet}), "q@:B");
  EXPECT_EQ(static_cast<uint64_t>(host::send<long>(probe, "flagBits:", true)), 0xa5a5a5a500000001);
  // A message from the emulated code to its own method goes straight to it.
  EXPECT_EQ(send(handle, "twice:", [](emu::Cpu& cpu) { setD(cpu, 0, 4); }).d[0], 8.0);
}

TEST_F(EmulatorBridge, AFieldTheEmulatedCodeWritesIsTheHostObjectsField) {
  emu::Machine& m = process.machine;
  uint64_t ivar = m.call(trap(emu::kLibObjc.c_str(), "_class_getInstanceVariable"),
                         {process.objects.toEmu(probeClass()), m.allocateString("_held")}).x0;
  ASSERT_NE(ivar, 0u);
  uint64_t offset = m.call(trap(emu::kLibObjc.c_str(), "_ivar_getOffset"), {ivar}).x0;
  // str x2, [x0, #offset]
  addMethod("hold:", code({0xf9000002u | static_cast<uint32_t>(offset / 8) << 10, kRet}), "v@:@");
  id held = host::send(probeClass(), "new");
  id fresh = host::send(probeClass(), "new");
  host::send<void>(fresh, "hold:", held);
  EXPECT_EQ(host::ivarRef<id>(fresh, "_held"), held);
  host::release(fresh);
  host::release(held);
}

class EmulatorBridgeArm64e : public EmulatorBridge {
 protected:
  EmulatorBridgeArm64e() : EmulatorBridge(emu::Architecture::Arm64e) {}
};

TEST_F(EmulatorBridgeArm64e, TheRuntimeAndTheHookingLibraryTakeOnlyImplementationsSignedAsFunctionPointers) {
  using testing::AllOf;
  using testing::HasSubstr;
  using testing::StartsWith;
  using testing::ThrowsMessage;
  emu::Machine& m = process.machine;
  uint64_t twice = code({kFaddD0D0D0, kRet});
  EXPECT_THAT([&] { addMethod("twice:", twice, "d@:d"); },
              ThrowsMessage<emu::Error>(
                  AllOf(StartsWith("pointer authentication failed at "),
                        HasSubstr(": the implementation of -[BridgeProbe twice:] handed to class_addMethod is unsigned"))));
  EXPECT_THAT([&] { addMethod("twice:", m.sign(twice, emu::PacKey::IB, 0), "d@:d"); },
              ThrowsMessage<emu::Error>(HasSubstr("is not signed with key IA and discriminator 0")));
  addMethod("twice:", m.signFunction(twice), "d@:d");
  EXPECT_EQ(host::send<double>(probe, "twice:", 1.5), 3.0);

  // The hooking library hands the replacement to the runtime: refused alike, and previous is left alone.
  Class refusing = host::ClassBuilder("BridgeRefusing", "NSObject").method("isReady", &probeIsReady).registerClass();
  uint64_t previous = m.allocate(8);
  auto hook = [&](uint64_t replacement) {
    m.call(trap(emu::kSubstrate.c_str(), "_MSHookMessageEx"),
           {process.objects.toEmu(refusing), process.objects.sel("isReady"), replacement, previous});
  };
  uint64_t replacement = code({0x52800000, kRet});  // mov w0, #0
  EXPECT_THAT([&] { hook(replacement); },
              ThrowsMessage<emu::Error>(HasSubstr(
                  ": the replacement for -[BridgeRefusing isReady] handed to MSHookMessageEx is unsigned")));
  EXPECT_THAT([&] { hook(m.sign(replacement, emu::PacKey::IB, 0)); },
              ThrowsMessage<emu::Error>(HasSubstr("is not signed with key IA and discriminator 0")));
  EXPECT_EQ(m.load<uint64_t>(previous), 0u);
  id instance = host::send(refusing, "new");
  EXPECT_TRUE(host::send<BOOL>(instance, "isReady")) << "nothing was hooked";
  host::release(instance);
}

TEST_F(EmulatorBridgeArm64e, AHooksOriginalComesSignedAsAFunctionPointerAndRunsTheHostMethod) {
  emu::Machine& m = process.machine;
  Class hooked = host::ClassBuilder("BridgeHooked", "NSObject").method("isReady", &probeIsReady).registerClass();
  uint64_t previous = m.allocate(8);
  uint64_t replacement = m.signFunction(code({0x52800000, kRet}));  // mov w0, #0
  m.call(trap(emu::kSubstrate.c_str(), "_MSHookMessageEx"),
         {process.objects.toEmu(hooked), process.objects.sel("isReady"), replacement, previous});
  uint64_t original = m.load<uint64_t>(previous);
  ASSERT_TRUE(m.authenticate(original, emu::PacKey::IA, 0)) << "the original is signed with key IA, discriminator 0";
  EXPECT_NE(m.strip(original), original);
  // The system code calls it as a C function pointer: BRAAZ, here with self and _cmd in place.
  id instance = host::send(hooked, "new");
  emu::Result r = m.call(code({0xd61f085f}), {process.objects.toEmu(instance), process.objects.sel("isReady"), original});
  EXPECT_EQ(r.x0 & 0xffffffff, 1u);
  EXPECT_FALSE(host::send<BOOL>(instance, "isReady")) << "the host's sends reach the replacement";
  // Called as another method (a wrapper passing on the wrong _cmd), the original stops the run.
  EXPECT_THAT([&] { m.call(code({0xd61f085f}), {process.objects.toEmu(instance), process.objects.sel("isBusy"), original}); },
              testing::ThrowsMessage<emu::Error>(
                  testing::HasSubstr("-[BridgeHooked isReady] (original) called with _cmd isBusy, not its own selector")));
  host::release(instance);
}

}  // namespace

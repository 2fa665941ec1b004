// Ravelo.dylib's arm64 and arm64e bytes in SpringBoard, under emulation on the stand-ins. The shipped
// scenarios run every hook, preview and reading on both slices and compare the transcript with the
// host build's (tests/sim/device_binaries_test.cpp); what they cannot show is here.
#include <climits>

#include "emulated_device.h"
#include "hooks/springboard_process.h"
#include "host/objc.h"
#include "host/springboard.h"

namespace {

using namespace hooks_testing;
namespace sb = host::springboard;

// Each case runs on each slice of the tweak: arm64 in an A11-like process, arm64e in an A12-like one
// with pointer authentication enforced.
class EmulatedTweak : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_DEVICE_BUILD();
    std::string missing = emulated::missingSliceReason(device::kTweak, GetParam());
    if (!missing.empty()) GTEST_SKIP() << missing;
  }
};

// From iOS 17 the wrapper of iconTapped:modifierFlags: hands SpringBoard's original all 64 bits of the
// flags (a long long in x3); the scenarios' taps only ever carry 0.
TEST_P(EmulatedTweak, TheIconTapOfIos17GetsAll64BitsOfItsFlagsThroughTheWrapper) {
  emulated::inEmulatedProcess(GetParam(), "SpringBoard", [] {
    SpringBoard springBoard({}, 17, device::outputOf(device::kTweak));
    springBoard.turnOn({"IconSound"});
    springBoard.loadTweak();
    for (long long flags : {0x0123456789abcdefLL, -(1LL << 62), LLONG_MIN + 1}) {
      host::send<void>(sb::iconManager(), "iconTapped:modifierFlags:", sb::iconView(), flags);
      EXPECT_EQ(sb::lastModifierFlags(), flags);
    }
    EXPECT_EQ(springBoard.heard(), Heard(3, kIconTapFile));
  });
}

INSTANTIATE_TEST_SUITE_P(Slices, EmulatedTweak, testing::ValuesIn(emulated::kSliceNames), emulated::sliceTestName);

}  // namespace

// Stored values of every property-list type: each is read as Foundation reads it, or as absent, and
// none may take SpringBoard down.
#include <gtest/gtest.h>

#include "support/fresh_process.h"
#include "tweak/device_fixture.h"

using testing_support::inFreshProcess;
using tweak_testing::Device;
using Calls = std::vector<std::string>;

namespace {

struct Case {
  const char* name;
  const char* plist;  // the value as property-list XML
  const char* heard;  // what the preview of a change from entry 10 to this value plays
};

// What a sound key's reading turns into, seen through the preview of a change away from entry 10.
const Case kSoundCases[] = {
    {"Integer", "<integer>12</integer>", "play Smooth1.m4a"},
    {"NegativeInteger", "<integer>-3</integer>", "play BubbleAppear-mono.m4a"},          // clamped to entry 1
    {"HugeInteger", "<integer>1099511627788</integer>", "play Smooth1.m4a"},         // 2^40 + 12, truncated to 32 bits
    {"IntegerAboveRange", "<integer>46</integer>", "play T2-based_Mac_Startup.m4a"},       // clamped to entry 45
    {"Real", "<real>13.9</real>", "play Smooth2.m4a"},                        // truncated toward zero
    {"NegativeReal", "<real>-0.5</real>", "play BubbleAppear-mono.m4a"},
    {"True", "<true/>", "play BubbleAppear-mono.m4a"},
    {"False", "<false/>", "play BubbleAppear-mono.m4a"},
    {"NumericString", "<string>  +0014xyz</string>", "play Unlock-Water.m4a"},
    {"NonNumericString", "<string>abc</string>", "play BubbleAppear-mono.m4a"},
    {"EmptyString", "<string></string>", "play BubbleAppear-mono.m4a"},
    {"OverflowingString", "<string>99999999999999999999</string>", "play (silent)"},      // saturates, then 32 bits: -1
    {"Array", "<array><integer>12</integer></array>", "play iOSScreenOff-mono.m4a"},  // absent: the default
    {"Dictionary", "<dict><key>a</key><integer>12</integer></dict>", "play iOSScreenOff-mono.m4a"},
    {"Date", "<date>2026-01-01T00:00:00Z</date>", "play iOSScreenOff-mono.m4a"},
    {"Data", "<data>AAEC</data>", "play iOSScreenOff-mono.m4a"},
    // A keyed archive's UID (its XML form): its own type, never the number it holds.
    {"KeyedArchiverUID", "<dict><key>CF$UID</key><integer>12</integer></dict>", "play iOSScreenOff-mono.m4a"},
};

class SoundValueReading : public testing::TestWithParam<Case> {};

TEST_P(SoundValueReading, IsReadAsFoundationReadsIt) {
  const Case& c = GetParam();
  inFreshProcess([&] {
    Device device;
    device.writeDomain("<key>enabled</key><true/><key>iconTapSound</key><integer>10</integer>");
    device.loadTweak();
    device.writeDomain(std::string("<key>enabled</key><true/><key>iconTapSound</key>") + c.plist);
    device.notifyChanged();
    Calls calls = device.audioCalls();
    ASSERT_FALSE(calls.empty()) << c.plist;
    EXPECT_EQ(calls.back(), c.heard) << c.plist;
  });
}

INSTANTIATE_TEST_SUITE_P(EveryType, SoundValueReading, testing::ValuesIn(kSoundCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct SwitchCase {
  const char* name;
  const char* plist;
  bool on;
};

const SwitchCase kSwitchCases[] = {
    {"True", "<true/>", true},
    {"False", "<false/>", false},
    {"One", "<integer>1</integer>", true},
    {"Zero", "<integer>0</integer>", false},
    {"NegativeInteger", "<integer>-7</integer>", true},
    {"Half", "<real>0.5</real>", true},  // any non-zero number
    {"RealZero", "<real>0.0</real>", false},
    {"StringYES", "<string>YES</string>", true},
    {"StringSignedZeros", "<string>  -0009</string>", true},
    {"StringT", "<string>t</string>", true},
    {"StringNo", "<string>no</string>", false},
    {"StringZero", "<string>0</string>", false},
    {"EmptyString", "<string></string>", false},
    {"Array", "<array><true/></array>", false},
    {"Dictionary", "<dict><key>enabled</key><true/></dict>", false},
    {"Date", "<date>2026-01-01T00:00:00Z</date>", false},
    {"Data", "<data>AQ==</data>", false},
};

class SwitchValueReading : public testing::TestWithParam<SwitchCase> {};

// The master switch's reading decides whether a preview plays.
TEST_P(SwitchValueReading, IsReadAsFoundationReadsIt) {
  const SwitchCase& c = GetParam();
  inFreshProcess([&] {
    Device device;
    device.writeDomain(std::string("<key>enabled</key>") + c.plist + "<key>lockSound</key><integer>10</integer>");
    device.loadTweak();
    device.writeDomain(std::string("<key>enabled</key>") + c.plist + "<key>lockSound</key><integer>11</integer>");
    device.notifyChanged();
    Calls expected;
    if (c.on) expected = {"dispose (none)", "create SelectionDirectionChange-mono.m4a", "play SelectionDirectionChange-mono.m4a"};
    EXPECT_EQ(device.audioCalls(), expected) << c.plist;
  });
}

INSTANTIATE_TEST_SUITE_P(EveryType, SwitchValueReading, testing::ValuesIn(kSwitchCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

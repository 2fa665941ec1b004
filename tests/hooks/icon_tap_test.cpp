// The icon tap on each iOS version: SpringBoard taps through iconTapped: up to iOS 16 and through
// iconTapped:modifierFlags: from 17 (iconTapped: then only for VoiceOver). One sound per tap, also on a
// SpringBoard where one selector sends the other or both arrive for one tap.
#include <gtest/gtest.h>

#include "hooks/springboard_process.h"
#include "host/objc.h"
#include "host/springboard.h"
#include "support/fresh_process.h"

using namespace hooks_testing;
using testing_support::inFreshProcess;
namespace sb = host::springboard;

namespace {

id newIconView() { return host::send(host::send(objc_getClass("SBIconView"), "alloc"), "init"); }

class IconTapOnEachVersion : public testing::TestWithParam<int> {};

TEST_P(IconTapOnEachVersion, EachTapOpensTheAppAndPlaysOnceAndVoiceOversActivationToo) {
  inFreshProcess([] {
    SpringBoard springBoard({}, GetParam());
    springBoard.turnOn({"IconSound"});
    springBoard.loadTweak();
    id other = newIconView();
    sb::tapIcon();
    sb::tapIcon();
    sb::tapIcon(other);
    host::send<void>(sb::iconManager(), "iconTapped:", sb::iconView());  // VoiceOver activates an icon
    EXPECT_EQ(sb::appsOpened(), 4);
    EXPECT_EQ(springBoard.heard(), Heard(4, kIconTapFile));
    EXPECT_TRUE(springBoard.traced({"SpringBoard: the icon manager got"}).empty());
    host::release(other);
  });
}

INSTANTIATE_TEST_SUITE_P(IconTap, IconTapOnEachVersion, testing::Values(15, 16, 17, 18),
                         [](const testing::TestParamInfo<int>& info) { return "iOS" + std::to_string(info.param); });

TEST(IconTap, FromIOS17TheModifierFlagsReachTheManagerAsSent) {
  inFreshProcess([] {
    SpringBoard springBoard({}, 17);
    springBoard.turnOn({"IconSound"});
    springBoard.loadTweak();
    for (long long flags : {0x0123456789abcdefLL, -(1LL << 62), 0LL}) {
      host::send<void>(sb::iconManager(), "iconTapped:modifierFlags:", sb::iconView(), flags);
      EXPECT_EQ(sb::lastModifierFlags(), flags);
    }
    EXPECT_EQ(springBoard.heard(), Heard(3, kIconTapFile));
  });
}

// ---- SpringBoards that reach the manager twice for one tap ----------------------------------------

void replace(const char* className, const char* selector, IMP imp, const char* types) {
  class_replaceMethod(objc_getClass(className), host::sel(selector), imp, types);
}

void flagsThenIconTapped(id self, SEL, id icon, long long) { host::send<void>(self, "iconTapped:", icon); }
void iconTappedThenFlags(id self, SEL, id icon) { host::send<void>(self, "iconTapped:modifierFlags:", icon, 0LL); }
void viewSendsBoth(id self, SEL, long long flags) {
  id delegate = host::send(self, "delegate");
  host::send<void>(delegate, "iconTapped:modifierFlags:", self, flags);
  host::send<void>(delegate, "iconTapped:", self);
}
void viewSendsBothReversed(id self, SEL, long long flags) {
  id delegate = host::send(self, "delegate");
  host::send<void>(delegate, "iconTapped:", self);
  host::send<void>(delegate, "iconTapped:modifierFlags:", self, flags);
}

struct Variant {
  const char* name;
  const char* className;
  const char* selector;
  IMP imp;
  const char* types;
};

void PrintTo(const Variant& variant, std::ostream* out) { *out << variant.name; }

class IconTapVariants : public testing::TestWithParam<Variant> {};

TEST_P(IconTapVariants, EveryTapStillPlaysExactlyOnce) {
  inFreshProcess([] {
    const Variant& variant = GetParam();
    SpringBoard springBoard({}, 17);
    springBoard.turnOn({"IconSound"});
    replace(variant.className, variant.selector, variant.imp, variant.types);
    springBoard.loadTweak();
    id other = newIconView();
    sb::tapIcon();
    EXPECT_EQ(springBoard.heard(), Heard{kIconTapFile});
    sb::tapIcon();
    sb::tapIcon(other);
    host::send<void>(sb::iconManager(), "iconTapped:", sb::iconView());  // VoiceOver
    EXPECT_EQ(springBoard.heard(), Heard(4, kIconTapFile));
    host::release(other);
  });
}

INSTANTIATE_TEST_SUITE_P(
    IconTap, IconTapVariants,
    testing::Values(Variant{"FlagsMethodSendsIconTapped", "SBHIconManager", "iconTapped:modifierFlags:",
                            reinterpret_cast<IMP>(&flagsThenIconTapped), "v@:@q"},
                    Variant{"IconTappedSendsTheFlagsMethod", "SBHIconManager", "iconTapped:",
                            reinterpret_cast<IMP>(&iconTappedThenFlags), "v@:@"},
                    Variant{"ViewSendsBoth", "SBIconView", "_handleTapWithModifierFlags:",
                            reinterpret_cast<IMP>(&viewSendsBoth), "v@:q"},
                    Variant{"ViewSendsBothIconTappedFirst", "SBIconView", "_handleTapWithModifierFlags:",
                            reinterpret_cast<IMP>(&viewSendsBothReversed), "v@:q"}),
    [](const testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

}  // namespace

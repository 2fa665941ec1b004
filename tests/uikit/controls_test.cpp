#include <gtest/gtest.h>

#include "common/objc_msg.h"
#include "host/objc.h"
#include "host/uikit.h"

namespace {

using host::uikit::UIControlEventTouchUpInside;
using host::uikit::UIControlEventValueChanged;

// Records the actions it receives, with their sender.
struct Received {
  int count = 0;
  id sender = nullptr;
};
void recordAction(id self, SEL, id sender) {
  Received*& log = host::ivarRef<Received*>(self, "_log");
  log->count++;
  log->sender = sender;
}
Class receiverClass() {
  static Class cls = host::ClassBuilder("ControlsTestReceiver", "NSObject")
                         .ivar<Received*>("_log")
                         .method("changed:", &recordAction)
                         .method("tapped:", &recordAction)
                         .registerClass();
  return cls;
}
id newReceiver(Received* log) {
  id r = host::send(reinterpret_cast<id>(receiverClass()), "new");
  host::ivarRef<Received*>(r, "_log") = log;
  return r;
}
id newOf(const char* className) {
  return host::send(host::send(reinterpret_cast<id>(host::requireClass(className)), "alloc"), "initWithFrame:",
                    CGRectMake(0, 0, 100, 40));
}

TEST(Controls, SendActionsReachesEachTargetRegisteredForAMatchingEvent) {
  Received changed, tapped;
  id onChange = newReceiver(&changed);
  id onTap = newReceiver(&tapped);
  id control = newOf("UISwitch");
  rv::msg<void>(control, RV_SEL("addTarget:action:forControlEvents:"), onChange, RV_SEL("changed:"),
                static_cast<unsigned long>(UIControlEventValueChanged));
  rv::msg<void>(control, RV_SEL("addTarget:action:forControlEvents:"), onTap, RV_SEL("tapped:"),
                static_cast<unsigned long>(UIControlEventTouchUpInside));

  rv::msg<void>(control, RV_SEL("sendActionsForControlEvents:"), static_cast<unsigned long>(UIControlEventValueChanged));
  EXPECT_EQ(changed.count, 1);
  EXPECT_EQ(changed.sender, control);
  EXPECT_EQ(tapped.count, 0);

  rv::msg<void>(control, RV_SEL("sendActionsForControlEvents:"),
                static_cast<unsigned long>(UIControlEventValueChanged | UIControlEventTouchUpInside));
  EXPECT_EQ(changed.count, 2);
  EXPECT_EQ(tapped.count, 1);
  host::release(control);
  host::release(onChange);
  host::release(onTap);
}

TEST(Controls, RemovedTargetsNoLongerReceiveActions) {
  Received changed;
  id target = newReceiver(&changed);
  id control = newOf("UISlider");
  rv::msg<void>(control, RV_SEL("addTarget:action:forControlEvents:"), target, RV_SEL("changed:"),
                static_cast<unsigned long>(UIControlEventValueChanged));
  rv::msg<void>(control, RV_SEL("removeTarget:action:forControlEvents:"), target, RV_SEL("changed:"),
                static_cast<unsigned long>(UIControlEventValueChanged));
  rv::msg<void>(control, RV_SEL("sendActionsForControlEvents:"), static_cast<unsigned long>(UIControlEventValueChanged));
  EXPECT_EQ(changed.count, 0);
  host::release(control);
  host::release(target);
}

TEST(Controls, ASwitchIsAControlAndASliderIsNotASwitch) {
  id sw = newOf("UISwitch");
  id slider = newOf("UISlider");
  Class switchClass = objc_getClass("UISwitch");
  Class controlClass = objc_getClass("UIControl");
  EXPECT_TRUE(rv::isYes(rv::msg<BOOL>(sw, RV_SEL("isKindOfClass:"), controlClass)));
  EXPECT_TRUE(rv::isYes(rv::msg<BOOL>(slider, RV_SEL("isKindOfClass:"), controlClass)));
  EXPECT_FALSE(rv::isYes(rv::msg<BOOL>(slider, RV_SEL("isKindOfClass:"), switchClass)));
  EXPECT_TRUE(rv::isYes(rv::msg<BOOL>(objc_getClass("UIControl"), RV_SEL("isSubclassOfClass:"), objc_getClass("UIView"))));
  host::release(sw);
  host::release(slider);
}

TEST(Switches, StartOffAndKeepTheStateAndOnTintTheyAreGiven) {
  host::AutoreleasePool pool;
  id sw = newOf("UISwitch");
  EXPECT_FALSE(rv::isYes(rv::msg<BOOL>(sw, RV_SEL("isOn"))));
  EXPECT_TRUE(rv::isYes(rv::msg<BOOL>(sw, RV_SEL("isEnabled"))));
  rv::msg<void>(sw, RV_SEL("setOn:animated:"), static_cast<BOOL>(YES), static_cast<BOOL>(NO));
  EXPECT_TRUE(rv::isYes(rv::msg<BOOL>(sw, RV_SEL("isOn"))));
  rv::msg<void>(sw, RV_SEL("setOn:"), static_cast<BOOL>(NO));
  EXPECT_FALSE(rv::isYes(rv::msg<BOOL>(sw, RV_SEL("isOn"))));

  EXPECT_EQ(rv::msg(sw, RV_SEL("onTintColor")), nullptr);
  id tint = rv::msg(objc_getClass("UIColor"), RV_SEL("colorWithRed:green:blue:alpha:"), 0.796, 0.855, 0.91, 1.0);
  rv::msg<void>(sw, RV_SEL("setOnTintColor:"), tint);
  EXPECT_EQ(host::uikit::components(rv::msg(sw, RV_SEL("onTintColor"))), (host::uikit::RGBA{0.796, 0.855, 0.91, 1.0}));
  host::release(sw);
}

TEST(Switches, ATapFlipsTheSwitchBeforeItsActionsRun) {
  static bool seenOn;
  struct Probe {
    static void changed(id, SEL, id sender) { seenOn = rv::isYes(rv::msg<BOOL>(sender, RV_SEL("isOn"))); }
  };
  static Class probe = host::ClassBuilder("ControlsTestSwitchProbe", "NSObject")
                           .method("changed:", &Probe::changed)
                           .registerClass();
  id target = host::send(reinterpret_cast<id>(probe), "new");
  id sw = newOf("UISwitch");
  rv::msg<void>(sw, RV_SEL("addTarget:action:forControlEvents:"), target, RV_SEL("changed:"),
                static_cast<unsigned long>(UIControlEventValueChanged));
  seenOn = false;
  host::uikit::tapSwitch(sw);
  EXPECT_TRUE(seenOn);
  EXPECT_TRUE(rv::isYes(rv::msg<BOOL>(sw, RV_SEL("isOn"))));
  host::uikit::tapSwitch(sw);
  EXPECT_FALSE(seenOn);
  host::release(sw);
  host::release(target);
}

TEST(Switches, ADisabledSwitchIgnoresTaps) {
  id sw = newOf("UISwitch");
  rv::msg<void>(sw, RV_SEL("setEnabled:"), static_cast<BOOL>(NO));
  host::uikit::tapSwitch(sw);
  EXPECT_FALSE(rv::isYes(rv::msg<BOOL>(sw, RV_SEL("isOn"))));
  host::release(sw);
}

TEST(Sliders, KeepTheirValueWithinTheirRange) {
  id slider = newOf("UISlider");
  rv::msg<void>(slider, RV_SEL("setValue:"), 0.25f);
  EXPECT_FLOAT_EQ(rv::msg<float>(slider, RV_SEL("value")), 0.25f);
  rv::msg<void>(slider, RV_SEL("setValue:"), 3.0f);
  EXPECT_FLOAT_EQ(rv::msg<float>(slider, RV_SEL("value")), 1.0f);
  host::release(slider);
}

TEST(Colors, CompareByComponents) {
  host::AutoreleasePool pool;
  Class color = objc_getClass("UIColor");
  id a = rv::msg(color, RV_SEL("colorWithRed:green:blue:alpha:"), 0.1, 0.2, 0.3, 1.0);
  id b = rv::msg(color, RV_SEL("colorWithRed:green:blue:alpha:"), 0.1, 0.2, 0.3, 1.0);
  id c = rv::msg(color, RV_SEL("colorWithRed:green:blue:alpha:"), 0.1, 0.2, 0.3, 0.5);
  EXPECT_NE(a, b);
  EXPECT_TRUE(rv::isYes(rv::msg<BOOL>(a, RV_SEL("isEqual:"), b)));
  EXPECT_FALSE(rv::isYes(rv::msg<BOOL>(a, RV_SEL("isEqual:"), c)));
  EXPECT_TRUE(rv::isYes(rv::msg<BOOL>(rv::msg(color, RV_SEL("systemBlueColor")), RV_SEL("isEqual:"),
                                      rv::msg(color, RV_SEL("systemBlueColor")))));
  CGFloat r = 0, g = 0, bl = 0, al = 0;
  EXPECT_TRUE(rv::isYes(rv::msg<BOOL>(c, RV_SEL("getRed:green:blue:alpha:"), &r, &g, &bl, &al)));
  EXPECT_DOUBLE_EQ(r, 0.1);
  EXPECT_DOUBLE_EQ(al, 0.5);
}

TEST(Views, TakeTheirSuperviewsTintUntilGivenTheirOwn) {
  host::AutoreleasePool pool;
  id parent = newOf("UIView");
  id child = newOf("UISwitch");
  EXPECT_EQ(host::uikit::components(rv::msg(child, RV_SEL("tintColor"))), host::uikit::systemBlue());
  rv::msg<void>(parent, RV_SEL("addSubview:"), child);
  rv::msg<void>(parent, RV_SEL("setTintColor:"), rv::msg(objc_getClass("UIColor"), RV_SEL("whiteColor")));
  EXPECT_EQ(host::uikit::components(rv::msg(child, RV_SEL("tintColor"))), (host::uikit::RGBA{1, 1, 1, 1}));
  EXPECT_EQ(rv::msg(child, RV_SEL("superview")), parent);
  host::release(child);
  host::release(parent);
}

TEST(Views, ASuperviewKeepsItsSubviewsAliveUntilItGoes) {
  long before = host::liveObjectCount();
  id parent = newOf("UIView");
  id child = newOf("UIView");
  rv::msg<void>(parent, RV_SEL("addSubview:"), child);
  host::release(child);
  EXPECT_EQ(host::liveObjectCount(), before + 2);
  host::release(parent);
  EXPECT_EQ(host::liveObjectCount(), before);
}

}  // namespace

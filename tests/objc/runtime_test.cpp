#include <gtest/gtest.h>

#include "host/objc.h"

namespace {

id counterValue(id self, SEL) { return host::ivarRef<id>(self, "_value"); }

Class widgetClass() {
  static Class cls = host::ClassBuilder("RuntimeTestWidget", "NSObject")
                         .strongProperty("child")
                         .assignProperty("delegate")
                         .ivar<id>("_value")
                         .method("value", &counterValue)
                         .registerClass();
  return cls;
}

id newWidget() { return host::send(host::send(reinterpret_cast<id>(widgetClass()), "alloc"), "init"); }

TEST(ReferenceCounting, ReleaseToZeroDeallocates) {
  long before = host::liveObjectCount();
  id w = newWidget();
  EXPECT_EQ(host::liveObjectCount(), before + 1);
  host::retain(w);
  EXPECT_EQ(host::retainCount(w), 2u);
  host::release(w);
  EXPECT_EQ(host::liveObjectCount(), before + 1);
  host::release(w);
  EXPECT_EQ(host::liveObjectCount(), before);
}

TEST(ReferenceCounting, StrongPropertiesRetainAndAreReleasedWithTheirOwner) {
  long before = host::liveObjectCount();
  id owner = newWidget();
  id child = newWidget();
  host::send<void>(owner, "setChild:", child);
  EXPECT_EQ(host::retainCount(child), 2u);
  EXPECT_EQ(host::send(owner, "child"), child);
  host::release(child);
  host::release(owner);
  EXPECT_EQ(host::liveObjectCount(), before);
}

TEST(ReferenceCounting, AssignPropertiesDoNotRetain) {
  id owner = newWidget();
  id other = newWidget();
  host::send<void>(owner, "setDelegate:", other);
  EXPECT_EQ(host::retainCount(other), 1u);
  host::release(owner);
  host::release(other);
}

TEST(ReferenceCounting, ReplacingAStrongPropertyReleasesTheOldValue) {
  long before = host::liveObjectCount();
  id owner = newWidget();
  id first = newWidget();
  host::send<void>(owner, "setChild:", first);
  host::release(first);
  host::send<void>(owner, "setChild:", nullptr);
  EXPECT_EQ(host::liveObjectCount(), before + 1);
  host::release(owner);
  EXPECT_EQ(host::liveObjectCount(), before);
}

TEST(AutoreleasePools, DrainReleasesAutoreleasedObjects) {
  long before = host::liveObjectCount();
  {
    host::AutoreleasePool pool;
    host::send(newWidget(), "autorelease");
    host::send(newWidget(), "autorelease");
    EXPECT_EQ(host::liveObjectCount(), before + 2);
  }
  EXPECT_EQ(host::liveObjectCount(), before);
}

TEST(AutoreleasePools, NestedPoolsDrainOnlyTheirOwnObjects) {
  long before = host::liveObjectCount();
  host::AutoreleasePool outer;
  host::autorelease(newWidget());
  {
    host::AutoreleasePool inner;
    host::autorelease(newWidget());
  }
  EXPECT_EQ(host::liveObjectCount(), before + 1);
  outer.drain();
  EXPECT_EQ(host::liveObjectCount(), before);
}

TEST(Introspection, KindOfClassAndRespondsToSelector) {
  id w = newWidget();
  Class nsobject = objc_getClass("NSObject");
  EXPECT_TRUE(host::send<BOOL>(w, "isKindOfClass:", nsobject));
  EXPECT_FALSE(host::send<BOOL>(w, "isMemberOfClass:", nsobject));
  EXPECT_TRUE(host::send<BOOL>(w, "respondsToSelector:", host::sel("value")));
  EXPECT_FALSE(host::send<BOOL>(w, "respondsToSelector:", host::sel("noSuchThing")));
  EXPECT_EQ(host::send<Class>(w, "class"), widgetClass());
  EXPECT_EQ(host::send<Class>(widgetClass(), "class"), widgetClass());
  EXPECT_TRUE(host::send<BOOL>(widgetClass(), "isSubclassOfClass:", nsobject));
  host::release(w);
}

TEST(UnrecognizedSelectorDeathTest, AbortsNamingClassAndSelector) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  id w = newWidget();
  EXPECT_DEATH(host::send<void>(w, "noSuchMethod:"),
               "-\\[RuntimeTestWidget noSuchMethod:\\]: unrecognized selector sent to instance");
  EXPECT_DEATH(host::send<void>(widgetClass(), "noSuchClassMethod"),
               "\\+\\[RuntimeTestWidget noSuchClassMethod\\]: unrecognized selector sent to class");
  host::release(w);
}

TEST(ClassBuilderDeathTest, RefusesADuplicateClassName) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  widgetClass();
  EXPECT_DEATH(host::ClassBuilder("RuntimeTestWidget", "NSObject"), "class already defined");
}

}  // namespace

#include <gtest/gtest.h>
#include <substrate.h>

#include "host/objc.h"

namespace {

int animalSound(id, SEL) { return 1; }
int dogSound(id, SEL) { return 2; }
int hookedSound(id, SEL) { return 99; }
int speciesCount(id, SEL) { return 7; }
int hookedSpeciesCount(id, SEL) { return 70; }

struct Classes {
  Class animal, dog, puppy, cat;
};

// A fresh hierarchy per test so hooks do not leak between cases.
Classes makeClasses(const std::string& tag) {
  Classes c;
  c.animal = host::ClassBuilder(("Animal" + tag).c_str(), "NSObject")
                 .method("sound", &animalSound)
                 .classMethod("speciesCount", &speciesCount)
                 .registerClass();
  c.dog = host::ClassBuilder(("Dog" + tag).c_str(), c.animal).method("sound", &dogSound).registerClass();
  c.puppy = host::ClassBuilder(("Puppy" + tag).c_str(), c.dog).registerClass();
  c.cat = host::ClassBuilder(("Cat" + tag).c_str(), c.animal).registerClass();
  return c;
}

int soundOf(Class cls) {
  id object = host::send(cls, "new");
  int sound = host::send<int>(object, "sound");
  host::release(object);
  return sound;
}

TEST(HookMessage, InheritedMethodIsAddedToTheClassOnly) {
  Classes c = makeClasses("Inherited");
  IMP previous = nullptr;
  MSHookMessageEx(c.cat, host::sel("sound"), reinterpret_cast<IMP>(hookedSound), &previous);
  EXPECT_EQ(soundOf(c.cat), 99);
  EXPECT_EQ(soundOf(c.animal), 1);  // the superclass keeps its own
  ASSERT_NE(previous, nullptr);
  EXPECT_EQ(reinterpret_cast<int (*)(id, SEL)>(previous)(nullptr, nullptr), 1);
}

TEST(HookMessage, OwnedMethodIsReplacedAndSubclassesInUseSeeIt) {
  Classes c = makeClasses("Owned");
  EXPECT_EQ(soundOf(c.puppy), 2);  // the subclass has cached the old implementation
  IMP previous = nullptr;
  MSHookMessageEx(c.dog, host::sel("sound"), reinterpret_cast<IMP>(hookedSound), &previous);
  EXPECT_EQ(soundOf(c.dog), 99);
  EXPECT_EQ(soundOf(c.puppy), 99);
  EXPECT_EQ(soundOf(c.animal), 1);
  EXPECT_EQ(reinterpret_cast<int (*)(id, SEL)>(previous)(nullptr, nullptr), 2);
}

TEST(HookMessage, ClassMethodsAreHookedOnTheMetaclass) {
  Classes c = makeClasses("Meta");
  IMP previous = nullptr;
  MSHookMessageEx(object_getClass(reinterpret_cast<id>(c.animal)), host::sel("speciesCount"),
                  reinterpret_cast<IMP>(hookedSpeciesCount), &previous);
  EXPECT_EQ(host::send<int>(c.animal, "speciesCount"), 70);
  EXPECT_EQ(host::send<int>(c.dog, "speciesCount"), 70);
  EXPECT_EQ(reinterpret_cast<int (*)(id, SEL)>(previous)(nullptr, nullptr), 7);
}

// Undefined in ElleKit (its class is non-optional) and an abort in Substitute: the stand-in stops.
TEST(HookMessageDeathTest, ANilClassOrAnUnknownSelectorStopsTheProcessNamingThem) {
  Classes c = makeClasses("Nil");
  IMP previous = nullptr;
  EXPECT_DEATH(MSHookMessageEx(Nil, host::sel("sound"), reinterpret_cast<IMP>(hookedSound), &previous),
               "MSHookMessageEx: a nil class \\(nil, sound\\)");
  EXPECT_DEATH(MSHookMessageEx(c.dog, host::sel("noSuchSelector"), reinterpret_cast<IMP>(hookedSound), &previous),
               "a selector the class does not answer \\(DogNil, noSuchSelector\\)");
}

TEST(HookMessage, HookingTwiceChainsThroughThePreviousHook) {
  Classes c = makeClasses("Twice");
  IMP first = nullptr, second = nullptr;
  MSHookMessageEx(c.dog, host::sel("sound"), reinterpret_cast<IMP>(hookedSound), &first);
  MSHookMessageEx(c.dog, host::sel("sound"), reinterpret_cast<IMP>(animalSound), &second);
  EXPECT_EQ(soundOf(c.dog), 1);
  EXPECT_EQ(second, reinterpret_cast<IMP>(hookedSound));
}

}  // namespace

// Arrays, dictionaries, data and dates: the CF callbacks contract, mutability, and Foundation's
// collection methods the platform code uses.
#include <climits>
#include <cmath>
#include <vector>

#include "cf_test.h"

using namespace cftest;
using testing_support::writeFile;

namespace {

TEST(Callbacks, NullCallbacksHoldPlainPointersWithoutRetainingThem) {
  static int a = 1, b = 2;
  const void* values[] = {&a, &b};
  CFArrayRef array = CFArrayCreate(nullptr, values, 2, nullptr);
  EXPECT_EQ(CFArrayGetValueAtIndex(array, 1), &b);
  EXPECT_EQ(CFArrayGetFirstIndexOfValue(array, CFRangeMake(0, 2), &b), 1);
  CFRelease(array);

  id object = host::send(cls("NSObject"), "new");
  CFMutableDictionaryRef dict = CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr);
  CFDictionarySetValue(dict, &a, object);
  EXPECT_EQ(host::retainCount(object), 1u);
  EXPECT_EQ(CFDictionaryGetValue(dict, &a), object);
  EXPECT_EQ(CFDictionaryGetValue(dict, &b), nullptr);
  CFRelease(dict);
  EXPECT_EQ(host::retainCount(object), 1u);
  host::release(object);
}

TEST(Callbacks, CFTypeCallbacksRetainUntilRemoved) {
  id object = host::send(cls("NSObject"), "new");
  CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  CFArrayAppendValue(array, object);
  CFArrayAppendValue(array, object);
  EXPECT_EQ(host::retainCount(object), 3u);
  CFArrayRemoveValueAtIndex(array, 0);
  EXPECT_EQ(host::retainCount(object), 2u);
  CFRelease(array);
  EXPECT_EQ(host::retainCount(object), 1u);
  host::release(object);
}

TEST(Dictionaries, AddKeepsAndReplaceOnlyReplaces) {
  CFMutableDictionaryRef dict = CFDictionaryCreateMutable(nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks,
                                                          &kCFTypeDictionaryValueCallBacks);
  CFDictionaryAddValue(dict, CFSTR("k"), CFSTR("first"));
  CFDictionaryAddValue(dict, CFSTR("k"), CFSTR("second"));
  CFDictionaryReplaceValue(dict, CFSTR("absent"), CFSTR("x"));
  EXPECT_EQ(CFDictionaryGetCount(dict), 1);
  EXPECT_EQ(CFDictionaryGetValue(dict, CFSTR("k")), CFSTR("first"));
  CFDictionaryReplaceValue(dict, CFSTR("k"), CFSTR("third"));
  EXPECT_EQ(CFDictionaryGetValue(dict, CFSTR("k")), CFSTR("third"));
  const void* value = nullptr;
  EXPECT_FALSE(CFDictionaryGetValueIfPresent(dict, CFSTR("absent"), &value));
  CFRelease(dict);
}

TEST(Dictionaries, ManyKeysAreFoundByValueAndKeepTheirOrderThroughRemovals) {
  CFMutableDictionaryRef dict = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                          &kCFTypeDictionaryValueCallBacks);
  for (int i = 0; i < 1000; ++i) {
    CFStringRef key = host::cf::makeString("k" + std::to_string(i));
    CFDictionarySetValue(dict, key, key);
    CFRelease(key);
  }
  for (int i = 0; i < 1000; i += 3) {
    CFStringRef key = host::cf::makeString("k" + std::to_string(i));  // an equal string, not the same object
    CFDictionaryRemoveValue(dict, key);
    CFRelease(key);
  }
  EXPECT_EQ(CFDictionaryGetCount(dict), 666);
  for (int i = 0; i < 1000; ++i) {
    CFStringRef key = host::cf::makeString("k" + std::to_string(i));
    EXPECT_EQ(CFDictionaryContainsKey(dict, key), i % 3 != 0) << i;
    CFRelease(key);
  }
  std::vector<const void*> keys(666);
  CFDictionaryGetKeysAndValues(dict, keys.data(), nullptr);
  EXPECT_EQ(host::cf::toStdString(keys[0]), "k1");
  EXPECT_EQ(host::cf::toStdString(keys[665]), "k998");
  CFDictionaryRemoveAllValues(dict);
  EXPECT_EQ(CFDictionaryGetCount(dict), 0);
  CFRelease(dict);
}

TEST(MutableArrays, InsertRemoveReplaceAndIndexOf) {
  host::AutoreleasePool pool;
  id array = host::send(cls("NSMutableArray"), "array");
  host::send<void>(array, "addObject:", ns("b"));
  host::send<void>(array, "insertObject:atIndex:", ns("a"), 0UL);
  host::send<void>(array, "addObject:", ns("c"));
  host::send<void>(array, "replaceObjectAtIndex:withObject:", 2UL, ns("z"));
  host::send<void>(array, "removeObjectAtIndex:", 1UL);
  EXPECT_EQ(host::cf::describe(array), "(\"a\", \"z\")");
  EXPECT_EQ(host::send<unsigned long>(array, "indexOfObject:", ns("z")), 1u);
  EXPECT_EQ(host::send<unsigned long>(array, "indexOfObject:", ns("q")), static_cast<unsigned long>(LONG_MAX));
  EXPECT_EQ(str(host::send(array, "componentsJoinedByString:", ns("+"))), "a+z");
}

using CollectionsDeathTest = ::testing::Test;

TEST_F(CollectionsDeathTest, MutatingAnImmutableCollectionThroughCFAborts) {
  CFArrayRef array = CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks);
  EXPECT_DEATH(CFArrayAppendValue(const_cast<CFMutableArrayRef>(array), CFSTR("x")), "immutable");
  CFRelease(array);
  EXPECT_DEATH(
      {
        host::AutoreleasePool pool;
        host::send<void>(host::send(cls("NSMutableDictionary"), "dictionary"), "setObject:forKey:", nullptr, ns("k"));
      },
      "cannot be nil");
}

TEST(DeepCopies, MutableContainersAllTheWayDown) {
  host::AutoreleasePool pool;
  id inner = host::send(cls("NSDictionary"), "dictionaryWithObject:forKey:", ns("v"), ns("k"));
  id outer = host::send(cls("NSArray"), "arrayWithObject:", inner);
  CFPropertyListRef copy = CFPropertyListCreateDeepCopy(nullptr, outer, kCFPropertyListMutableContainers);
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(CFEqual(copy, outer));
  EXPECT_TRUE(host::isKindOf(toId(copy), cls("NSMutableArray")));
  EXPECT_TRUE(host::isKindOf(toId(CFArrayGetValueAtIndex(static_cast<CFArrayRef>(copy), 0)), cls("NSMutableDictionary")));
  CFRelease(copy);
}

class DataFiles : public DeviceTest {};

TEST_F(DataFiles, ReadsRegularFilesOnly) {
  writeFile(root() / "sound.m4a", std::string("\x00\x01\x02", 3));
  id data = host::send(cls("NSData"), "dataWithContentsOfFile:", ns((root() / "sound.m4a").c_str()));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(host::send<unsigned long>(data, "length"), 3u);
  EXPECT_EQ(static_cast<const char*>(host::send<const void*>(data, "bytes"))[2], '\x02');
  EXPECT_EQ(host::send(cls("NSData"), "dataWithContentsOfFile:", ns((root() / "missing").c_str())), nullptr);
  EXPECT_EQ(host::send(cls("NSData"), "dataWithContentsOfFile:", ns(root().path().c_str())), nullptr);
}

TEST(Dates, AbsoluteTimeAndDescription) {
  CFDateRef start = CFDateCreate(nullptr, 0);
  CFDateRef later = CFDateCreate(nullptr, 86400.5);
  EXPECT_EQ(CFDateCompare(start, later, nullptr), kCFCompareLessThan);
  EXPECT_EQ(host::cf::describe(start), "2001-01-01 00:00:00 +0000");
  EXPECT_EQ(host::cf::describe(later), "2001-01-02 00:00:00 +0000");
  EXPECT_DOUBLE_EQ(host::send<double>(toId(start), "timeIntervalSince1970"), kCFAbsoluteTimeIntervalSince1970);
  CFRelease(start);
  CFRelease(later);
}

TEST(Dates, AnyDateAListHoldsWorksAsADictionaryKey) {
  // Binary lists admit dates as keys, and a stored date may be any double.
  CFMutableDictionaryRef dict = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                          &kCFTypeDictionaryValueCallBacks);
  for (double at : {8.5e87, -1e300, std::nan(""), 1.5}) {
    CFDateRef key = CFDateCreate(nullptr, at);
    CFDictionarySetValue(dict, key, kCFBooleanTrue);
    EXPECT_EQ(CFDictionaryGetValue(dict, key), kCFBooleanTrue) << at;
    CFRelease(key);
  }
  CFRelease(dict);
}

}  // namespace

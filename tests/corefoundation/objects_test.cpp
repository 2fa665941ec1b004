// The object model: CF objects are Objective-C objects (toll-free bridging), with CF type families,
// reference counting, value equality and the device's aborts for misuse.
#include <cstring>

#include "cf_test.h"

using namespace cftest;

namespace {

TEST(Constants, CFSTRInternsOneImmortalObjectPerText) {
  CFStringRef a = CFSTR("com.tamsel.ravelo.prefsupdate");
  CFStringRef b = CFSTR("com.tamsel.ravelo.prefsupdate");
  EXPECT_EQ(a, b);
  EXPECT_NE(a, CFSTR("com.tamsel.ravelo.other"));
  CFIndex count = CFGetRetainCount(a);
  CFRelease(a);
  CFRelease(a);
  CFRetain(a);
  EXPECT_EQ(CFGetRetainCount(a), count);
  EXPECT_STREQ(CFStringGetCStringPtr(a, kCFStringEncodingUTF8), "com.tamsel.ravelo.prefsupdate");
}

TEST(Constants, BooleansAreSingletonsOfANumberSubclass) {
  host::AutoreleasePool pool;
  EXPECT_EQ(host::send(cls("NSNumber"), "numberWithBool:", static_cast<BOOL>(YES)), toId(kCFBooleanTrue));
  EXPECT_EQ(host::send(cls("NSNumber"), "numberWithBool:", static_cast<BOOL>(NO)), toId(kCFBooleanFalse));
  EXPECT_TRUE(host::isKindOf(toId(kCFBooleanTrue), cls("NSNumber")));
  EXPECT_EQ(CFGetTypeID(kCFBooleanTrue), CFBooleanGetTypeID());
  EXPECT_NE(CFBooleanGetTypeID(), CFNumberGetTypeID());
}

TEST(TypeFamilies, MutableAndConstantObjectsAnswerTheirFamilyTypeID) {
  host::AutoreleasePool pool;
  CFMutableDictionaryRef dict = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                          &kCFTypeDictionaryValueCallBacks);
  CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  EXPECT_EQ(CFGetTypeID(dict), CFDictionaryGetTypeID());
  EXPECT_EQ(CFGetTypeID(array), CFArrayGetTypeID());
  EXPECT_EQ(CFGetTypeID(CFSTR("x")), CFStringGetTypeID());
  EXPECT_EQ(CFGetTypeID(host::send(cls("NSNumber"), "numberWithInt:", 3)), CFNumberGetTypeID());
  EXPECT_EQ(CFGetTypeID(host::send(cls("NSData"), "data")), CFDataGetTypeID());
  id plain = host::send(cls("NSObject"), "new");
  EXPECT_EQ(CFGetTypeID(plain), 1u);
  host::release(plain);
  CFRelease(dict);
  CFRelease(array);
}

TEST(TollFreeBridging, CFObjectsAnswerFoundationMessages) {
  host::AutoreleasePool pool;
  int v = 3;
  CFNumberRef n = CFNumberCreate(nullptr, kCFNumberIntType, &v);
  EXPECT_EQ(host::send<BOOL>(toId(n), "boolValue"), YES);
  EXPECT_EQ(host::send<long>(toId(n), "integerValue"), 3);
  EXPECT_EQ(host::send<long>(toId(CFSTR(" 42")), "integerValue"), 42);
  EXPECT_STREQ(host::send<const char*>(toId(CFSTR("abc")), "UTF8String"), "abc");
  EXPECT_EQ(host::send<unsigned long>(toId(CFSTR("abc")), "length"), 3u);
  CFRelease(n);

  // And Foundation objects are CF objects.
  id dict = host::send(cls("NSMutableDictionary"), "dictionary");
  host::send<void>(dict, "setObject:forKey:", ns("v"), ns("k"));
  EXPECT_EQ(CFDictionaryGetCount(reinterpret_cast<CFDictionaryRef>(dict)), 1);
  EXPECT_EQ(str(toId(CFDictionaryGetValue(reinterpret_cast<CFDictionaryRef>(dict), CFSTR("k")))), "v");
}

TEST(Dictionaries, StringKeysMatchByContent) {
  host::AutoreleasePool pool;
  CFMutableDictionaryRef dict = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                          &kCFTypeDictionaryValueCallBacks);
  CFStringRef key = host::cf::makeString("iconTapSound");
  int v = 12;
  CFNumberRef twelve = CFNumberCreate(nullptr, kCFNumberIntType, &v);
  CFDictionarySetValue(dict, key, twelve);
  EXPECT_TRUE(CFDictionaryContainsKey(dict, CFSTR("iconTapSound")));
  EXPECT_EQ(CFDictionaryGetValue(dict, CFSTR("iconTapSound")), twelve);
  EXPECT_EQ(host::send(toId(dict), "objectForKey:", ns("iconTapSound")), toId(twelve));
  CFDictionarySetValue(dict, CFSTR("iconTapSound"), kCFBooleanTrue);
  EXPECT_EQ(CFDictionaryGetCount(dict), 1);
  CFDictionaryRemoveValue(dict, CFSTR("iconTapSound"));
  EXPECT_EQ(CFDictionaryGetCount(dict), 0);
  EXPECT_EQ(host::send(toId(dict), "objectForKey:", nullptr), nullptr);
  CFRelease(key);
  CFRelease(twelve);
  CFRelease(dict);
}

TEST(Dictionaries, KeysAndValuesComeOutInMatchingOrder) {
  const void* keys[] = {CFSTR("a"), CFSTR("b"), CFSTR("c")};
  const void* values[] = {CFSTR("1"), CFSTR("2"), CFSTR("3")};
  CFDictionaryRef dict = CFDictionaryCreate(nullptr, keys, values, 3, &kCFTypeDictionaryKeyCallBacks,
                                            &kCFTypeDictionaryValueCallBacks);
  const void* outKeys[3];
  const void* outValues[3];
  CFDictionaryGetKeysAndValues(dict, outKeys, outValues);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(str(toId(outValues[i])), str(toId(CFDictionaryGetValue(dict, outKeys[i]))));
  CFRelease(dict);
}

TEST(ReferenceCounting, EverythingIsFreedWhenThePoolDrains) {
  long before = host::liveObjectCount();
  {
    host::AutoreleasePool pool;
    id dict = host::send(cls("NSMutableDictionary"), "dictionary");
    host::send<void>(dict, "setObject:forKey:", host::send(cls("NSNumber"), "numberWithDouble:", 0.5), ns("real"));
    id array = host::send(cls("NSMutableArray"), "array");
    host::send<void>(array, "addObject:", dict);
    host::send<void>(array, "addObject:", ns("text"));
    CFDataRef data = CFPropertyListCreateData(nullptr, array, kCFPropertyListBinaryFormat_v1_0, 0, nullptr);
    CFPropertyListRef back = CFPropertyListCreateWithData(nullptr, data, kCFPropertyListMutableContainers, nullptr, nullptr);
    EXPECT_TRUE(CFEqual(back, array));
    host::send(host::send(array, "mutableCopy"), "autorelease");
    CFRelease(data);
    CFRelease(back);
    EXPECT_GT(host::liveObjectCount(), before);
  }
  EXPECT_EQ(host::liveObjectCount(), before);
}

TEST(ReferenceCounting, CopiesOfImmutableObjectsAreTheObjectRetained) {
  host::AutoreleasePool pool;
  id s = ns("same");
  id copy = host::send(s, "copy");
  EXPECT_EQ(copy, s);
  host::release(copy);
  id mutableArray = host::send(cls("NSMutableArray"), "array");
  id frozen = host::send(mutableArray, "copy");
  EXPECT_NE(frozen, mutableArray);
  EXPECT_FALSE(host::isKindOf(frozen, cls("NSMutableArray")));
  host::release(frozen);
}

TEST(Strings, EncodingsAndLengths) {
  CFStringRef s = CFStringCreateWithCString(nullptr, "caf\xC3\xA9 \xF0\x9F\x8E\xB5", kCFStringEncodingUTF8);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(CFStringGetLength(s), 7);  // UTF-16 units: the note takes two
  char buffer[16];
  EXPECT_FALSE(CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingASCII));
  EXPECT_TRUE(CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8));
  EXPECT_FALSE(CFStringGetCString(s, buffer, 5, kCFStringEncodingUTF8));
  EXPECT_EQ(CFStringGetMaximumSizeForEncoding(7, kCFStringEncodingUTF8), 21);
  CFRelease(s);
  EXPECT_EQ(CFStringCreateWithCString(nullptr, "\xC3", kCFStringEncodingUTF8), nullptr);
  EXPECT_EQ(CFStringCreateWithCString(nullptr, "\xE9", kCFStringEncodingASCII), nullptr);
  CFStringRef latin = CFStringCreateWithCString(nullptr, "\xE9", kCFStringEncodingISOLatin1);
  EXPECT_STREQ(CFStringGetCStringPtr(latin, kCFStringEncodingUTF8), "\xC3\xA9");
  CFRelease(latin);
}

TEST(Strings, CompareOrdersByCodePointWithOptions) {
  EXPECT_EQ(CFStringCompare(CFSTR("abc"), CFSTR("abd"), 0), kCFCompareLessThan);
  EXPECT_EQ(CFStringCompare(CFSTR("ABC"), CFSTR("abc"), kCFCompareCaseInsensitive), kCFCompareEqualTo);
  EXPECT_EQ(CFStringCompare(CFSTR("sound9"), CFSTR("sound10"), kCFCompareNumerically), kCFCompareLessThan);
  EXPECT_EQ(CFStringCompare(CFSTR("sound9"), CFSTR("sound10"), 0), kCFCompareGreaterThan);
}

TEST(Strings, PathMethodsFollowFoundation) {
  host::AutoreleasePool pool;
  auto send = [](const char* s, const char* sel) { return str(host::send(ns(s), sel)); };
  EXPECT_EQ(send("/tmp/scratch.tiff", "lastPathComponent"), "scratch.tiff");
  EXPECT_EQ(send("/tmp/", "lastPathComponent"), "tmp");
  EXPECT_EQ(send("/", "lastPathComponent"), "/");
  EXPECT_EQ(send("/tmp/scratch.tiff", "stringByDeletingLastPathComponent"), "/tmp");
  EXPECT_EQ(send("/tmp", "stringByDeletingLastPathComponent"), "/");
  EXPECT_EQ(send("scratch", "stringByDeletingLastPathComponent"), "");
  EXPECT_EQ(send("/a/b.tar.gz", "pathExtension"), "gz");
  EXPECT_EQ(send("/a/.hidden", "pathExtension"), "");
  EXPECT_EQ(send("/a/b.m4a", "stringByDeletingPathExtension"), "/a/b");
  EXPECT_EQ(str(host::send(ns("/var/jb/"), "stringByAppendingPathComponent:", ns("Library"))), "/var/jb/Library");
  EXPECT_EQ(str(host::send(ns(""), "stringByAppendingPathComponent:", ns("x"))), "x");
  EXPECT_EQ(host::send<BOOL>(ns("/var/jb"), "hasPrefix:", ns("/var")), YES);
  EXPECT_EQ(host::send<BOOL>(ns("a.plist"), "hasSuffix:", ns(".plist")), YES);
  EXPECT_EQ(host::send<BOOL>(ns("a"), "hasPrefix:", ns("")), NO);
}

TEST(Strings, InvalidUTF8GivesNil) {
  host::AutoreleasePool pool;
  EXPECT_EQ(host::send(cls("NSString"), "stringWithUTF8String:", "\xFF\xFE"), nullptr);
}

TEST(Descriptions, OneLinePropertyListRendering) {
  host::AutoreleasePool pool;
  id dict = host::send(cls("NSMutableDictionary"), "dictionary");
  host::send<void>(dict, "setObject:forKey:", toId(kCFBooleanTrue), ns("enabled"));
  host::send<void>(dict, "setObject:forKey:", host::send(cls("NSNumber"), "numberWithInt:", -6), ns("lock Sound"));
  host::send<void>(dict, "setObject:forKey:", ns("say \"hi\""), ns("s"));
  host::send<void>(dict, "setObject:forKey:", host::send(cls("NSNumber"), "numberWithDouble:", 0.5), ns("r"));
  EXPECT_EQ(host::cf::describe(dict), "{enabled = true; \"lock Sound\" = -6; s = \"say \\\"hi\\\"\"; r = 0.5}");
  EXPECT_EQ(host::cf::describe(nullptr), "(null)");
}

using MisuseDeathTest = ::testing::Test;

TEST_F(MisuseDeathTest, UnknownSelectorsAbortAsOnTheDevice) {
  EXPECT_DEATH(
      {
        host::AutoreleasePool pool;
        host::send<void>(host::send(cls("NSDictionary"), "dictionary"), "setObject:forKey:", ns("v"), ns("k"));
      },
      "unrecognized selector sent to instance");
  EXPECT_DEATH(host::send<BOOL>(host::send(cls("NSArray"), "array"), "boolValue"), "unrecognized selector");
}

TEST_F(MisuseDeathTest, OutOfRangeIndexAbortsWithARangeException) {
  EXPECT_DEATH(
      {
        host::AutoreleasePool pool;
        host::send(host::send(cls("NSArray"), "arrayWithObject:", ns("only")), "objectAtIndex:", 1UL);
      },
      "NSRangeException");
  EXPECT_DEATH(CFRelease(nullptr), "NULL");
}

TEST_F(MisuseDeathTest, ANullCStringAbortsAsOnTheDevice) {
  EXPECT_DEATH(host::send(cls("NSString"), "stringWithUTF8String:", static_cast<const char*>(nullptr)), "NULL cString");
}

}  // namespace

// The boolean and integer readings of every property-list scalar must be Foundation's: the tweak's
// settings are read through them.
#include <climits>
#include <cmath>

#include "cf_test.h"

using namespace cftest;

namespace {

struct StringReading {
  const char* text;
  bool boolValue;
  long integerValue;
};

const StringReading kStringReadings[] = {
    {"YES", true, 0},         {"yes", true, 0},          {"true", true, 0},
    {"True", true, 0},        {"Y", true, 0},            {"t", true, 0},
    {"NO", false, 0},         {"false", false, 0},       {"", false, 0},
    {"abc", false, 0},        {"1", true, 1},            {"0", false, 0},
    {"000", false, 0},        {"007", true, 7},          {"  12", true, 12},
    {"\t\n 9", true, 9},      {"+5", true, 5},           {"-1", true, -1},
    {"-0", false, 0},         {"  -12abc", true, -12},   {"0x10", false, 0},
    {"1e3", true, 1},         {"12.9", true, 12},        {"0.5", false, 0},
    {".5", false, 0},         {"+-1", false, 0},         {"- 5", false, 0},
    {"00Y", true, 0},         {"45 sounds", true, 45},   {"9223372036854775807", true, LONG_MAX},
    {"99999999999999999999", true, LONG_MAX},            {"-99999999999999999999", true, LONG_MIN},
    {"-9223372036854775808", true, LONG_MIN},
};

TEST(StringReadings, BoolValueAndIntegerValueMatchFoundation) {
  host::AutoreleasePool pool;
  for (const StringReading& r : kStringReadings) {
    id s = ns(r.text);
    EXPECT_EQ(host::send<BOOL>(s, "boolValue") != 0, r.boolValue) << '"' << r.text << '"';
    EXPECT_EQ(host::send<long>(s, "integerValue"), r.integerValue) << '"' << r.text << '"';
    EXPECT_EQ(host::send<long long>(s, "longLongValue"), r.integerValue) << '"' << r.text << '"';
  }
}

TEST(StringReadings, IntValueSaturatesAtThirtyTwoBits) {
  host::AutoreleasePool pool;
  EXPECT_EQ(host::send<int>(ns("3000000000"), "intValue"), INT_MAX);
  EXPECT_EQ(host::send<int>(ns("-3000000000"), "intValue"), INT_MIN);
  EXPECT_EQ(host::send<int>(ns(" 2147483647"), "intValue"), INT_MAX);
  EXPECT_EQ(host::send<int>(ns("-17"), "intValue"), -17);
  EXPECT_EQ(CFStringGetIntValue(CFSTR("99999999999")), INT_MAX);
}

TEST(StringReadings, DoubleValueReadsOnlyDecimalNumbers) {
  host::AutoreleasePool pool;
  EXPECT_DOUBLE_EQ(host::send<double>(ns(" -2.5e2x"), "doubleValue"), -250.0);
  EXPECT_DOUBLE_EQ(host::send<double>(ns(".5"), "doubleValue"), 0.5);
  EXPECT_DOUBLE_EQ(host::send<double>(ns("0x10"), "doubleValue"), 0.0);
  EXPECT_DOUBLE_EQ(host::send<double>(ns("nan"), "doubleValue"), 0.0);
  EXPECT_DOUBLE_EQ(host::send<double>(ns("1e"), "doubleValue"), 1.0);
}

struct NumberReading {
  const char* name;
  CFNumberRef number;
  bool boolValue;
  long integerValue;
  int intValue;
};

CFNumberRef makeInt64(int64_t v) { return CFNumberCreate(nullptr, kCFNumberSInt64Type, &v); }
CFNumberRef makeDouble(double v) { return CFNumberCreate(nullptr, kCFNumberDoubleType, &v); }

TEST(NumberReadings, NonZeroIsYesAndIntegersTruncateAndSaturate) {
  host::AutoreleasePool pool;
  CFNumberRef huge = nullptr;
  {
    // An unsigned value above INT64_MAX only arrives from a property list.
    CFDataRef xml = CFDataCreate(nullptr,
                                 reinterpret_cast<const UInt8*>("<plist><integer>18446744073709551615</integer></plist>"),
                                 54);
    huge = static_cast<CFNumberRef>(CFPropertyListCreateWithData(nullptr, xml, 0, nullptr, nullptr));
    CFRelease(xml);
  }
  ASSERT_NE(huge, nullptr);
  const NumberReading readings[] = {
      {"0", makeInt64(0), false, 0, 0},
      {"12", makeInt64(12), true, 12, 12},
      {"-3", makeInt64(-3), true, -3, -3},
      {"INT64_MIN", makeInt64(INT64_MIN), true, LONG_MIN, INT_MIN},
      {"INT64_MAX", makeInt64(INT64_MAX), true, LONG_MAX, INT_MAX},
      {"5000000000", makeInt64(5000000000), true, 5000000000, INT_MAX},
      {"UINT64_MAX", huge, true, LONG_MAX, INT_MAX},
      {"0.0", makeDouble(0.0), false, 0, 0},
      {"0.5", makeDouble(0.5), true, 0, 0},
      {"-0.5", makeDouble(-0.5), true, 0, 0},
      {"2.9", makeDouble(2.9), true, 2, 2},
      {"-2.9", makeDouble(-2.9), true, -2, -2},
      {"1e30", makeDouble(1e30), true, LONG_MAX, INT_MAX},
      {"-1e30", makeDouble(-1e30), true, LONG_MIN, INT_MIN},
  };
  for (const NumberReading& r : readings) {
    id n = toId(r.number);
    EXPECT_EQ(host::send<BOOL>(n, "boolValue") != 0, r.boolValue) << r.name;
    EXPECT_EQ(host::send<long>(n, "integerValue"), r.integerValue) << r.name;
    EXPECT_EQ(host::send<int>(n, "intValue"), r.intValue) << r.name;
    CFRelease(r.number);
  }
}

TEST(NumberReadings, NaNReadsAsZeroInteger) {
  CFNumberRef nan = makeDouble(std::nan(""));
  EXPECT_EQ(host::send<long>(toId(nan), "integerValue"), 0);
  EXPECT_EQ(host::send<int>(toId(nan), "intValue"), 0);
  CFRelease(nan);
}

TEST(NumberReadings, BooleansReadAsOneAndZero) {
  EXPECT_EQ(host::send<BOOL>(toId(kCFBooleanTrue), "boolValue"), YES);
  EXPECT_EQ(host::send<long>(toId(kCFBooleanTrue), "integerValue"), 1);
  EXPECT_EQ(host::send<BOOL>(toId(kCFBooleanFalse), "boolValue"), NO);
  EXPECT_EQ(host::send<long>(toId(kCFBooleanFalse), "integerValue"), 0);
  EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
  EXPECT_FALSE(CFBooleanGetValue(kCFBooleanFalse));
}

TEST(NumberReadings, CFNumberGetValueSaturatesAndReportsLoss) {
  CFNumberRef big = makeInt64(5000000000);
  int32_t small = 0;
  EXPECT_FALSE(CFNumberGetValue(big, kCFNumberSInt32Type, &small));
  EXPECT_EQ(small, INT32_MAX);
  int64_t wide = 0;
  EXPECT_TRUE(CFNumberGetValue(big, kCFNumberSInt64Type, &wide));
  EXPECT_EQ(wide, 5000000000);
  CFRelease(big);

  CFNumberRef half = makeDouble(2.5);
  int value = 0;
  EXPECT_FALSE(CFNumberGetValue(half, kCFNumberIntType, &value));
  EXPECT_EQ(value, 2);
  double d = 0;
  EXPECT_TRUE(CFNumberGetValue(half, kCFNumberDoubleType, &d));
  EXPECT_EQ(d, 2.5);
  EXPECT_TRUE(CFNumberIsFloatType(half));
  CFRelease(half);
}

TEST(NumberReadings, CanonicalTypesFollowTheCreationSize) {
  int i = 7;
  long l = 7;
  float f = 1.5f;
  CFNumberRef a = CFNumberCreate(nullptr, kCFNumberIntType, &i);
  CFNumberRef b = CFNumberCreate(nullptr, kCFNumberCFIndexType, &l);
  CFNumberRef c = CFNumberCreate(nullptr, kCFNumberFloatType, &f);
  EXPECT_EQ(CFNumberGetType(a), kCFNumberSInt32Type);
  EXPECT_EQ(CFNumberGetType(b), kCFNumberSInt64Type);
  EXPECT_EQ(CFNumberGetType(c), kCFNumberFloat32Type);
  EXPECT_TRUE(CFEqual(a, b));
  EXPECT_EQ(CFHash(a), CFHash(b));
  CFRelease(a);
  CFRelease(b);
  CFRelease(c);
}

}  // namespace

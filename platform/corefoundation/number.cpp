// NSNumber / CFNumber and the two CFBoolean singletons (__NSCFBoolean, a subclass of NSNumber).
#include "cf_internal.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace cf {
namespace {

NumberBox* signedBox(int64_t v, CFNumberType type) {
  auto* b = new NumberBox;
  b->kind = NumberBox::Signed;
  b->i = v;
  b->type = type;
  return b;
}
NumberBox* unsignedBox(uint64_t v) {
  if (v <= static_cast<uint64_t>(INT64_MAX)) return signedBox(static_cast<int64_t>(v), kCFNumberSInt64Type);
  auto* b = new NumberBox;
  b->kind = NumberBox::Unsigned;
  b->u = v;
  b->type = 17;  // kCFNumberSInt128Type: how the device keeps integers above INT64_MAX
  return b;
}
// As the device's CFNumberCreate: every NaN becomes its one positive NaN, and NaN and the infinities
// are 64-bit whatever size they came in.
NumberBox* realBox(double v, CFNumberType type) {
  auto* b = new NumberBox;
  b->kind = NumberBox::Real;
  b->d = std::isnan(v) ? std::numeric_limits<double>::quiet_NaN() : v;
  b->type = std::isfinite(v) ? type : static_cast<CFNumberType>(kCFNumberFloat64Type);
  return b;
}

Class numberClassFor(id cls) {
  Class c = reinterpret_cast<Class>(cls);
  return c == classes().boolean ? classes().number : c;
}

id makeNumber(id cls, NumberBox* box) { return host::autorelease(newObject(numberClassFor(cls), box)); }
id initNumber(id self, NumberBox* box) {
  setBox(self, box);
  return self;
}

// ---- class methods ----
id numberWithBool(id, SEL, BOOL v) { return booleanObject(v != 0); }
id numberWithInt(id cls, SEL, int v) { return makeNumber(cls, signedBox(v, kCFNumberSInt32Type)); }
id numberWithUnsignedInt(id cls, SEL, unsigned v) { return makeNumber(cls, signedBox(v, kCFNumberSInt64Type)); }
id numberWithLong(id cls, SEL, long v) { return makeNumber(cls, signedBox(v, kCFNumberSInt64Type)); }
id numberWithLongLong(id cls, SEL, long long v) { return makeNumber(cls, signedBox(v, kCFNumberSInt64Type)); }
id numberWithUnsignedLong(id cls, SEL, unsigned long v) { return makeNumber(cls, unsignedBox(v)); }
id numberWithDouble(id cls, SEL, double v) { return makeNumber(cls, realBox(v, kCFNumberFloat64Type)); }
id numberWithFloat(id cls, SEL, float v) { return makeNumber(cls, realBox(v, kCFNumberFloat32Type)); }

// ---- initialisers ----
id initWithBool(id self, SEL, BOOL v) {
  host::release(self);
  return booleanObject(v != 0);
}
id initWithInt(id self, SEL, int v) { return initNumber(self, signedBox(v, kCFNumberSInt32Type)); }
id initWithLong(id self, SEL, long v) { return initNumber(self, signedBox(v, kCFNumberSInt64Type)); }
id initWithLongLong(id self, SEL, long long v) { return initNumber(self, signedBox(v, kCFNumberSInt64Type)); }
id initWithUnsignedLong(id self, SEL, unsigned long v) { return initNumber(self, unsignedBox(v)); }
id initWithDouble(id self, SEL, double v) { return initNumber(self, realBox(v, kCFNumberFloat64Type)); }
id initWithFloat(id self, SEL, float v) { return initNumber(self, realBox(v, kCFNumberFloat32Type)); }
id initZero(id self, SEL) { return initNumber(self, signedBox(0, kCFNumberSInt32Type)); }

// ---- readings ----
BOOL boolValue(id self, SEL) { return numberToBool(numberOf(self)) ? YES : NO; }
char charValue(id self, SEL) {
  long long v = numberToLongLong(numberOf(self));
  return static_cast<char>(v < CHAR_MIN ? CHAR_MIN : v > CHAR_MAX ? CHAR_MAX : v);
}
int intValue(id self, SEL) { return numberToInt(numberOf(self)); }
long integerValue(id self, SEL) { return static_cast<long>(numberToLongLong(numberOf(self))); }
long long longLongValue(id self, SEL) { return numberToLongLong(numberOf(self)); }
unsigned long unsignedIntegerValue(id self, SEL) {
  const NumberBox& n = numberOf(self);
  if (n.kind == NumberBox::Unsigned) return n.u;
  return static_cast<unsigned long>(numberToLongLong(n));
}
unsigned unsignedIntValue(id self, SEL) { return static_cast<unsigned>(unsignedIntegerValue(self, nullptr)); }
double doubleValue(id self, SEL) { return numberToDouble(numberOf(self)); }
float floatValue(id self, SEL) { return static_cast<float>(numberToDouble(numberOf(self))); }

BOOL isEqualToNumber(id self, SEL, id other) {
  if (other == nullptr) return NO;
  return compareNumbers(numberOf(self), numberOf(other)) == 0 ? YES : NO;
}
BOOL isEqual(id self, SEL, id other) {
  Family f = familyOf(other);
  if (f != Family::Number && f != Family::Boolean) return NO;
  return isEqualToNumber(self, nullptr, other);
}
long compare(id self, SEL, id other) {
  if (other == nullptr) fatal("-[NSNumber compare:]: nil argument");
  return compareNumbers(numberOf(self), numberOf(other));
}
unsigned long hashOf(id self, SEL) {
  const NumberBox& n = numberOf(self);
  uint64_t bits;
  if (n.kind == NumberBox::Signed) {
    bits = static_cast<uint64_t>(n.i);
  } else if (n.kind == NumberBox::Unsigned) {
    bits = n.u;
  } else if (std::isfinite(n.d) && std::trunc(n.d) == n.d && std::fabs(n.d) < 9.2e18) {
    bits = static_cast<uint64_t>(static_cast<int64_t>(n.d));  // equal numbers hash alike
  } else {
    std::memcpy(&bits, &n.d, sizeof bits);
  }
  return static_cast<unsigned long>(bits * 0x9E3779B97F4A7C15ULL);
}

std::string numberText(const NumberBox& n) {
  char buffer[32];
  if (n.kind == NumberBox::Signed) std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(n.i));
  else if (n.kind == NumberBox::Unsigned) std::snprintf(buffer, sizeof buffer, "%llu", static_cast<unsigned long long>(n.u));
  else return formatDouble(n.d);
  return buffer;
}
id description(id self, SEL) { return autoreleasedString(numberText(numberOf(self))); }
id copyRetained(id self, SEL) { return host::retain(self); }

template <typename T>
Boolean storeInteger(const NumberBox& n, void* out) {
  constexpr long long lo = std::numeric_limits<T>::min();
  constexpr long long hi = std::numeric_limits<T>::max();
  T value;
  bool exact;
  if (n.kind == NumberBox::Signed) {
    value = static_cast<T>(n.i < lo ? lo : n.i > hi ? hi : n.i);
    exact = n.i >= lo && n.i <= hi;
  } else if (n.kind == NumberBox::Unsigned) {
    value = static_cast<T>(hi);
    exact = false;
  } else {
    long long whole = numberToLongLong(n);
    value = static_cast<T>(whole < lo ? lo : whole > hi ? hi : whole);
    exact = !std::isnan(n.d) && static_cast<long double>(value) == static_cast<long double>(n.d);
  }
  std::memcpy(out, &value, sizeof value);
  return exact;
}

}  // namespace

void defineNumberClasses(Classes& c) {
  c.number = host::ClassBuilder("NSNumber", c.object)
                 .ivar("_cfBox", sizeof(void*), alignof(void*), "^v")
                 .classMethod("numberWithBool:", &numberWithBool)
                 .classMethod("numberWithInt:", &numberWithInt)
                 .classMethod("numberWithUnsignedInt:", &numberWithUnsignedInt)
                 .classMethod("numberWithLong:", &numberWithLong)
                 .classMethod("numberWithInteger:", &numberWithLong)
                 .classMethod("numberWithLongLong:", &numberWithLongLong)
                 .classMethod("numberWithUnsignedLong:", &numberWithUnsignedLong)
                 .classMethod("numberWithUnsignedInteger:", &numberWithUnsignedLong)
                 .classMethod("numberWithUnsignedLongLong:", &numberWithUnsignedLong)
                 .classMethod("numberWithDouble:", &numberWithDouble)
                 .classMethod("numberWithFloat:", &numberWithFloat)
                 .method("init", &initZero)
                 .method("initWithBool:", &initWithBool)
                 .method("initWithInt:", &initWithInt)
                 .method("initWithLong:", &initWithLong)
                 .method("initWithInteger:", &initWithLong)
                 .method("initWithLongLong:", &initWithLongLong)
                 .method("initWithUnsignedInteger:", &initWithUnsignedLong)
                 .method("initWithDouble:", &initWithDouble)
                 .method("initWithFloat:", &initWithFloat)
                 .method("boolValue", &boolValue)
                 .method("charValue", &charValue)
                 .method("intValue", &intValue)
                 .method("integerValue", &integerValue)
                 .method("longValue", &integerValue)
                 .method("longLongValue", &longLongValue)
                 .method("unsignedIntValue", &unsignedIntValue)
                 .method("unsignedIntegerValue", &unsignedIntegerValue)
                 .method("unsignedLongLongValue", &unsignedIntegerValue)
                 .method("doubleValue", &doubleValue)
                 .method("floatValue", &floatValue)
                 .method("isEqual:", &isEqual)
                 .method("isEqualToNumber:", &isEqualToNumber)
                 .method("compare:", &compare)
                 .method("hash", &hashOf)
                 .method("description", &description)
                 .method("stringValue", &description)
                 .method("copy", &copyRetained)
                 .registerClass();
  addFamilyBasics(c.number);
  c.boolean = host::ClassBuilder("__NSCFBoolean", c.number).registerClass();
  makeImmortal(c.boolean);
}

const NumberBox& numberOf(id number) {
  Family f = familyOf(number);
  if (f != Family::Number && f != Family::Boolean)
    fatal("-[%s doubleValue]: not a number", number ? object_getClassName(number) : "nil");
  static const NumberBox zero;
  NumberBox* box = boxOf<NumberBox>(number);
  return box ? *box : zero;
}

id newSigned(int64_t value, CFNumberType type) { return newObject(classes().number, signedBox(value, type)); }
id newUnsigned(uint64_t value) { return newObject(classes().number, unsignedBox(value)); }
id newReal(double value, CFNumberType type) { return newObject(classes().number, realBox(value, type)); }

id booleanObject(bool value) {
  // The singletons are made outside +alloc, so they are not counted as live objects.
  static id yes = [] {
    id o = class_createInstance(classes().boolean, 0);
    boxSlot(o) = signedBox(1, kCFNumberSInt8Type);
    return o;
  }();
  static id no = [] {
    id o = class_createInstance(classes().boolean, 0);
    boxSlot(o) = signedBox(0, kCFNumberSInt8Type);
    return o;
  }();
  return value ? yes : no;
}

long long numberToLongLong(const NumberBox& n) {
  switch (n.kind) {
    case NumberBox::Signed: return n.i;
    case NumberBox::Unsigned: return LLONG_MAX;
    case NumberBox::Real:
      if (std::isnan(n.d)) return 0;
      if (n.d >= 9223372036854775808.0) return LLONG_MAX;
      if (n.d <= -9223372036854775808.0) return LLONG_MIN;
      return static_cast<long long>(n.d);  // truncates toward zero
  }
  return 0;
}

int numberToInt(const NumberBox& n) {
  long long v = numberToLongLong(n);
  return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
}

double numberToDouble(const NumberBox& n) {
  switch (n.kind) {
    case NumberBox::Signed: return static_cast<double>(n.i);
    case NumberBox::Unsigned: return static_cast<double>(n.u);
    case NumberBox::Real: return n.d;
  }
  return 0;
}

bool numberToBool(const NumberBox& n) {
  switch (n.kind) {
    case NumberBox::Signed: return n.i != 0;
    case NumberBox::Unsigned: return true;
    case NumberBox::Real: return n.d != 0.0;  // 0.5 and NaN are both non-zero
  }
  return false;
}

int compareNumbers(const NumberBox& a, const NumberBox& b) {
  bool aNaN = a.kind == NumberBox::Real && std::isnan(a.d);
  bool bNaN = b.kind == NumberBox::Real && std::isnan(b.d);
  if (aNaN || bNaN) return aNaN && bNaN ? 0 : aNaN ? -1 : 1;
  auto wide = [](const NumberBox& n) -> long double {
    return n.kind == NumberBox::Signed ? static_cast<long double>(n.i)
           : n.kind == NumberBox::Unsigned ? static_cast<long double>(n.u)
                                           : static_cast<long double>(n.d);
  };
  long double x = wide(a), y = wide(b);  // exact for every 64-bit integer and double
  return x < y ? -1 : x > y ? 1 : 0;
}

std::string formatDouble(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char buffer[40];
  for (int precision = 15; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  return buffer;
}

}  // namespace cf

using namespace cf;

const CFBooleanRef kCFBooleanTrue = toCF<CFBooleanRef>(booleanObject(true));
const CFBooleanRef kCFBooleanFalse = toCF<CFBooleanRef>(booleanObject(false));

CFTypeID CFBooleanGetTypeID(void) { return 21; }
Boolean CFBooleanGetValue(CFBooleanRef boolean) { return numberToBool(numberOf(toId(boolean))); }

CFTypeID CFNumberGetTypeID(void) { return 22; }

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr) {
  if (valuePtr == nullptr) return nullptr;
  auto load = [&](auto sample) {
    decltype(sample) v;
    std::memcpy(&v, valuePtr, sizeof v);
    return v;
  };
  switch (theType) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType: return toCF<CFNumberRef>(newSigned(load(int8_t{}), kCFNumberSInt8Type));
    case kCFNumberSInt16Type:
    case kCFNumberShortType: return toCF<CFNumberRef>(newSigned(load(int16_t{}), kCFNumberSInt16Type));
    case kCFNumberSInt32Type:
    case kCFNumberIntType: return toCF<CFNumberRef>(newSigned(load(int32_t{}), kCFNumberSInt32Type));
    case kCFNumberSInt64Type:
    case kCFNumberLongType:
    case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
    case kCFNumberNSIntegerType: return toCF<CFNumberRef>(newSigned(load(int64_t{}), kCFNumberSInt64Type));
    case kCFNumberFloat32Type:
    case kCFNumberFloatType: return toCF<CFNumberRef>(newReal(load(float{}), kCFNumberFloat32Type));
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
    case kCFNumberCGFloatType: return toCF<CFNumberRef>(newReal(load(double{}), kCFNumberFloat64Type));
    default: return nullptr;
  }
}

CFNumberType CFNumberGetType(CFNumberRef number) { return numberOf(toId(number)).type; }

CFIndex CFNumberGetByteSize(CFNumberRef number) {
  switch (CFNumberGetType(number)) {
    case kCFNumberSInt8Type: return 1;
    case kCFNumberSInt16Type: return 2;
    case kCFNumberSInt32Type:
    case kCFNumberFloat32Type: return 4;
    case 17: return 16;
    default: return 8;
  }
}

Boolean CFNumberIsFloatType(CFNumberRef number) { return numberOf(toId(number)).kind == NumberBox::Real; }

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
  const NumberBox& n = numberOf(toId(number));
  if (valuePtr == nullptr) return false;
  switch (theType) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType: return storeInteger<int8_t>(n, valuePtr);
    case kCFNumberSInt16Type:
    case kCFNumberShortType: return storeInteger<int16_t>(n, valuePtr);
    case kCFNumberSInt32Type:
    case kCFNumberIntType: return storeInteger<int32_t>(n, valuePtr);
    case kCFNumberSInt64Type:
    case kCFNumberLongType:
    case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
    case kCFNumberNSIntegerType: return storeInteger<int64_t>(n, valuePtr);
    case kCFNumberFloat32Type:
    case kCFNumberFloatType: {
      float f = static_cast<float>(numberToDouble(n));
      std::memcpy(valuePtr, &f, sizeof f);
      return n.kind == NumberBox::Real ? (std::isnan(n.d) || static_cast<double>(f) == n.d)
                                       : static_cast<long double>(f) == (n.kind == NumberBox::Signed
                                                                            ? static_cast<long double>(n.i)
                                                                            : static_cast<long double>(n.u));
    }
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
    case kCFNumberCGFloatType: {
      double d = numberToDouble(n);
      std::memcpy(valuePtr, &d, sizeof d);
      if (n.kind == NumberBox::Real) return true;
      return static_cast<long double>(d) ==
             (n.kind == NumberBox::Signed ? static_cast<long double>(n.i) : static_cast<long double>(n.u));
    }
    case 17: {  // 128-bit integer {high, low}, as the device's private kCFNumberSInt128Type
      int64_t high = 0;
      uint64_t low = 0;
      bool exact = true;
      if (n.kind == NumberBox::Signed) {
        high = n.i < 0 ? -1 : 0, low = static_cast<uint64_t>(n.i);
      } else if (n.kind == NumberBox::Unsigned) {
        low = n.u;
      } else {
        long long whole = numberToLongLong(n);
        high = whole < 0 ? -1 : 0, low = static_cast<uint64_t>(whole);
        exact = !std::isnan(n.d) && static_cast<long double>(whole) == static_cast<long double>(n.d);
      }
      std::memcpy(valuePtr, &high, sizeof high);
      std::memcpy(static_cast<char*>(valuePtr) + sizeof high, &low, sizeof low);
      return exact;
    }
    default: return false;
  }
}

CFComparisonResult CFNumberCompare(CFNumberRef number, CFNumberRef otherNumber, void*) {
  return compareNumbers(numberOf(toId(number)), numberOf(toId(otherNumber)));
}

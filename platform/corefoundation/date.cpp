// NSDate / CFDate: a point in time as seconds since 1 Jan 2001 GMT. Nothing here reads the clock.
#include "cf_internal.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

const CFTimeInterval kCFAbsoluteTimeIntervalSince1970 = 978307200.0;

namespace cf {
namespace {

struct DateBox : Box {
  double at = 0;
};

DateBox* makeBox(double at) {
  auto* box = new DateBox;
  box->at = at;
  return box;
}

Class classOf(id cls) { return reinterpret_cast<Class>(cls); }

id dateSinceReference(id cls, SEL, double seconds) { return host::autorelease(newObject(classOf(cls), makeBox(seconds))); }
id dateSince1970(id cls, SEL, double seconds) {
  return host::autorelease(newObject(classOf(cls), makeBox(seconds - kCFAbsoluteTimeIntervalSince1970)));
}
id initSinceReference(id self, SEL, double seconds) {
  setBox(self, makeBox(seconds));
  return self;
}
double sinceReference(id self, SEL) { return dateOf(self); }
double since1970(id self, SEL) { return dateOf(self) + kCFAbsoluteTimeIntervalSince1970; }
BOOL isEqual(id self, SEL, id other) { return familyOf(other) == Family::Date && dateOf(other) == dateOf(self) ? YES : NO; }
// Whole seconds; a date no integer holds (a key or set member read from a list may be any double)
// hashes by its bits.
unsigned long hashOf(id self, SEL) {
  double at = dateOf(self);
  if (std::fabs(at) < 9.2e18) return static_cast<unsigned long>(static_cast<long long>(at));
  uint64_t bits;
  std::memcpy(&bits, &at, sizeof bits);
  return static_cast<unsigned long>(bits);
}
long compare(id self, SEL, id other) {
  double a = dateOf(self), b = dateOf(other);
  return a < b ? -1 : a > b ? 1 : 0;
}
id description(id self, SEL) { return autoreleasedString(formatDate(dateOf(self))); }
id copyRetained(id self, SEL) { return host::retain(self); }

}  // namespace

void defineDateClass(Classes& c) {
  c.date = host::ClassBuilder("NSDate", c.object)
               .ivar("_cfBox", sizeof(void*), alignof(void*), "^v")
               .classMethod("dateWithTimeIntervalSinceReferenceDate:", &dateSinceReference)
               .classMethod("dateWithTimeIntervalSince1970:", &dateSince1970)
               .method("initWithTimeIntervalSinceReferenceDate:", &initSinceReference)
               .method("timeIntervalSinceReferenceDate", &sinceReference)
               .method("timeIntervalSince1970", &since1970)
               .method("isEqual:", &isEqual)
               .method("isEqualToDate:", &isEqual)
               .method("hash", &hashOf)
               .method("compare:", &compare)
               .method("description", &description)
               .method("copy", &copyRetained)
               .registerClass();
  addFamilyBasics(c.date);
}

double dateOf(id date) {
  if (familyOf(date) != Family::Date) fatal("-[%s timeIntervalSinceReferenceDate]: not a date", date ? object_getClassName(date) : "nil");
  DateBox* box = boxOf<DateBox>(date);
  return box ? box->at : 0;
}

id newDate(double absoluteTime) { return newObject(classes().date, makeBox(absoluteTime)); }

std::string formatDate(double absoluteTime) {
  // A stored date can be any double: beyond some 30 million years (or NaN) it shows as that bound.
  constexpr double kBound = 1e15;
  double seconds = std::floor(absoluteTime + kCFAbsoluteTimeIntervalSince1970);
  seconds = seconds > kBound ? kBound : seconds > -kBound ? seconds : -kBound;
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buffer[64];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S +0000", &tm);
  return buffer;
}

}  // namespace cf

using namespace cf;

CFTypeID CFDateGetTypeID(void) { return 42; }
CFDateRef CFDateCreate(CFAllocatorRef, CFAbsoluteTime at) { return toCF<CFDateRef>(newDate(at)); }
CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef theDate) { return dateOf(toId(theDate)); }
CFComparisonResult CFDateCompare(CFDateRef theDate, CFDateRef otherDate, void*) {
  double a = dateOf(toId(theDate)), b = dateOf(toId(otherDate));
  return a < b ? kCFCompareLessThan : a > b ? kCFCompareGreaterThan : kCFCompareEqualTo;
}

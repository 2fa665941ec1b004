// UIColor: an RGBA colour in the sRGB space, compared by its components.
#include <functional>

#include "uikit_internal.h"

namespace host::uikit::internal {
namespace {

struct Components {
  CGFloat red, green, blue, alpha;
};
Components& componentsOf(id color) { return ivarRef<Components>(color, "_hostComponents"); }

id colorInit(id self, SEL, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
  componentsOf(self) = {red, green, blue, alpha};
  return self;
}
id colorInitWhite(id self, SEL, CGFloat white, CGFloat alpha) { return colorInit(self, nullptr, white, white, white, alpha); }

id colorWith(id cls, SEL, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
  return autorelease(colorInit(send(cls, "alloc"), nullptr, red, green, blue, alpha));
}
id colorWithWhite(id cls, SEL, CGFloat white, CGFloat alpha) { return colorWith(cls, nullptr, white, white, white, alpha); }

// The named colours, in their light-appearance values.
id systemBlueColor(id cls, SEL) { return colorWith(cls, nullptr, 0.0, 122.0 / 255.0, 1.0, 1.0); }
id whiteColor(id cls, SEL) { return colorWith(cls, nullptr, 1, 1, 1, 1); }
id blackColor(id cls, SEL) { return colorWith(cls, nullptr, 0, 0, 0, 1); }
id clearColor(id cls, SEL) { return colorWith(cls, nullptr, 0, 0, 0, 0); }

BOOL colorGetComponents(id self, SEL, CGFloat* red, CGFloat* green, CGFloat* blue, CGFloat* alpha) {
  const Components& c = componentsOf(self);
  if (red != nullptr) *red = c.red;
  if (green != nullptr) *green = c.green;
  if (blue != nullptr) *blue = c.blue;
  if (alpha != nullptr) *alpha = c.alpha;
  return YES;
}

BOOL colorIsEqual(id self, SEL, id other) {
  if (other == self) return YES;
  if (!isKindOf(other, requireClass("UIColor"))) return NO;
  const Components& a = componentsOf(self);
  const Components& b = componentsOf(other);
  return a.red == b.red && a.green == b.green && a.blue == b.blue && a.alpha == b.alpha ? YES : NO;
}

unsigned long colorHash(id self, SEL) {
  const Components& c = componentsOf(self);
  std::hash<double> h;
  return h(c.red) ^ (h(c.green) << 1) ^ (h(c.blue) << 2) ^ (h(c.alpha) << 3);
}

// Colours are immutable: a copy is the same object.
id colorCopy(id self, SEL) { return retain(self); }

}  // namespace

id makeColor(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
  return send(reinterpret_cast<id>(requireClass("UIColor")), "colorWithRed:green:blue:alpha:", red, green, blue, alpha);
}

void defineColor() {
  ClassBuilder("UIColor", "NSObject")
      .ivar<Components>("_hostComponents")
      .method("initWithRed:green:blue:alpha:", &colorInit)
      .method("initWithWhite:alpha:", &colorInitWhite)
      .classMethod("colorWithRed:green:blue:alpha:", &colorWith)
      .classMethod("colorWithWhite:alpha:", &colorWithWhite)
      .classMethod("systemBlueColor", &systemBlueColor)
      .classMethod("whiteColor", &whiteColor)
      .classMethod("blackColor", &blackColor)
      .classMethod("clearColor", &clearColor)
      .method("getRed:green:blue:alpha:", &colorGetComponents)
      .method("isEqual:", &colorIsEqual)
      .method("hash", &colorHash)
      .method("copy", &colorCopy)
      .registerClass();
}

}  // namespace host::uikit::internal

namespace host::uikit {

RGBA components(id color) {
  RGBA c;
  if (!isKindOf(color, requireClass("UIColor"))) return c;
  send<BOOL>(color, "getRed:green:blue:alpha:", &c.red, &c.green, &c.blue, &c.alpha);
  return c;
}

RGBA systemBlue() {
  AutoreleasePool pool;
  return components(send(reinterpret_cast<id>(requireClass("UIColor")), "systemBlueColor"));
}

}  // namespace host::uikit

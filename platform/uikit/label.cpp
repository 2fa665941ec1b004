// UIFont (the system font at a point size) and UILabel.
#include "uikit_internal.h"

namespace host::uikit::internal {
namespace {

constexpr CGFloat kLabelDefaultPointSize = 17;

id makeFont(id cls, CGFloat size, bool bold) {
  id font = send(cls, "new");
  ivarRef<CGFloat>(font, "_pointSize") = size;
  ivarRef<BOOL>(font, "_bold") = bold ? YES : NO;
  return autorelease(font);
}
id systemFontOfSize(id cls, SEL, CGFloat size) { return makeFont(cls, size, false); }
id boldSystemFontOfSize(id cls, SEL, CGFloat size) { return makeFont(cls, size, true); }
CGFloat fontPointSize(id self, SEL) { return ivarRef<CGFloat>(self, "_pointSize"); }
id fontWithSize(id self, SEL, CGFloat size) {
  return makeFont(reinterpret_cast<id>(object_getClass(self)), size, ivarRef<BOOL>(self, "_bold") != NO);
}
id fontName(id self, SEL) {
  const char* name = ivarRef<BOOL>(self, "_bold") ? ".SFUI-Semibold" : ".SFUI-Regular";
  return send(reinterpret_cast<id>(requireClass("NSString")), "stringWithUTF8String:", name);
}
BOOL fontIsEqual(id self, SEL, id other) {
  if (!isKindOf(other, requireClass("UIFont"))) return NO;
  return ivarRef<CGFloat>(self, "_pointSize") == ivarRef<CGFloat>(other, "_pointSize") &&
                 ivarRef<BOOL>(self, "_bold") == ivarRef<BOOL>(other, "_bold")
             ? YES
             : NO;
}
id fontCopy(id self, SEL) { return retain(self); }

// ---- UILabel ----

// A label without a font of its own shows the system font at 17 points.
id labelFont(id self, SEL) {
  id font = ivarRef<id>(self, "_font");
  if (font != nullptr) return font;
  return send(reinterpret_cast<id>(requireClass("UIFont")), "systemFontOfSize:", kLabelDefaultPointSize);
}
void labelSetFont(id self, SEL, id font) { assignStrong(ivarRef<id>(self, "_font"), font); }
long labelNumberOfLines(id self, SEL) { return ivarRef<long>(self, "_numberOfLines"); }
void labelSetNumberOfLines(id self, SEL, long lines) { ivarRef<long>(self, "_numberOfLines") = lines; }
id labelInitWithFrame(id self, SEL, CGRect frame) {
  self = sendSuper(self, requireClass("UIView"), "initWithFrame:", frame);
  ivarRef<long>(self, "_numberOfLines") = 1;
  return self;
}

}  // namespace

void defineLabels() {
  ClassBuilder("UIFont", "NSObject")
      .ivar<CGFloat>("_pointSize")
      .ivar<BOOL>("_bold")
      .classMethod("systemFontOfSize:", &systemFontOfSize)
      .classMethod("boldSystemFontOfSize:", &boldSystemFontOfSize)
      .method("pointSize", &fontPointSize)
      .method("fontWithSize:", &fontWithSize)
      .method("fontName", &fontName)
      .method("isEqual:", &fontIsEqual)
      .method("copy", &fontCopy)
      .registerClass();
  Class label = ClassBuilder("UILabel", "UIView")
                    .strongProperty("text")
                    .strongProperty("textColor")
                    .ivar<id>("_font")
                    .ivar<long>("_numberOfLines")
                    .method("initWithFrame:", &labelInitWithFrame)
                    .method("font", &labelFont)
                    .method("setFont:", &labelSetFont)
                    .method("numberOfLines", &labelNumberOfLines)
                    .method("setNumberOfLines:", &labelSetNumberOfLines)
                    .registerClass();
  releaseIvarAtDealloc(label, "_font");
}

}  // namespace host::uikit::internal

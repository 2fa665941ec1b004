// The system code's message helper against the host runtime.
#include <gtest/gtest.h>

#include "common/objc_msg.h"
#include "host/objc.h"

namespace {

struct Rect {
  double x, y, width, height;
};

}  // namespace

// Methods record their types: a struct's encoding is declared where the struct is.
template <>
struct host::TypeEncoding<Rect> {
  static constexpr std::string_view value = "{Rect=dddd}";
};

namespace {

Rect frameOf(id, SEL) { return Rect{1, 2, 300, 400}; }
double scaled(id, SEL, double value, long factor) { return value * static_cast<double>(factor); }
BOOL isBig(id, SEL, double value) { return value > 100 ? YES : NO; }
const char* whoBase(id, SEL) { return "base"; }
const char* whoDerived(id, SEL) { return "derived"; }

Class base() {
  static Class cls = host::ClassBuilder("MessageTestBase", "NSObject")
                         .method("frame", &frameOf)
                         .method("scaled:by:", &scaled)
                         .method("isBig:", &isBig)
                         .method("who", &whoBase)
                         .registerClass();
  return cls;
}
Class derived() {
  static Class cls = host::ClassBuilder("MessageTestDerived", base()).method("who", &whoDerived).registerClass();
  return cls;
}

TEST(MessageHelper, PassesAndReturnsAnyTypes) {
  id object = rv::msg(rv::msg(derived(), RV_SEL("alloc")), RV_SEL("init"));
  Rect r = rv::msg<Rect>(object, RV_SEL("frame"));
  EXPECT_EQ(r.width, 300);
  EXPECT_EQ(r.height, 400);
  EXPECT_DOUBLE_EQ(rv::msg<double>(object, RV_SEL("scaled:by:"), 1.5, 4L), 6.0);
  EXPECT_TRUE(rv::isYes(rv::msg<BOOL>(object, RV_SEL("isBig:"), 101.0)));
  EXPECT_FALSE(rv::isYes(rv::msg<BOOL>(object, RV_SEL("isBig:"), 99.0)));
  rv::msg<void>(object, RV_SEL("release"));
}

TEST(MessageHelper, NilReceiversAnswerZero) {
  id nothing = nullptr;
  Rect r = rv::msg<Rect>(nothing, RV_SEL("frame"));
  EXPECT_EQ(r.width, 0);
  EXPECT_EQ(rv::msg<double>(nothing, RV_SEL("scaled:by:"), 1.5, 4L), 0.0);
  EXPECT_EQ(rv::msg(nothing, RV_SEL("anything")), nullptr);
  rv::msg<void>(nothing, RV_SEL("release"));
}

TEST(MessageHelper, SuperSendsStartAtTheGivenClass) {
  id object = rv::msg(derived(), RV_SEL("new"));
  EXPECT_STREQ(rv::msg<const char*>(object, RV_SEL("who")), "derived");
  EXPECT_STREQ(rv::msgSuper<const char*>(object, base(), RV_SEL("who")), "base");
  rv::msg<void>(object, RV_SEL("release"));
}

TEST(MessageHelper, SelectorsAreRegisteredOnce) {
  SEL first = RV_SEL("who");
  EXPECT_EQ(first, sel_registerName("who"));
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(sel_isEqual(RV_SEL("frame"), sel_registerName("frame")));
}

}  // namespace

// The view tree and Auto Layout: what the pane's header and banner rely on.
#include <gtest/gtest.h>

#include "host/uikit.h"
#include "uikit_test_support.h"

namespace {

using namespace uikit_testing;
using host::send;

bool sameRect(CGRect a, CGRect b) { return CGRectEqualToRect(a, b) != 0; }

TEST(ViewTree, SubviewsKeepTheOrderTheyWereAddedInAndAReAddMovesToTheFront) {
  host::AutoreleasePool pool;
  id parent = newView("UIView", CGRectMake(0, 0, 100, 100));
  id a = newView("UIView", CGRectZero);
  id b = newView("UILabel", CGRectZero);
  send<void>(parent, "addSubview:", a);
  send<void>(parent, "addSubview:", b);
  EXPECT_EQ(elements(send(parent, "subviews")), (std::vector<id>{a, b}));
  send<void>(parent, "addSubview:", a);
  EXPECT_EQ(elements(send(parent, "subviews")), (std::vector<id>{b, a}));
  send<void>(b, "removeFromSuperview");
  EXPECT_EQ(elements(send(parent, "subviews")), (std::vector<id>{a}));
  EXPECT_EQ(send(b, "superview"), nullptr);
  for (id v : {a, b, parent}) host::release(v);
}

TEST(ViewTree, MovingAViewToAnotherSuperviewTakesItFromTheFirst) {
  host::AutoreleasePool pool;
  id first = newView("UIView", CGRectZero);
  id second = newView("UIView", CGRectZero);
  id child = newView("UIView", CGRectZero);
  send<void>(first, "addSubview:", child);
  host::release(child);
  send<void>(second, "addSubview:", child);
  EXPECT_EQ(send<unsigned long>(send(first, "subviews"), "count"), 0u);
  EXPECT_EQ(send(child, "superview"), second);
  host::release(first);
  host::release(second);
}

TEST(ViewTree, AViewCannotBeAddedInsideItself) {
  EXPECT_DEATH(
      {
        id parent = newView("UIView", CGRectZero);
        id child = newView("UIView", CGRectZero);
        send<void>(parent, "addSubview:", child);
        send<void>(child, "addSubview:", parent);
      },
      "Can't add self as subview");
}

// The pane's banner: an image view pinned to its header on all four edges.
struct Banner {
  id header = newView("UIView", CGRectMake(0, 0, 160, 160));
  id image = newView("UIImageView", CGRectMake(0, 0, 160, 160));
  std::vector<id> constraints;

  Banner() {
    send<void>(header, "addSubview:", image);
    send<void>(image, "setTranslatesAutoresizingMaskIntoConstraints:", static_cast<BOOL>(NO));
    for (const char* anchor : {"topAnchor", "leadingAnchor", "trailingAnchor", "bottomAnchor"})
      constraints.push_back(send(send(image, anchor), "constraintEqualToAnchor:", send(header, anchor)));
  }
  void activate() { send<void>(cls("NSLayoutConstraint"), "activateConstraints:", array(constraints)); }
  ~Banner() {
    host::release(image);
    host::release(header);
  }
};

TEST(Layout, ConstraintsRecordTheirItemsAttributesAndConstant) {
  host::AutoreleasePool pool;
  Banner banner;
  id top = banner.constraints[0];
  EXPECT_EQ(send(top, "firstItem"), banner.image);
  EXPECT_EQ(send(top, "secondItem"), banner.header);
  EXPECT_EQ(send<long>(top, "firstAttribute"), 3);   // top
  EXPECT_EQ(send<long>(banner.constraints[1], "secondAttribute"), 5);  // leading
  EXPECT_EQ(send<long>(banner.constraints[2], "firstAttribute"), 6);   // trailing
  EXPECT_EQ(send<CGFloat>(top, "constant"), 0.0);
  EXPECT_FALSE(yes(send<BOOL>(top, "isActive")));
  banner.activate();
  EXPECT_TRUE(yes(send<BOOL>(top, "isActive")));
}

TEST(Layout, EdgeConstraintsMakeTheImageViewFillItsHeaderWhenItIsWidened) {
  host::AutoreleasePool pool;
  Banner banner;
  banner.activate();
  send<void>(banner.header, "setFrame:", CGRectMake(0, 0, 390, 160));
  EXPECT_TRUE(sameRect(host::uikit::frame(banner.image), CGRectMake(0, 0, 160, 160)));  // until the next layout pass
  send<void>(banner.header, "layoutIfNeeded");
  EXPECT_TRUE(sameRect(host::uikit::frame(banner.image), CGRectMake(0, 0, 390, 160)));
}

TEST(Layout, InactiveConstraintsAndAutoresizingViewsAreLeftAlone) {
  host::AutoreleasePool pool;
  Banner banner;
  send<void>(banner.header, "setFrame:", CGRectMake(0, 0, 390, 160));
  send<void>(banner.header, "layoutIfNeeded");
  EXPECT_TRUE(sameRect(host::uikit::frame(banner.image), CGRectMake(0, 0, 160, 160)));
  banner.activate();
  send<void>(banner.image, "setTranslatesAutoresizingMaskIntoConstraints:", static_cast<BOOL>(YES));
  send<void>(banner.header, "layoutIfNeeded");
  EXPECT_TRUE(sameRect(host::uikit::frame(banner.image), CGRectMake(0, 0, 160, 160)));
}

TEST(Layout, ConstantsOffsetTheEdges) {
  host::AutoreleasePool pool;
  id parent = newView("UIView", CGRectMake(0, 0, 300, 200));
  id child = newView("UIView", CGRectZero);
  send<void>(parent, "addSubview:", child);
  send<void>(child, "setTranslatesAutoresizingMaskIntoConstraints:", static_cast<BOOL>(NO));
  std::vector<id> constraints = {
      send(send(child, "topAnchor"), "constraintEqualToAnchor:constant:", send(parent, "topAnchor"), CGFloat{10}),
      send(send(child, "leadingAnchor"), "constraintEqualToAnchor:constant:", send(parent, "leadingAnchor"), CGFloat{20}),
      send(send(child, "trailingAnchor"), "constraintEqualToAnchor:constant:", send(parent, "trailingAnchor"), CGFloat{-20}),
      send(send(child, "heightAnchor"), "constraintEqualToConstant:", CGFloat{50}),
  };
  send<void>(cls("NSLayoutConstraint"), "activateConstraints:", array(constraints));
  send<void>(parent, "layoutIfNeeded");
  EXPECT_TRUE(sameRect(host::uikit::frame(child), CGRectMake(20, 10, 260, 50)));
  host::release(child);
  host::release(parent);
}

TEST(Layout, RemovingAViewDeactivatesItsConstraintsToTheViewsItLeaves) {
  host::AutoreleasePool pool;
  Banner banner;
  banner.activate();
  send<void>(banner.image, "removeFromSuperview");
  for (id c : banner.constraints) EXPECT_FALSE(yes(send<BOOL>(c, "isActive")));
}

TEST(Layout, ConstraintsBetweenUnrelatedViewsCannotBeActivated) {
  EXPECT_DEATH(
      {
        id a = newView("UIView", CGRectZero);
        id b = newView("UIView", CGRectZero);
        send<void>(send(send(a, "topAnchor"), "constraintEqualToAnchor:", send(b, "topAnchor")), "setActive:",
                   static_cast<BOOL>(YES));
      },
      "no common ancestor");
}

TEST(Layout, AnchorsOfDifferentAxesCannotBeEqual) {
  EXPECT_DEATH(
      {
        id a = newView("UIView", CGRectZero);
        send(send(a, "topAnchor"), "constraintEqualToAnchor:", send(a, "leadingAnchor"));
      },
      "NSLayoutYAxisAnchor.*NSLayoutXAxisAnchor");
}

TEST(ViewTree, AViewWithConstraintsIsFreedWithItsTree) {
  long before = host::liveObjectCount();
  {
    host::AutoreleasePool pool;
    Banner banner;
    banner.activate();
  }
  EXPECT_EQ(host::liveObjectCount(), before);
}

}  // namespace

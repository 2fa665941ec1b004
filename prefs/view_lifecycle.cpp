// The page's own look: the Respring button, the banner header, and the pane tint on the page and its
// navigation bars while the page is on screen.
#include "common/objc_msg.h"
#include "prefs/pane.h"
#include "rootpath/rootpath.h"

namespace pane {
namespace {

constexpr long kBarButtonStylePlain = 0;
constexpr long kContentModeScaleAspectFill = 2;
constexpr CGFloat kHeaderSide = 160;
const char kBannerPath[] = "/Library/PreferenceBundles/RaveloPrefs.bundle/banner.png";

// A new view of `className` with the header frame, handed to `setter` (which retains it).
void storeNewView(id self, const char* className, SEL setter) {
  id view = rv::msg(rv::msg(classNamed(className), RV_SEL("alloc")), RV_SEL("initWithFrame:"),
                    CGRectMake(0, 0, kHeaderSide, kHeaderSide));
  rv::msg<void>(self, setter, view);
  rv::msg<void>(view, RV_SEL("release"));
}

// The banner image below the jailbreak root, or nil when the path does not resolve or the file is
// missing or unreadable (the header then stays an empty 160-point band).
id loadBanner() {
  char resolved[kRootPathBufferSize];
  const char* rootfsForm = rv::msg<const char*>(string(kBannerPath), RV_SEL("fileSystemRepresentation"));
  id path = string(jbrootPath(rootfsForm, resolved));
  return rv::msg(classNamed("UIImage"), RV_SEL("imageWithContentsOfFile:"), path);
}

// imageView.<anchor> equal to headerView.<anchor>, constant 0.
id constraint(id imageView, id headerView, const char* anchor) {
  SEL anchorSel = sel_registerName(anchor);
  id own = rv::msg(imageView, anchorSel);
  id other = rv::msg(headerView, anchorSel);
  return rv::msg(own, RV_SEL("constraintEqualToAnchor:"), other);
}

// The navigation bar of the page's navigation controller (first) and of the one enclosing it.
// A missing controller at either level leaves that bar alone (messages to nil do nothing).
void tintBars(id self, id (*makeColor)()) {
  id navigationController = rv::msg(self, RV_SEL("navigationController"));
  id bar = rv::msg(navigationController, RV_SEL("navigationBar"));
  rv::msg<void>(bar, RV_SEL("setTintColor:"), makeColor());
  id enclosing = rv::msg(navigationController, RV_SEL("navigationController"));
  id enclosingBar = rv::msg(enclosing, RV_SEL("navigationBar"));
  rv::msg<void>(enclosingBar, RV_SEL("setTintColor:"), makeColor());
}

id systemBlue() { return rv::msg(classNamed("UIColor"), RV_SEL("systemBlueColor")); }

}  // namespace

// Builds a fresh button and header pair each time the view loads; the header is put above the table
// by the cell requests (cells.cpp), not here.
void viewDidLoad(id self, SEL cmd) {
  rv::msgSuper<void>(self, superclass(), cmd);

  id button = rv::msg(rv::msg(classNamed("UIBarButtonItem"), RV_SEL("alloc")),
                      RV_SEL("initWithTitle:style:target:action:"), string("Respring"), kBarButtonStylePlain, self,
                      RV_SEL("respring"));
  rv::msg<void>(rv::msg(self, RV_SEL("navigationItem")), RV_SEL("setRightBarButtonItem:"), button);
  rv::msg<void>(button, RV_SEL("release"));

  rv::msg<void>(rv::msg(self, RV_SEL("view")), RV_SEL("setTintColor:"), tintColor());

  storeNewView(self, "UIView", RV_SEL("setHeaderView:"));
  storeNewView(self, "UIImageView", RV_SEL("setHeaderImageView:"));
  id header = rv::msg(self, RV_SEL("headerView"));
  id imageView = rv::msg(self, RV_SEL("headerImageView"));

  rv::msg<void>(imageView, RV_SEL("setContentMode:"), kContentModeScaleAspectFill);
  rv::msg<void>(imageView, RV_SEL("setImage:"), loadBanner());
  rv::msg<void>(imageView, RV_SEL("setClipsToBounds:"), static_cast<BOOL>(YES));
  rv::msg<void>(header, RV_SEL("addSubview:"), imageView);
  rv::msg<void>(imageView, RV_SEL("setTranslatesAutoresizingMaskIntoConstraints:"), static_cast<BOOL>(NO));

  // The banner fills the header on all four sides and follows it when the table widens it.
  id constraints[] = {
      constraint(imageView, header, "topAnchor"),
      constraint(imageView, header, "leadingAnchor"),
      constraint(imageView, header, "trailingAnchor"),
      constraint(imageView, header, "bottomAnchor"),
  };
  id array = rv::msg(classNamed("NSArray"), RV_SEL("arrayWithObjects:count:"), static_cast<const id*>(constraints),
                     static_cast<unsigned long>(sizeof constraints / sizeof constraints[0]));
  rv::msg<void>(classNamed("NSLayoutConstraint"), RV_SEL("activateConstraints:"), array);
}

void viewWillAppear(id self, SEL cmd, BOOL animated) {
  rv::msgSuper<void>(self, superclass(), cmd, animated);
  tintBars(self, &tintColor);
}

// Leaving the page always sets system blue: nothing is remembered of the bars' earlier tints.
void viewWillDisappear(id self, SEL cmd, BOOL animated) {
  rv::msgSuper<void>(self, superclass(), cmd, animated);
  tintBars(self, &systemBlue);
}

}  // namespace pane

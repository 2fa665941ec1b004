// The home screen: icon views, the icon manager that opens the app of a tapped icon, and the folder
// view whose pages a finger drags.
#include "host/trace.h"
#include "springboard_internal.h"

namespace host::springboard::detail {
namespace {

// -[SBHIconManager iconTapped:]: opens the app the icon stands for.
void iconTapped(id self, SEL, id iconView) {
  ++host::ivarRef<int>(self, "_appsOpened");
  host::ivarRef<id>(self, "_lastTappedIcon") = iconView;
  host::trace("SpringBoard: icon tapped, its app opens");
}

// -[SBFolderView scrollViewWillBeginDragging:]: the pages start to follow the finger.
void scrollViewWillBeginDragging(id self, SEL, id scrollView) {
  ++host::ivarRef<int>(self, "_pageDragsBegun");
  host::ivarRef<id>(self, "_draggingScrollView") = scrollView;
  host::trace("SpringBoard: home-screen pages follow the finger");
}

}  // namespace

void defineIconView() { host::ClassBuilder("SBIconView", "UIView").registerClass(); }

// The paged scroll view of the home screen (a UIScrollView on the device; only its identity matters
// here).
void defineIconScrollView() { host::ClassBuilder("SBIconScrollView", "UIView").registerClass(); }

void defineIconManager() {
  host::ClassBuilder("SBHIconManager", "NSObject")
      .ivar<int>("_appsOpened")
      .ivar<id>("_lastTappedIcon")
      .method("iconTapped:", &iconTapped)
      .registerClass();
}

void defineFolderView() {
  host::ClassBuilder("SBFolderView", "UIView")
      .strongProperty("scrollView")
      .ivar<int>("_pageDragsBegun")
      .ivar<id>("_draggingScrollView")
      .method("scrollViewWillBeginDragging:", &scrollViewWillBeginDragging)
      .registerClass();
}

}  // namespace host::springboard::detail

// The home screen: icon views, the icon manager that opens the app of a tapped icon, and the folder
// view whose pages a finger drags.
//
// A tap goes from the icon view to its delegate, the icon manager. Up to iOS 16 the view sends
// iconTapped:. From iOS 17 the manager also has iconTapped:modifierFlags:, and the view sends that
// whenever its delegate answers it (iconTapped: otherwise); the manager's implementation opens the app
// itself, without sending iconTapped:, which only VoiceOver's activation still reaches.
#include "host/springboard.h"
#include "host/trace.h"
#include "springboard_internal.h"

namespace host::springboard::detail {
namespace {

void openApp(id manager, id iconView) {
  ++host::ivarRef<int>(manager, "_appsOpened");
  host::ivarRef<id>(manager, "_lastTappedIcon") = iconView;
  host::trace("SpringBoard: icon tapped, its app opens");
}

// -[SBHIconManager iconTapped:]: opens the app the icon stands for.
void iconTapped(id self, SEL, id iconView) { openApp(self, iconView); }

// -[SBHIconManager iconTapped:modifierFlags:] (iOS 17 on): the same, keeping the flags it was given.
void iconTappedWithFlags(id self, SEL, id iconView, long long modifierFlags) {
  host::ivarRef<long long>(self, "_lastModifierFlags") = modifierFlags;
  openApp(self, iconView);
}

bool answers(id object, const char* selector) {
  return object != nullptr && class_respondsToSelector(object_getClass(object), host::sel(selector));
}

// -[SBIconView _handleTapWithModifierFlags:] (iOS 17 on).
void handleTapWithModifierFlags(id self, SEL, long long modifierFlags) {
  id delegate = host::send(self, "delegate");
  if (answers(delegate, "iconTapped:modifierFlags:"))
    host::send<void>(delegate, "iconTapped:modifierFlags:", self, modifierFlags);
  else if (answers(delegate, "iconTapped:"))
    host::send<void>(delegate, "iconTapped:", self);
}

// -[SBIconView _handleTap]: the icon's tap gesture ended.
void handleTap(id self, SEL) {
  if (systemVersion() >= 17) return host::send<void>(self, "_handleTapWithModifierFlags:", 0LL);
  host::send<void>(host::send(self, "delegate"), "iconTapped:", self);
}

// -[SBFolderView scrollViewWillBeginDragging:]: the pages start to follow the finger.
void scrollViewWillBeginDragging(id self, SEL, id scrollView) {
  ++host::ivarRef<int>(self, "_pageDragsBegun");
  host::ivarRef<id>(self, "_draggingScrollView") = scrollView;
  host::trace("SpringBoard: home-screen pages follow the finger");
}

}  // namespace

void defineIconView() {
  host::ClassBuilder view("SBIconView", "UIView");
  view.assignProperty("delegate").method("_handleTap", &handleTap);
  if (systemVersion() >= 17) view.method("_handleTapWithModifierFlags:", &handleTapWithModifierFlags);
  view.registerClass();
}

// The paged scroll view of the home screen (a UIScrollView on the device; only its identity matters
// here).
void defineIconScrollView() { host::ClassBuilder("SBIconScrollView", "UIView").registerClass(); }

void defineIconManager() {
  host::ClassBuilder manager("SBHIconManager", "NSObject");
  manager.ivar<int>("_appsOpened").ivar<id>("_lastTappedIcon").ivar<long long>("_lastModifierFlags");
  manager.method("iconTapped:", &iconTapped);
  if (systemVersion() >= 17) manager.method("iconTapped:modifierFlags:", &iconTappedWithFlags);
  manager.registerClass();
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

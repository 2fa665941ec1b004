// UIResponder and UIView: frames, the subview tree, tint colours and the view flags the pane sets.
#include <cstdio>

#include "uikit_internal.h"

namespace host::uikit::internal {
namespace {

Class viewClass;

CGRect& frameOf(id view) { return ivarRef<CGRect>(view, "_frame"); }

// ---- UIResponder ----

id responderNext(id, SEL) { return nullptr; }

// ---- UIView: creation and tear-down ----

id viewInit(id self, SEL) { return send(self, "initWithFrame:", CGRectZero); }

id viewInitWithFrame(id self, SEL, CGRect frame) {
  frameOf(self) = frame;
  viewState(self);
  return self;
}

void viewDealloc(id self, SEL) {
  auto*& state = ivarRef<ViewState*>(self, "_hostViewState");
  if (state != nullptr) {
    releaseHeldConstraints(*state);
    for (id subview : state->subviews) {
      viewState(subview).superview = nullptr;
      release(subview);
    }
    release(state->tintColor);
    release(state->backgroundColor);
    delete state;
    state = nullptr;
  }
  sendSuper<void>(self, class_getSuperclass(viewClass), "dealloc");
}

// ---- geometry ----

CGRect viewFrame(id self, SEL) { return frameOf(self); }
void viewSetFrame(id self, SEL, CGRect frame) { frameOf(self) = frame; }
CGRect viewBounds(id self, SEL) { return CGRectMake(0, 0, frameOf(self).size.width, frameOf(self).size.height); }
void viewSetBounds(id self, SEL, CGRect bounds) { frameOf(self).size = bounds.size; }
void viewLayoutIfNeeded(id self, SEL) { layOut(self); }
void viewSetNeedsLayout(id, SEL) {}
void viewLayoutSubviews(id, SEL) {}

// ---- the tree ----

id viewSubviews(id self, SEL) { return makeArray(viewState(self).subviews); }
id viewSuperview(id self, SEL) { return viewState(self).superview; }

void detach(id view) {
  ViewState& state = viewState(view);
  id parent = state.superview;
  if (parent == nullptr) return;
  deactivateConstraintsLeaving(view, parent);
  auto& siblings = viewState(parent).subviews;
  std::erase(siblings, view);
  state.superview = nullptr;
  release(view);
}

void viewAddSubview(id self, SEL, id view) {
  if (view == nullptr) return;
  if (isInSubtree(self, view)) raise("NSInvalidArgumentException", "Can't add self as subview");
  retain(view);   // the new superview's reference, taken first so the move cannot free the view
  detach(view);   // also when self is already its superview: the view moves to the front
  viewState(self).subviews.push_back(view);
  viewState(view).superview = self;
}

void viewRemoveFromSuperview(id self, SEL) { detach(self); }

BOOL viewIsDescendantOf(id self, SEL, id other) { return other != nullptr && isInSubtree(self, other) ? YES : NO; }

id viewNextResponder(id self, SEL) {
  ViewState& state = viewState(self);
  return state.viewController != nullptr ? state.viewController : state.superview;
}

// ---- appearance ----

// A view without its own tint takes its superview's; the root of a tree takes system blue.
id viewTintColor(id self, SEL) {
  for (id v = self; v != nullptr; v = viewState(v).superview)
    if (viewState(v).tintColor != nullptr) return viewState(v).tintColor;
  return send(reinterpret_cast<id>(requireClass("UIColor")), "systemBlueColor");
}
void viewSetTintColor(id self, SEL, id color) { assignStrong(viewState(self).tintColor, color); }
id viewBackgroundColor(id self, SEL) { return viewState(self).backgroundColor; }
void viewSetBackgroundColor(id self, SEL, id color) { assignStrong(viewState(self).backgroundColor, color); }
BOOL viewClipsToBounds(id self, SEL) { return viewState(self).clipsToBounds ? YES : NO; }
void viewSetClipsToBounds(id self, SEL, BOOL clips) { viewState(self).clipsToBounds = clips != NO; }
BOOL viewIsHidden(id self, SEL) { return viewState(self).hidden ? YES : NO; }
void viewSetHidden(id self, SEL, BOOL hidden) { viewState(self).hidden = hidden != NO; }
long viewContentMode(id self, SEL) { return viewState(self).contentMode; }
void viewSetContentMode(id self, SEL, long mode) { viewState(self).contentMode = mode; }
BOOL viewTranslates(id self, SEL) { return viewState(self).translatesAutoresizingMask ? YES : NO; }
void viewSetTranslates(id self, SEL, BOOL translates) { viewState(self).translatesAutoresizingMask = translates != NO; }

}  // namespace

ViewState& viewState(id view) {
  auto*& state = ivarRef<ViewState*>(view, "_hostViewState");
  if (state == nullptr) state = new ViewState;
  return *state;
}

bool isInSubtree(id view, id ancestor) {
  for (id v = view; v != nullptr; v = viewState(v).superview)
    if (v == ancestor) return true;
  return false;
}

void defineViews() {
  ClassBuilder("UIResponder", "NSObject").method("nextResponder", &responderNext).registerClass();
  viewClass = ClassBuilder("UIView", "UIResponder")
                  .ivar<CGRect>("_frame")
                  .ivar<ViewState*>("_hostViewState")
                  .method("init", &viewInit)
                  .method("initWithFrame:", &viewInitWithFrame)
                  .method("dealloc", &viewDealloc)
                  .method("frame", &viewFrame)
                  .method("setFrame:", &viewSetFrame)
                  .method("bounds", &viewBounds)
                  .method("setBounds:", &viewSetBounds)
                  .method("layoutIfNeeded", &viewLayoutIfNeeded)
                  .method("setNeedsLayout", &viewSetNeedsLayout)
                  .method("layoutSubviews", &viewLayoutSubviews)
                  .method("subviews", &viewSubviews)
                  .method("superview", &viewSuperview)
                  .method("addSubview:", &viewAddSubview)
                  .method("removeFromSuperview", &viewRemoveFromSuperview)
                  .method("isDescendantOfView:", &viewIsDescendantOf)
                  .method("nextResponder", &viewNextResponder)
                  .method("tintColor", &viewTintColor)
                  .method("setTintColor:", &viewSetTintColor)
                  .method("backgroundColor", &viewBackgroundColor)
                  .method("setBackgroundColor:", &viewSetBackgroundColor)
                  .method("clipsToBounds", &viewClipsToBounds)
                  .method("setClipsToBounds:", &viewSetClipsToBounds)
                  .method("isHidden", &viewIsHidden)
                  .method("setHidden:", &viewSetHidden)
                  .method("contentMode", &viewContentMode)
                  .method("setContentMode:", &viewSetContentMode)
                  .method("translatesAutoresizingMaskIntoConstraints", &viewTranslates)
                  .method("setTranslatesAutoresizingMaskIntoConstraints:", &viewSetTranslates)
                  .registerClass();
}

}  // namespace host::uikit::internal

namespace host::uikit {
CGRect frame(id view) { return send<CGRect>(view, "frame"); }
}  // namespace host::uikit

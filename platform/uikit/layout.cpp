// Auto Layout, as far as the pane uses it: anchors, equality constraints between them (each held by
// the nearest common ancestor of its items while active), and a layout pass that solves them.
#include <algorithm>
#include <cstdio>
#include <optional>

#include "uikit_internal.h"

namespace host::uikit::internal {
namespace {

// NSLayoutAttribute values, as the device numbers them.
enum Attribute : long {
  NotAnAttribute = 0,
  Left = 1,
  Right = 2,
  Top = 3,
  Bottom = 4,
  Leading = 5,
  Trailing = 6,
  Width = 7,
  Height = 8,
  CenterX = 9,
  CenterY = 10,
};

// Left-to-right layout: leading is left, trailing is right.
long physical(long attribute) {
  if (attribute == Leading) return Left;
  if (attribute == Trailing) return Right;
  return attribute;
}

// ---- anchors ----

id makeAnchor(const char* className, id item, long attribute) {
  id anchor = send(reinterpret_cast<id>(requireClass(className)), "new");
  ivarRef<id>(anchor, "_item") = item;
  ivarRef<long>(anchor, "_attribute") = attribute;
  return autorelease(anchor);
}

id topAnchor(id self, SEL) { return makeAnchor("NSLayoutYAxisAnchor", self, Top); }
id bottomAnchor(id self, SEL) { return makeAnchor("NSLayoutYAxisAnchor", self, Bottom); }
id centerYAnchor(id self, SEL) { return makeAnchor("NSLayoutYAxisAnchor", self, CenterY); }
id leadingAnchor(id self, SEL) { return makeAnchor("NSLayoutXAxisAnchor", self, Leading); }
id trailingAnchor(id self, SEL) { return makeAnchor("NSLayoutXAxisAnchor", self, Trailing); }
id leftAnchor(id self, SEL) { return makeAnchor("NSLayoutXAxisAnchor", self, Left); }
id rightAnchor(id self, SEL) { return makeAnchor("NSLayoutXAxisAnchor", self, Right); }
id centerXAnchor(id self, SEL) { return makeAnchor("NSLayoutXAxisAnchor", self, CenterX); }
id widthAnchor(id self, SEL) { return makeAnchor("NSLayoutDimension", self, Width); }
id heightAnchor(id self, SEL) { return makeAnchor("NSLayoutDimension", self, Height); }

id anchorItem(id self, SEL) { return ivarRef<id>(self, "_item"); }
long anchorAttribute(id self, SEL) { return ivarRef<long>(self, "_attribute"); }

id makeConstraint(id firstItem, long firstAttribute, id secondItem, long secondAttribute, CGFloat constant) {
  id c = send(reinterpret_cast<id>(requireClass("NSLayoutConstraint")), "new");
  ivarRef<id>(c, "_firstItem") = firstItem;
  ivarRef<long>(c, "_firstAttribute") = firstAttribute;
  ivarRef<id>(c, "_secondItem") = secondItem;
  ivarRef<long>(c, "_secondAttribute") = secondAttribute;
  ivarRef<CGFloat>(c, "_multiplier") = 1.0;
  ivarRef<CGFloat>(c, "_constant") = constant;
  return autorelease(c);
}

// Anchors of different axes (or a dimension and a position) cannot be equal: UIKit raises.
id anchorEqualConstant(id self, SEL, id other, CGFloat constant) {
  if (other == nullptr || object_getClass(other) != object_getClass(self)) {
    char reason[200];
    std::snprintf(reason, sizeof reason, "Invalid parameter not satisfying: anchor of class %s and anchor of class %s",
                  object_getClassName(self), other != nullptr ? object_getClassName(other) : "nil");
    raise("NSInternalInconsistencyException", reason);
  }
  return makeConstraint(ivarRef<id>(self, "_item"), ivarRef<long>(self, "_attribute"), ivarRef<id>(other, "_item"),
                        ivarRef<long>(other, "_attribute"), constant);
}
id anchorEqual(id self, SEL, id other) { return anchorEqualConstant(self, nullptr, other, 0); }
id dimensionEqualConstant(id self, SEL, CGFloat constant) {
  return makeConstraint(ivarRef<id>(self, "_item"), ivarRef<long>(self, "_attribute"), nullptr, NotAnAttribute, constant);
}

// ---- constraints ----

id nearestCommonAncestor(id a, id b) {
  if (b == nullptr) return a;
  for (id v = a; v != nullptr; v = viewState(v).superview)
    if (isInSubtree(b, v)) return v;
  return nullptr;
}

void constraintSetActive(id self, SEL, BOOL active) {
  id& holder = ivarRef<id>(self, "_hostHolder");
  if ((active != NO) == (holder != nullptr)) return;
  if (active == NO) {
    std::erase(viewState(holder).constraints, self);
    holder = nullptr;
    release(self);
    return;
  }
  id ancestor = nearestCommonAncestor(ivarRef<id>(self, "_firstItem"), ivarRef<id>(self, "_secondItem"));
  if (ancestor == nullptr)
    raise("NSGenericException",
          "Unable to activate constraint with anchors because they have no common ancestor. Does the constraint or "
          "its anchors reference items in different view hierarchies? That's illegal.");
  retain(self);
  viewState(ancestor).constraints.push_back(self);
  holder = ancestor;
}
BOOL constraintIsActive(id self, SEL) { return ivarRef<id>(self, "_hostHolder") != nullptr ? YES : NO; }

void setAllActive(id array, BOOL active) {
  for (id c : arrayElements(array)) send<void>(c, "setActive:", active);
}
void activateConstraints(id, SEL, id array) { setAllActive(array, YES); }
void deactivateConstraints(id, SEL, id array) { setAllActive(array, NO); }

id constraintFirstItem(id self, SEL) { return ivarRef<id>(self, "_firstItem"); }
id constraintSecondItem(id self, SEL) { return ivarRef<id>(self, "_secondItem"); }
long constraintFirstAttribute(id self, SEL) { return ivarRef<long>(self, "_firstAttribute"); }
long constraintSecondAttribute(id self, SEL) { return ivarRef<long>(self, "_secondAttribute"); }
long constraintRelation(id, SEL) { return 0; }  // NSLayoutRelationEqual: the only kind made here
CGFloat constraintMultiplier(id self, SEL) { return ivarRef<CGFloat>(self, "_multiplier"); }
CGFloat constraintConstant(id self, SEL) { return ivarRef<CGFloat>(self, "_constant"); }
void constraintSetConstant(id self, SEL, CGFloat constant) { ivarRef<CGFloat>(self, "_constant") = constant; }

// ---- solving ----

// A view's rectangle in the coordinates of `ancestor` (which contains it).
CGRect rectIn(id view, id ancestor) {
  if (view == ancestor) return send<CGRect>(view, "bounds");
  CGRect r = send<CGRect>(view, "frame");
  for (id v = viewState(view).superview; v != nullptr && v != ancestor; v = viewState(v).superview) {
    CGRect f = send<CGRect>(v, "frame");
    r.origin.x += f.origin.x;
    r.origin.y += f.origin.y;
  }
  return r;
}

CGFloat attributeValue(CGRect r, long attribute) {
  switch (physical(attribute)) {
    case Left: return r.origin.x;
    case Right: return r.origin.x + r.size.width;
    case Top: return r.origin.y;
    case Bottom: return r.origin.y + r.size.height;
    case Width: return r.size.width;
    case Height: return r.size.height;
    case CenterX: return r.origin.x + r.size.width / 2;
    case CenterY: return r.origin.y + r.size.height / 2;
    default: return 0;
  }
}

// What the constraints held by `holder` say about one view's attributes, in the holder's coordinates.
struct Wanted {
  std::optional<CGFloat> left, right, top, bottom, width, height, centerX, centerY;
  std::optional<CGFloat>& operator[](long attribute) {
    switch (physical(attribute)) {
      case Left: return left;
      case Right: return right;
      case Top: return top;
      case Bottom: return bottom;
      case Width: return width;
      case Height: return height;
      case CenterX: return centerX;
      default: return centerY;
    }
  }
};

// One axis: a position from two edges, an edge and a size, or an edge keeping the current size.
void solveAxis(CGFloat& origin, CGFloat& size, const std::optional<CGFloat>& low, const std::optional<CGFloat>& high,
               const std::optional<CGFloat>& extent, const std::optional<CGFloat>& center) {
  if (extent) size = *extent;
  if (low && high) {
    origin = *low;
    size = *high - *low;
  } else if (low) {
    origin = *low;
  } else if (high) {
    origin = *high - size;
  } else if (center) {
    origin = *center - size / 2;
  }
}

bool isConstrainable(id item) {
  return item != nullptr && isKindOf(item, requireClass("UIView")) && !viewState(item).translatesAutoresizingMask;
}

// Places the view that each constraint held by `holder` positions: its first item when that opts out
// of autoresizing, else its second. A few passes let chains of constraints settle.
void solveConstraintsOf(id holder) {
  const std::vector<id> constraints = viewState(holder).constraints;
  for (int pass = 0; pass < 3; ++pass) {
    std::vector<id> order;
    std::vector<Wanted> wanted;
    auto want = [&](id item) -> Wanted& {
      auto it = std::find(order.begin(), order.end(), item);
      if (it != order.end()) return wanted[it - order.begin()];
      order.push_back(item);
      return wanted.emplace_back();
    };
    for (id c : constraints) {
      id first = ivarRef<id>(c, "_firstItem");
      id second = ivarRef<id>(c, "_secondItem");
      long firstAttribute = ivarRef<long>(c, "_firstAttribute");
      long secondAttribute = ivarRef<long>(c, "_secondAttribute");
      CGFloat m = ivarRef<CGFloat>(c, "_multiplier");
      CGFloat k = ivarRef<CGFloat>(c, "_constant");
      if (second == nullptr) continue;  // a constant size: see applyConstantSizes
      CGFloat other = attributeValue(rectIn(second, holder), secondAttribute);
      if (isConstrainable(first) && first != holder) {
        want(first)[firstAttribute] = other * m + k;  // first = second * m + k
      } else if (isConstrainable(second) && second != holder && m != 0) {
        want(second)[secondAttribute] = (attributeValue(rectIn(first, holder), firstAttribute) - k) / m;
      }
    }
    for (size_t i = 0; i < order.size(); ++i) {
      id item = order[i];
      Wanted& w = wanted[i];
      CGRect r = rectIn(item, holder);
      solveAxis(r.origin.x, r.size.width, w.left, w.right, w.width, w.centerX);
      solveAxis(r.origin.y, r.size.height, w.top, w.bottom, w.height, w.centerY);
      CGRect parent = rectIn(viewState(item).superview, holder);
      r.origin.x -= parent.origin.x;
      r.origin.y -= parent.origin.y;
      send<void>(item, "setFrame:", r);
    }
  }
}

// Width and height constants come first, so edges placed later see the final sizes.
void applyConstantSizes(id view) {
  for (id c : viewState(view).constraints) {
    id item = ivarRef<id>(c, "_firstItem");
    long attribute = ivarRef<long>(c, "_firstAttribute");
    if (ivarRef<id>(c, "_secondItem") != nullptr || !isConstrainable(item)) continue;
    CGRect r = send<CGRect>(item, "frame");
    if (attribute == Width) r.size.width = ivarRef<CGFloat>(c, "_constant");
    if (attribute == Height) r.size.height = ivarRef<CGFloat>(c, "_constant");
    send<void>(item, "setFrame:", r);
  }
  for (id subview : viewState(view).subviews) applyConstantSizes(subview);
}

void solveTree(id view) {
  solveConstraintsOf(view);
  send<void>(view, "layoutSubviews");
  for (id subview : std::vector<id>(viewState(view).subviews)) solveTree(subview);
}

}  // namespace

void layOut(id view) {
  applyConstantSizes(view);
  solveTree(view);
}

void deactivateConstraintsLeaving(id view, id oldSuperview) {
  for (id ancestor = oldSuperview; ancestor != nullptr; ancestor = viewState(ancestor).superview) {
    for (id c : std::vector<id>(viewState(ancestor).constraints)) {
      id first = ivarRef<id>(c, "_firstItem");
      id second = ivarRef<id>(c, "_secondItem");
      if ((first != nullptr && isInSubtree(first, view)) || (second != nullptr && isInSubtree(second, view)))
        send<void>(c, "setActive:", static_cast<BOOL>(NO));
    }
  }
}

void releaseHeldConstraints(ViewState& state) {
  for (id c : state.constraints) {
    ivarRef<id>(c, "_hostHolder") = nullptr;
    release(c);
  }
  state.constraints.clear();
}

void defineLayout() {
  Class anchor = ClassBuilder("NSLayoutAnchor", "NSObject")
                     .ivar<id>("_item")
                     .ivar<long>("_attribute")
                     .method("item", &anchorItem)
                     .method("attribute", &anchorAttribute)
                     .method("constraintEqualToAnchor:", &anchorEqual)
                     .method("constraintEqualToAnchor:constant:", &anchorEqualConstant)
                     .registerClass();
  ClassBuilder("NSLayoutXAxisAnchor", anchor).registerClass();
  ClassBuilder("NSLayoutYAxisAnchor", anchor).registerClass();
  ClassBuilder("NSLayoutDimension", anchor).method("constraintEqualToConstant:", &dimensionEqualConstant).registerClass();

  ClassBuilder("NSLayoutConstraint", "NSObject")
      .ivar<id>("_firstItem")
      .ivar<id>("_secondItem")
      .ivar<long>("_firstAttribute")
      .ivar<long>("_secondAttribute")
      .ivar<CGFloat>("_multiplier")
      .ivar<CGFloat>("_constant")
      .ivar<id>("_hostHolder")
      .classMethod("activateConstraints:", &activateConstraints)
      .classMethod("deactivateConstraints:", &deactivateConstraints)
      .method("isActive", &constraintIsActive)
      .method("setActive:", &constraintSetActive)
      .method("firstItem", &constraintFirstItem)
      .method("secondItem", &constraintSecondItem)
      .method("firstAttribute", &constraintFirstAttribute)
      .method("secondAttribute", &constraintSecondAttribute)
      .method("relation", &constraintRelation)
      .method("multiplier", &constraintMultiplier)
      .method("constant", &constraintConstant)
      .method("setConstant:", &constraintSetConstant)
      .registerClass();

  Class view = requireClass("UIView");
  struct {
    const char* name;
    id (*imp)(id, SEL);
  } anchors[] = {{"topAnchor", &topAnchor},         {"bottomAnchor", &bottomAnchor},   {"centerYAnchor", &centerYAnchor},
                 {"leadingAnchor", &leadingAnchor}, {"trailingAnchor", &trailingAnchor}, {"leftAnchor", &leftAnchor},
                 {"rightAnchor", &rightAnchor},     {"centerXAnchor", &centerXAnchor}, {"widthAnchor", &widthAnchor},
                 {"heightAnchor", &heightAnchor}};
  for (const auto& a : anchors) class_addMethod(view, sel(a.name), reinterpret_cast<IMP>(a.imp), "@@:");
}

}  // namespace host::uikit::internal

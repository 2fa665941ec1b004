// Shared between the files of the UIKit stand-in: class definitions run in order at load, the state
// views keep outside the runtime's ivars, and small helpers for Foundation objects.
#pragma once

#include <CoreGraphics/CGGeometry.h>

#include <vector>

#include "host/objc.h"
#include "host/uikit.h"

namespace host::uikit::internal {

// Each defines its classes; uikit.cpp calls them in dependency order when the library loads.
void defineColor();
void defineViews();
void defineControls();
void defineLayout();
void defineImages();
void defineLabels();
void defineTables();
void defineViewControllers();
void defineApplication();

// What a UIView holds beyond its frame. Subviews, colours and constraints are retained; the
// superview and the owning view controller are not (they own the view).
struct ViewState {
  std::vector<id> subviews;
  id superview = nullptr;
  id viewController = nullptr;
  id tintColor = nullptr;
  id backgroundColor = nullptr;
  std::vector<id> constraints;  // active constraints whose nearest common ancestor is this view
  bool clipsToBounds = false;
  bool hidden = false;
  bool translatesAutoresizingMask = true;
  long contentMode = 0;
};
ViewState& viewState(id view);

// Whether `view` is `ancestor` or lies below it.
bool isInSubtree(id view, id ancestor);

// Resolves the active constraints of `view` and below (the layout pass of layoutIfNeeded).
void layOut(id view);

// Drops the active constraints held above `view` that refer to something in its subtree (when it
// leaves its superview, as UIKit does).
void deactivateConstraintsLeaving(id view, id oldSuperview);

// Releases the constraints a view holds, as it goes away.
void releaseHeldConstraints(ViewState& state);

// An autoreleased NSArray of `objects`, in order.
id makeArray(const std::vector<id>& objects);
// The elements of an NSArray (empty for nil).
std::vector<id> arrayElements(id array);

// An autoreleased UIColor.
id makeColor(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);

// Aborts as UIKit's exceptions end the process: "*** Terminating app ... reason: '<reason>'".
[[noreturn]] void raise(const char* exceptionName, const char* reason);

}  // namespace host::uikit::internal

// The settings pane's controller, RaveloRootListController: the pieces its files share.
//
// The class is built at load time from the C++ functions below (controller_class.cpp) as a subclass
// of the Preferences framework's PSListController. Each function is one method of the class.
#pragma once

#include <objc/runtime.h>
#include <CoreGraphics/CGGeometry.h>

namespace pane {

// ---- the class, filled in once when the bundle loads -------------------------------------------

// PSListController, the class every [super ...] send of the controller starts at (null until the
// class is registered, and then only if PSListController exists).
Class superclass();

// The controller's own strong fields, by reference.
id& headerViewField(id self);
id& headerImageViewField(id self);

// The inherited _specifiers field, or null where PSListController does not declare it.
id* specifiersField(id self);

// ---- helpers for platform objects -----------------------------------------------------------------

// The class with this name, or null when the platform lacks it (messages to null do nothing).
Class classNamed(const char* name);

// An autoreleased string with the UTF-8 contents of `text` (nil for a null `text`).
id string(const char* text);

// A new autoreleased colour in the pane tint: red 0.796, green 0.855, blue 0.91, opaque. No colour
// object is kept: every use makes its own.
id tintColor();

// Retains `value` into `field`, releasing what the field held (a strong property's setter).
void assignStrong(id& field, id value);

// ---- the methods ----------------------------------------------------------------------------------

// specifiers.cpp: the page's rows and the bundle they come from.
id specifiers(id self, SEL cmd);
id bundle(id self, SEL cmd);

// view_lifecycle.cpp: building the header and the Respring button, tinting while on screen.
void viewDidLoad(id self, SEL cmd);
void viewWillAppear(id self, SEL cmd, BOOL animated);
void viewWillDisappear(id self, SEL cmd, BOOL animated);

// cells.cpp: restyling each cell as the table asks for it.
id tableViewCellForRow(id self, SEL cmd, id tableView, id indexPath);
CGFloat fontSizeForDevice(id self, SEL cmd);

// actions.cpp: the navigation-bar button and the link cells.
void respring(id self, SEL cmd);
void openDonationPage(id self, SEL cmd);
void openMail(id self, SEL cmd);

// properties.cpp: the two header fields' accessors and the controller's tear-down.
id headerView(id self, SEL cmd);
void setHeaderView(id self, SEL cmd, id value);
id headerImageView(id self, SEL cmd);
void setHeaderImageView(id self, SEL cmd, id value);
void dealloc(id self, SEL cmd);

}  // namespace pane

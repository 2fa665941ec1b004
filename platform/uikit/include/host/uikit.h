// Controls of the host UIKit stand-in, for tests and the simulator: what a person does to the screen
// (tap a switch, press a bar button), the device's screen size, and what the application opened.
//
// The UIKit classes themselves (UIView, UIControl, UISwitch, UITableView, UIViewController...) are
// Objective-C classes registered when host_uikit loads; system code reaches them by name and messages.
// Argument types as on 64-bit devices: CGFloat is double, NSInteger long, NSUInteger/UIControlEvents
// unsigned long, BOOL the runtime's BOOL.
#pragma once

#include <CoreGraphics/CGGeometry.h>
#include <objc/runtime.h>

#include <string>
#include <vector>

#include "host/objc.h"

// The geometry types' encodings, as the device's runtime records them for a method.
template <>
struct host::TypeEncoding<CGPoint> {
  static constexpr std::string_view value = "{CGPoint=dd}";
};
template <>
struct host::TypeEncoding<CGSize> {
  static constexpr std::string_view value = "{CGSize=dd}";
};
template <>
struct host::TypeEncoding<CGRect> {
  static constexpr std::string_view value = "{CGRect={CGPoint=dd}{CGSize=dd}}";
};

namespace host::uikit {

// UIControlEvents bits, as the device numbers them.
enum : unsigned long {
  UIControlEventTouchDown = 1ul << 0,
  UIControlEventTouchUpInside = 1ul << 6,
  UIControlEventTouchUpOutside = 1ul << 7,
  UIControlEventValueChanged = 1ul << 12,
  UIControlEventPrimaryActionTriggered = 1ul << 13,
  UIControlEventAllEvents = 0xFFFFFFFFul,
};

// ---- the screen --------------------------------------------------------------------------------

// Sets the width of [UIScreen mainScreen].bounds in points; the height stays. Default 390 x 844.
void setScreenWidth(CGFloat width);
// Sets both dimensions of the main screen's bounds.
void setScreenSize(CGFloat width, CGFloat height);

// ---- what a person does ------------------------------------------------------------------------

// A tap on a UISwitch: flips it (setOn:!isOn animated:YES) and sends its value-changed actions
// (sendActionsForControlEvents:), as UIKit does for a user's tap. Does nothing to a disabled switch.
void tapSwitch(id uiSwitch);

// A press of a UIBarButtonItem: sends its action to its target with the item as argument. An item
// without target or action does nothing.
void pressBarButton(id barButtonItem);

// ---- colours -----------------------------------------------------------------------------------

struct RGBA {
  CGFloat red = 0, green = 0, blue = 0, alpha = 0;
  bool operator==(const RGBA&) const = default;
};
// The components of a UIColor (all zero for nil or a non-colour).
RGBA components(id color);
// The components of [UIColor systemBlueColor].
RGBA systemBlue();

// ---- what the application opened --------------------------------------------------------------

struct OpenedURL {
  std::string url;            // the URL's absoluteString
  bool optionsGiven = false;  // false when options was nil
  unsigned long optionCount = 0;
  bool completionGiven = false;
};

// Every openURL:options:completionHandler: of [UIApplication sharedApplication], oldest first.
std::vector<OpenedURL> openedURLs();
void clearOpenedURLs();

// ---- images ------------------------------------------------------------------------------------

// The pixels a UIImage was decoded to: 8-bit RGBA with straight alpha, rows from the top.
struct Bitmap {
  unsigned width = 0, height = 0;
  std::vector<unsigned char> rgba;
};
// The pixels of `image`, valid while the image lives; null for nil or a non-image.
const Bitmap* imagePixels(id image);

// ---- views -------------------------------------------------------------------------------------

// The frame of a UIView ([view frame]).
CGRect frame(id view);

}  // namespace host::uikit

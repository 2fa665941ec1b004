// What a preference page shows, read from its live view tree: the values the drawing uses, in
// points, with the page's own colours and fonts. Anything the UIKit and Preferences stand-ins do not
// model is left out here; the drawing supplies the iOS default for it (see sim/README.md).
#pragma once

#include <CoreGraphics/CGGeometry.h>
#include <objc/runtime.h>

#include <optional>
#include <string>
#include <vector>

#include "canvas/canvas.h"
#include "host/uikit.h"

namespace sim::pictures {

// The navigation bar of the page's navigation controller.
struct BarModel {
  std::string title;            // the navigation item's title
  std::string backTitle;        // the title of the controller below the page ("" when there is none)
  Colour tint;                  // the bar's tintColor
  std::string rightTitle;       // the right bar button's title ("" when there is none)
  Colour rightTint;             // its own tintColor, else the bar's
};

// A label as it is set up: its text, font and colour.
struct LabelModel {
  enum Role { Text, Detail, Other } role = Other;  // the cell's textLabel, detailTextLabel, or another label
  std::string text;
  double pointSize = 17;
  bool bold = false;
  std::optional<Colour> colour;  // its textColor, when it has one
  CGRect frame{};                // within its superview
};

// A view of the table header and what it holds, drawn generically.
struct ViewModel {
  CGRect frame{};                // within its superview
  bool hidden = false;
  bool clips = false;
  std::optional<Colour> background;
  // an image view:
  bool isImageView = false;
  const host::uikit::Bitmap* image = nullptr;  // its image's pixels (null: no image)
  CGSize imageSize{};            // the image's size in points
  long contentMode = 0;
  // a label:
  std::optional<LabelModel> label;
  std::vector<ViewModel> subviews;
};

struct RowModel {
  double height = 44;
  std::vector<LabelModel> labels;  // the labels directly inside the content view, in order
  Colour tint;                     // the cell's tintColor
  std::optional<Colour> background;
  enum Accessory { None, Chevron, Checkmark, Switch, Slider, OtherView } accessory = None;
  bool accessoryShownByDefault = false;  // a chevron iOS shows for this row's kind, not set on the cell
  CGSize accessorySize{};
  bool switchOn = false;
  std::optional<Colour> onTint;    // the switch's onTintColor, when it has one
  double sliderFraction = 0;       // the slider's value within its range
  bool isButton = false;           // a button row (PSButtonCell): iOS shows its title in the tint
  std::string cellClass;
};

struct SectionModel {
  std::string header;  // "" when none
  std::string footer;
  std::vector<RowModel> rows;
};

struct PaneModel {
  double width = 390;              // the page's width: the screen's
  long tableStyle = 0;             // UITableViewStyle: 0 plain, 1 grouped, 2 inset grouped
  std::optional<Colour> tableBackground;
  BarModel bar;
  std::optional<ViewModel> header;  // the table header view
  std::vector<SectionModel> sections;
};

// Reads the page of `controller` (a list controller whose view is its table, laid out) inside the
// navigation controller `navigation`.
PaneModel readPane(id controller, id navigation);

}  // namespace sim::pictures

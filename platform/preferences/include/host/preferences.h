// Controls of the host Preferences stand-in: a Settings-app stand-in that opens a preference pane the
// way Settings does, shows its page, and does what a person does on it.
//
// The framework's classes themselves (PSListController, PSSpecifier, PSTableCell, PSControlTableCell,
// PSSwitchTableCell, PSSliderTableCell) are Objective-C classes registered when host_preferences loads.
#pragma once

#include <CoreGraphics/CGGeometry.h>
#include <objc/runtime.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/uikit.h"

namespace host::settings {

// PSCellType values, as the Preferences framework numbers them.
enum CellType : long {
  PSGroupCell = 0,
  PSLinkCell = 1,
  PSLinkListCell = 2,
  PSListItemCell = 3,
  PSTitleValueCell = 4,
  PSSliderCell = 5,
  PSSwitchCell = 6,
  PSStaticTextCell = 7,
  PSEditTextCell = 8,
  PSSegmentCell = 9,
  PSGiantIconCell = 10,
  PSGiantCell = 11,
  PSSecureEditTextCell = 12,
  PSButtonCell = 13,
  PSEditTextViewCell = 14,
};

// ---- what the page shows ----------------------------------------------------------------------

struct LabelShot {
  std::string text;
  CGFloat pointSize = 0;
  int depth = 1;  // 1: directly inside the content view; 2: inside a view inside it...
};

struct RowShot {
  long section = 0, row = 0;
  std::string cellClass;           // the cell's class name
  std::string key;                 // the specifier's "key" property ("" when none)
  std::vector<LabelShot> labels;   // every UILabel in the content view's tree, depth first, in subview order
  host::uikit::RGBA tint;          // the cell's tintColor
  bool hasControl = false;         // a PSControlTableCell with a control
  std::string controlClass;
  bool hasSwitch = false;          // the control is a UISwitch
  bool switchOn = false;
  bool hasOnTint = false;
  host::uikit::RGBA onTint;
  std::string detail;              // detailTextLabel text ("" when none)
};

// A group (table section) of the page: the texts its data source gives for the header and footer.
struct GroupShot {
  long section = 0;
  bool hasHeader = false, hasFooter = false;  // the data source answered a string (not nil)
  std::string header, footer;
};

// The tints of the page's navigation bar and of the enclosing one (Settings' own).
struct BarTints {
  host::uikit::RGBA bar;
  host::uikit::RGBA enclosing;
};

struct PageShot {
  std::string title;
  bool hasHeader = false;          // the table has a header view
  CGSize headerSize{0, 0};
  bool hasBanner = false;          // the header holds an image view
  CGSize bannerSize{0, 0};
  bool bannerHasImage = false;
  host::uikit::RGBA viewTint;      // the controller's view
  host::uikit::RGBA barTint;       // the page's navigation bar
  host::uikit::RGBA enclosingBarTint;
  std::string rightButtonTitle;    // "" when the navigation item has none
  std::vector<GroupShot> groups;   // every section, in order
  std::vector<RowShot> rows;
};

// The snapshot as text, one line per item, for the simulator's transcript:
//   page "Ravelo" view-tint 0.796,0.855,0.910,1.000 bar-tint ... enclosing-bar-tint ... right-button "Respring"
//   header 390x160 banner 390x160 image yes        (or: header none / banner none)
//   group 0 header "Ravelo" footer "Switches take effect after a respring"   (none for a nil text)
//   row 0.0 PSSwitchTableCell key=enabled labels ["Enabled" 18pt depth 1] tint 0.796,... switch on on-tint 0.796,...
//   row 1.3 PSTableCell key=unlockSound labels ["Unlock" 18pt depth 1, "Chime" 18pt depth 1] tint 0.000,0.478,1.000,1.000 detail "Chime"
// Each group's line comes before its rows.
std::string format(const PageShot& page);

// The bars' tints as text: "bar-tint 0.796,0.855,0.910,1.000 enclosing-bar-tint 0.796,0.855,0.910,1.000".
std::string format(const BarTints& tints);

// Visits the rows of `table` in order, each with its cell, scrolling the table as a person does so
// that each row is on screen (loaded) when visited: a scroll brings a screenful, so each visit costs
// the same however long the page. Stops at the first row `visit` answers true for and leaves the table
// scrolled there, answering that row's cell; else scrolls back where it was and answers nil.
id visitRows(id table, const std::function<bool(id cell, long section, long row)>& visit);

// ---- the Settings app ----------------------------------------------------------------------------

// One opened preference pane, inside two navigation controllers as Settings nests them: the pane's
// controller is the root of a navigation controller that is itself pushed onto Settings' own.
class Pane {
 public:
  // Opens the pane listed by <jbroot>/Library/PreferenceLoader/Preferences/<entryName>.plist: reads the
  // entry dictionary ("bundle", "cell" PSLinkCell, "label", "isController"), loads
  // <jbroot>/Library/PreferenceBundles/<bundle>.bundle with NSBundle, instantiates its principal class,
  // puts it in the navigation controllers, loads its view and sends viewWillAppear:. Null, with a
  // message in *error, when any step fails.
  static std::unique_ptr<Pane> open(const std::string& jbroot, const std::string& entryName, std::string* error);
  ~Pane();
  Pane(const Pane&) = delete;
  Pane& operator=(const Pane&) = delete;

  // Shows the page: lays the table out at the screen's size and reads it all, scrolling through it.
  PageShot show();

  // Leaving the page: viewWillDisappear: then viewDidDisappear:.
  void close();

  // The navigation bars' tints as they are now.
  BarTints barTints() const;

  // What a person does. Each answers false (with a message) when the page has no such row.
  bool toggleSwitch(const std::string& key, std::string* error);
  // Picks the list entry whose value reads as `value` (a number's digits, a string's text) for the
  // list cell of `key`, as the list page does: the value goes through the specifier's setter.
  bool chooseListValue(const std::string& key, const std::string& value, std::string* error);
  // Taps the button row labelled `label`.
  bool pressButton(const std::string& label, std::string* error);
  // Presses the right button of the page's navigation bar.
  bool pressRightBarButton(std::string* error);

  id controller() const { return controller_; }
  id navigationController() const { return navigation_; }
  id enclosingNavigationController() const { return settings_; }

 private:
  Pane() = default;
  id findCell(const std::string& key, const std::string& label);
  id settings_ = nullptr;
  id navigation_ = nullptr;
  id controller_ = nullptr;
  bool closed_ = false;
};

}  // namespace host::settings

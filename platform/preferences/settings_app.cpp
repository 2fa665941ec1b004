// The Settings app stand-in: opens a preference pane as Settings does and acts on its page.
#include <cstdio>

#include "preferences_internal.h"

namespace host::settings {
namespace {

using host::preferences::elements;
using host::preferences::string;
using host::preferences::text;

id classObject(const char* name) { return reinterpret_cast<id>(requireClass(name)); }

bool fail(std::string* error, const std::string& message) {
  if (error != nullptr) *error = message;
  return false;
}

id table(id controller) { return send(controller, "view"); }

// The specifier's property as text ("" when absent or not a string).
std::string propertyText(id specifier, const char* key) { return text(host::preferences::property(specifier, key)); }

}  // namespace

std::unique_ptr<Pane> Pane::open(const std::string& jbroot, const std::string& entryName, std::string* error) {
  AutoreleasePool pool;
  std::string entryPath = jbroot + "/Library/PreferenceLoader/Preferences/" + entryName + ".plist";
  id plist = send(classObject("NSDictionary"), "dictionaryWithContentsOfFile:", string(entryPath));
  id entry = send(plist, "objectForKey:", string("entry"));
  if (!host::preferences::isDictionary(entry)) {
    fail(error, "no PreferenceLoader entry in " + entryPath);
    return nullptr;
  }
  auto entryText = [&](const char* key) { return text(send(entry, "objectForKey:", string(key))); };
  if (entryText("cell") != "PSLinkCell") {
    fail(error, "the entry in " + entryPath + " is not a PSLinkCell");
    return nullptr;
  }
  id isController = send(entry, "objectForKey:", string("isController"));
  if (isController == nullptr || !send<BOOL>(isController, "respondsToSelector:", sel("boolValue")) ||
      !send<BOOL>(isController, "boolValue")) {
    fail(error, "the entry in " + entryPath + " does not name a controller bundle (isController)");
    return nullptr;
  }
  std::string bundleName = entryText("bundle");
  if (bundleName.empty()) {
    fail(error, "the entry in " + entryPath + " names no bundle");
    return nullptr;
  }
  std::string bundlePath = jbroot + "/Library/PreferenceBundles/" + bundleName + ".bundle";
  id bundle = send(classObject("NSBundle"), "bundleWithPath:", string(bundlePath));
  if (bundle == nullptr) {
    fail(error, "no bundle at " + bundlePath);
    return nullptr;
  }
  if (!send<BOOL>(bundle, "load")) {
    fail(error, "cannot load the executable of " + bundlePath);
    return nullptr;
  }
  Class principal = send<Class>(bundle, "principalClass");
  if (principal == Nil) {
    fail(error, "no principal class in " + bundlePath);
    return nullptr;
  }
  if (!send<BOOL>(reinterpret_cast<id>(principal), "isSubclassOfClass:", requireClass("UIViewController"))) {
    fail(error, std::string("the principal class ") + class_getName(principal) + " of " + bundlePath +
                    " is not a view controller");
    return nullptr;
  }

  std::unique_ptr<Pane> pane(new Pane);
  pane->controller_ = send(classObject(class_getName(principal)), "new");
  id specifier = host::preferences::specifierFromDictionary(entry, nullptr);
  if (send<BOOL>(pane->controller_, "respondsToSelector:", sel("setSpecifier:")))
    send<void>(pane->controller_, "setSpecifier:", specifier);
  if (send<BOOL>(pane->controller_, "respondsToSelector:", sel("setTitle:")))
    send<void>(pane->controller_, "setTitle:", send(entry, "objectForKey:", string("label")));

  // Settings' own list is the root of its navigation controller; the pane comes in a navigation
  // controller of its own, pushed onto Settings'.
  id settingsRoot = send(classObject("UIViewController"), "new");
  send<void>(settingsRoot, "setTitle:", string("Settings"));
  pane->settings_ = send(send(classObject("UINavigationController"), "alloc"), "initWithRootViewController:", settingsRoot);
  release(settingsRoot);
  pane->navigation_ = send(send(classObject("UINavigationController"), "alloc"), "initWithRootViewController:", pane->controller_);
  send<void>(pane->settings_, "pushViewController:animated:", pane->navigation_, static_cast<BOOL>(YES));

  send(pane->controller_, "view");
  send<void>(pane->controller_, "viewWillAppear:", static_cast<BOOL>(YES));
  send<void>(pane->controller_, "viewDidAppear:", static_cast<BOOL>(YES));
  return pane;
}

Pane::~Pane() {
  release(navigation_);
  release(settings_);
  release(controller_);
}

void Pane::close() {
  if (closed_) return;
  closed_ = true;
  AutoreleasePool pool;
  send<void>(controller_, "viewWillDisappear:", static_cast<BOOL>(YES));
  send<void>(controller_, "viewDidDisappear:", static_cast<BOOL>(YES));
}

BarTints Pane::barTints() const {
  AutoreleasePool pool;
  return barTintsOf(navigation_);
}

// The page fills the screen as it is now; laying the table out makes it ask for the cells on screen.
static void layOutPage(id controller) {
  id page = table(controller);
  id screen = send(classObject("UIScreen"), "mainScreen");
  send<void>(page, "setFrame:", send<CGRect>(screen, "bounds"));
  send<void>(page, "layoutIfNeeded");
}

PageShot Pane::show() {
  AutoreleasePool pool;
  layOutPage(controller_);
  return snapshot(controller_, navigation_);
}

// The row of `key` (or labelled `label`), scrolled into view as a person finds it.
id Pane::findCell(const std::string& key, const std::string& label) {
  layOutPage(controller_);
  return visitRows(table(controller_), [&](id cell, long, long) {
    id specifier = send(cell, "specifier");
    return (!key.empty() && propertyText(specifier, "key") == key) || (!label.empty() && text(send(specifier, "name")) == label);
  });
}

bool Pane::toggleSwitch(const std::string& key, std::string* error) {
  AutoreleasePool pool;
  id cell = findCell(key, "");
  id control = send<BOOL>(cell, "respondsToSelector:", sel("control")) ? send(cell, "control") : nullptr;
  if (!isKindOf(control, requireClass("UISwitch"))) return fail(error, "no switch row for key " + key);
  host::uikit::tapSwitch(control);
  return true;
}

bool Pane::chooseListValue(const std::string& key, const std::string& value, std::string* error) {
  AutoreleasePool pool;
  id cell = findCell(key, "");
  id specifier = send(cell, "specifier");
  if (send<long>(specifier, "cellType") != PSLinkListCell) return fail(error, "no list row for key " + key);
  for (id candidate : elements(send(specifier, "values"))) {
    if (host::cf::toStdString(reinterpret_cast<CFTypeRef>(candidate)) != value) continue;
    host::preferences::perform(send(specifier, "target"), send<SEL>(specifier, "setter"), candidate, specifier);
    send<void>(controller_, "reloadSpecifier:", specifier);
    return true;
  }
  return fail(error, "the list for key " + key + " has no value " + value);
}

bool Pane::pressButton(const std::string& label, std::string* error) {
  AutoreleasePool pool;
  id cell = findCell("", label);
  id specifier = send(cell, "specifier");
  if (send<long>(specifier, "cellType") != PSButtonCell) return fail(error, "no button row labelled " + label);
  id page = table(controller_);
  id indexPath = send(page, "indexPathForCell:", cell);
  send<void>(send(page, "delegate"), "tableView:didSelectRowAtIndexPath:", page, indexPath);
  return true;
}

bool Pane::pressRightBarButton(std::string* error) {
  AutoreleasePool pool;
  id item = send(send(controller_, "navigationItem"), "rightBarButtonItem");
  if (item == nullptr) return fail(error, "the navigation bar has no right button");
  host::uikit::pressBarButton(item);
  return true;
}

}  // namespace host::settings

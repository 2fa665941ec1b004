// PSViewController and PSListController: a page of rows made from specifiers, its table (whose data
// source it is), and the stored values behind the rows.
#include <CoreFoundation/CoreFoundation.h>

#include "host/trace.h"
#include "host/corefoundation.h"
#include "preferences_internal.h"

namespace host::preferences {
namespace {

Class listClass;

// ---- sections: each group specifier starts one; rows before the first group form their own ----

struct Section {
  id group = nullptr;
  std::vector<id> rows;
};

// The sections of one specifier list, made once per list: the table asks for counts and rows again and
// again, and each answer takes constant time.
struct SectionIndex {
  id specifiers = nullptr;  // retained, so its address cannot come back as another list's
  unsigned long count = 0;
  std::vector<Section> sections;
};

SectionIndex*& sectionIndexOf(id self) { return ivarRef<SectionIndex*>(self, "_hostSectionIndex"); }

void forgetSections(id self) {
  SectionIndex*& index = sectionIndexOf(self);
  if (index == nullptr) return;
  release(index->specifiers);
  delete index;
  index = nullptr;
}

// The sections of the list `specifiers` answers now: the index made for it, or a new one when the
// controller answers another list (a subclass may fill _specifiers itself) or the list changed size.
const std::vector<Section>& sectionsOf(id self) {
  id specifiers = send(self, "specifiers");
  unsigned long count = isArray(specifiers) ? send<unsigned long>(specifiers, "count") : 0;
  SectionIndex*& index = sectionIndexOf(self);
  if (index != nullptr && index->specifiers == specifiers && index->count == count) return index->sections;
  forgetSections(self);
  index = new SectionIndex{retain(specifiers), count, {}};
  for (id specifier : elements(specifiers)) {
    if (send<long>(specifier, "cellType") == host::settings::PSGroupCell) {
      index->sections.push_back({specifier, {}});
      continue;
    }
    if (index->sections.empty()) index->sections.emplace_back();
    index->sections.back().rows.push_back(specifier);
  }
  return index->sections;
}

const Section* sectionAt(id self, long section) {
  const std::vector<Section>& sections = sectionsOf(self);
  return section >= 0 && static_cast<size_t>(section) < sections.size() ? &sections[section] : nullptr;
}

id specifierAt(id self, id indexPath) {
  const Section* section = sectionAt(self, send<long>(indexPath, "section"));
  long row = send<long>(indexPath, "row");
  if (section == nullptr || row < 0 || static_cast<size_t>(row) >= section->rows.size()) return nullptr;
  return section->rows[row];
}

// ---- the page ----

// The page's view is its table, filling the screen, with the controller as data source and delegate.
void listLoadView(id self, SEL) {
  id screen = send(reinterpret_cast<id>(requireClass("UIScreen")), "mainScreen");
  id table = send(send(reinterpret_cast<id>(requireClass("UITableView")), "alloc"), "initWithFrame:style:",
                  send<CGRect>(screen, "bounds"), 1L /* grouped */);
  send<void>(table, "setDataSource:", self);
  send<void>(table, "setDelegate:", self);
  assignStrong(ivarRef<id>(self, "_table"), table);
  send<void>(self, "setView:", table);
  release(table);
}
id listTable(id self, SEL) { return ivarRef<id>(self, "_table"); }

void listDealloc(id self, SEL) {
  forgetSections(self);
  id table = ivarRef<id>(self, "_table");
  send<void>(table, "setDataSource:", id{nullptr});
  send<void>(table, "setDelegate:", id{nullptr});
  sendSuper<void>(self, class_getSuperclass(listClass), "dealloc");
}

id listSpecifiers(id self, SEL) { return ivarRef<id>(self, "_specifiers"); }
void listSetSpecifiers(id self, SEL, id specifiers) {
  assignStrong(ivarRef<id>(self, "_specifiers"), specifiers);
  forgetSections(self);
  send<void>(ivarRef<id>(self, "_table"), "reloadData");
}
// Drops the cached specifiers, so the next request for them loads afresh, and reloads the table.
void listReloadSpecifiers(id self, SEL) { listSetSpecifiers(self, nullptr, nullptr); }

// The bundle the page's resources come from: the bundle of the controller's class, as Foundation
// sees it. A class made at run time belongs to no image, so Foundation answers the main bundle.
id listBundle(id self, SEL) {
  return send(reinterpret_cast<id>(requireClass("NSBundle")), "bundleForClass:", send(self, "class"));
}

// Reads <bundle>/<name>.plist, a dictionary whose "items" array lists the specifiers, and makes each
// entry a specifier with the given target. Nil when the file is missing or unreadable or has no
// "items" array. The list's "title" becomes the page's title.
id listLoadSpecifiersFromPlist(id self, SEL, id name, id target) {
  id path = send(send(self, "bundle"), "pathForResource:ofType:", name, string("plist"));
  if (path == nullptr) return nullptr;
  id list = send(reinterpret_cast<id>(requireClass("NSDictionary")), "dictionaryWithContentsOfFile:", path);
  if (!isDictionary(list)) return nullptr;
  id items = send(list, "objectForKey:", string("items"));
  if (!isArray(items)) return nullptr;
  std::vector<id> specifiers;
  for (id entry : elements(items))
    if (id specifier = specifierFromDictionary(entry, target)) specifiers.push_back(specifier);
  id title = send(list, "objectForKey:", string("title"));
  if (isString(title)) send<void>(self, "setTitle:", title);
  return makeArray(specifiers);
}

id listSpecifierForID(id self, SEL, id identifier) {
  for (id specifier : elements(send(self, "specifiers")))
    if (send<BOOL>(send(specifier, "identifier"), "isEqual:", identifier)) return specifier;
  return nullptr;
}

// ---- the table's data source and delegate ----

long listNumberOfSections(id self, SEL, id) { return static_cast<long>(sectionsOf(self).size()); }
long listNumberOfRows(id self, SEL, id, long section) {
  const Section* s = sectionAt(self, section);
  return s != nullptr ? static_cast<long>(s->rows.size()) : 0;
}

// A section's header is its group's label, its footer the group's "footerText"; nil without either.
id listTitleForHeader(id self, SEL, id, long section) {
  const Section* s = sectionAt(self, section);
  id name = s != nullptr ? send(s->group, "name") : nullptr;
  return isString(name) ? name : nullptr;
}
id listTitleForFooter(id self, SEL, id, long section) {
  const Section* s = sectionAt(self, section);
  id footer = s != nullptr ? property(s->group, "footerText") : nullptr;
  return isString(footer) ? footer : nullptr;
}

// The PSTableCell subclass a row's "cellClass" property names, or Nil.
Class namedCellClass(id specifier) {
  std::string named = text(property(specifier, "cellClass"));
  Class cls = named.empty() ? Nil : objc_getClass(named.c_str());
  return cls != Nil && send<BOOL>(reinterpret_cast<id>(cls), "isSubclassOfClass:", requireClass("PSTableCell")) ? cls : Nil;
}

// The identifier under which the table keeps a row's cell for reuse, as the framework names it: the
// cell type's name ("PSLinkListCell"), after the name of the class "cellClass" names if any, so that
// only cells of one class and one style are handed from row to row.
id reuseIdentifierFor(id specifier, long type) {
  Class named = namedCellClass(specifier);
  return string((named != Nil ? std::string(class_getName(named)) : std::string()) + cellTypeName(type));
}

// The row's cell, showing its label and value: one the table hands back for reuse, else a new one.
id listCellForRow(id self, SEL, id tableView, id indexPath) {
  id specifier = specifierAt(self, indexPath);
  long type = send<long>(specifier, "cellType");
  Class cellClass = namedCellClass(specifier);
  if (cellClass == Nil) cellClass = requireClass(cellClassFor(type));
  id reuse = reuseIdentifierFor(specifier, type);
  id cell = send(tableView, "dequeueReusableCellWithIdentifier:", reuse);
  if (cell != nullptr) {
    send<void>(cell, "setSpecifier:", specifier);
    send<void>(cell, "refreshCellContentsWithSpecifier:", specifier);
    return cell;
  }
  cell = send(reinterpret_cast<id>(cellClass), "alloc");
  cell = send(cell, "initWithStyle:reuseIdentifier:specifier:", cellStyleFor(type), reuse, specifier);
  return autorelease(cell);
}

// Tapping a button row sends its action to its target, with the specifier.
void listDidSelectRow(id self, SEL, id, id indexPath) {
  id specifier = specifierAt(self, indexPath);
  if (send<long>(specifier, "cellType") != host::settings::PSButtonCell) return;
  perform(send(specifier, "target"), send<SEL>(specifier, "buttonAction"), specifier, nullptr);
}

// Shows the stored value again in the visible cell of `specifier`.
void listReloadSpecifier(id self, SEL, id specifier) {
  id table = ivarRef<id>(self, "_table");
  for (id cell : elements(send(table, "visibleCells")))
    if (send(cell, "specifier") == specifier) send<void>(cell, "refreshCellContentsWithSpecifier:", specifier);
}

// ---- stored values: the specifier's "defaults" domain and "key" ----

bool storeOf(id specifier, id& key, id& domain) {
  key = property(specifier, "key");
  domain = property(specifier, "defaults");
  return isString(key) && isString(domain);
}

// The stored value of the row (autoreleased), or its "default" when the store has none.
id listReadPreferenceValue(id, SEL, id specifier) {
  id key, domain;
  if (storeOf(specifier, key, domain)) {
    CFPropertyListRef value = CFPreferencesCopyAppValue(reinterpret_cast<CFStringRef>(key), reinterpret_cast<CFStringRef>(domain));
    if (value != nullptr) return autorelease(reinterpret_cast<id>(const_cast<void*>(value)));
  }
  return property(specifier, "default");
}

// Writes the value to the store (current user, any host), synchronises, then posts the row's
// "PostNotification" on the Darwin centre when it names one.
void listSetPreferenceValue(id, SEL, id value, id specifier) {
  id key, domain;
  if (!storeOf(specifier, key, domain)) return;
  auto keyRef = reinterpret_cast<CFStringRef>(key);
  auto domainRef = reinterpret_cast<CFStringRef>(domain);
  CFPreferencesSetValue(keyRef, reinterpret_cast<CFPropertyListRef>(value), domainRef, kCFPreferencesCurrentUser,
                        kCFPreferencesAnyHost);
  CFPreferencesSynchronize(domainRef, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  trace("settings set %s %s = %s", text(domain).c_str(), text(key).c_str(),
        host::cf::describe(reinterpret_cast<CFTypeRef>(value)).c_str());
  id notification = property(specifier, "PostNotification");
  if (isString(notification))
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                         reinterpret_cast<CFStringRef>(notification), nullptr, nullptr, true);
}

}  // namespace

void defineListController() {
  Class viewController = ClassBuilder("PSViewController", "UIViewController")
                             .assignProperty("parentController")
                             .assignProperty("rootController")
                             .strongProperty("specifier")
                             .registerClass();
  listClass = ClassBuilder("PSListController", viewController)
                  .ivar<id>("_specifiers")
                  .ivar<id>("_table")
                  .ivar<SectionIndex*>("_hostSectionIndex")
                  .method("dealloc", &listDealloc)
                  .method("loadView", &listLoadView)
                  .method("table", &listTable)
                  .method("specifiers", &listSpecifiers)
                  .method("setSpecifiers:", &listSetSpecifiers)
                  .method("reloadSpecifiers", &listReloadSpecifiers)
                  .method("reloadSpecifier:", &listReloadSpecifier)
                  .method("specifierForID:", &listSpecifierForID)
                  .method("bundle", &listBundle)
                  .method("loadSpecifiersFromPlistName:target:", &listLoadSpecifiersFromPlist)
                  .method("numberOfSectionsInTableView:", &listNumberOfSections)
                  .method("tableView:numberOfRowsInSection:", &listNumberOfRows)
                  .method("tableView:titleForHeaderInSection:", &listTitleForHeader)
                  .method("tableView:titleForFooterInSection:", &listTitleForFooter)
                  .method("tableView:cellForRowAtIndexPath:", &listCellForRow)
                  .method("tableView:didSelectRowAtIndexPath:", &listDidSelectRow)
                  .method("readPreferenceValue:", &listReadPreferenceValue)
                  .method("setPreferenceValue:specifier:", &listSetPreferenceValue)
                  .registerClass();
  releaseIvarAtDealloc(listClass, "_specifiers");
  releaseIvarAtDealloc(listClass, "_table");
}

namespace {
__attribute__((constructor)) void definePreferences() {
  defineSpecifier();
  defineCells();
  defineListController();
}
}  // namespace

}  // namespace host::preferences

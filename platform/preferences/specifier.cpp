// PSSpecifier: one row (or group) of a preference page, made from an entry of a specifier list.
#include <cstring>

#include "preferences_internal.h"

namespace host::preferences {
namespace {

using host::settings::CellType;

// The cell names a specifier list may use.
const struct {
  const char* name;
  long type;
} kCellNames[] = {
    {"PSGroupCell", host::settings::PSGroupCell},           {"PSLinkCell", host::settings::PSLinkCell},
    {"PSLinkListCell", host::settings::PSLinkListCell},     {"PSListItemCell", host::settings::PSListItemCell},
    {"PSTitleValueCell", host::settings::PSTitleValueCell}, {"PSSliderCell", host::settings::PSSliderCell},
    {"PSSwitchCell", host::settings::PSSwitchCell},         {"PSStaticTextCell", host::settings::PSStaticTextCell},
    {"PSEditTextCell", host::settings::PSEditTextCell},     {"PSSegmentCell", host::settings::PSSegmentCell},
    {"PSGiantIconCell", host::settings::PSGiantIconCell},   {"PSGiantCell", host::settings::PSGiantCell},
    {"PSSecureEditTextCell", host::settings::PSSecureEditTextCell}, {"PSButtonCell", host::settings::PSButtonCell},
    {"PSEditTextViewCell", host::settings::PSEditTextViewCell},
};

// Cells that show a stored value read and write it through the target's preference methods.
bool showsValue(long type) {
  return type == host::settings::PSLinkListCell || type == host::settings::PSSwitchCell ||
         type == host::settings::PSSliderCell || type == host::settings::PSEditTextCell ||
         type == host::settings::PSSecureEditTextCell || type == host::settings::PSSegmentCell ||
         type == host::settings::PSTitleValueCell;
}

id specifierProperties(id self) {
  id& properties = ivarRef<id>(self, "_properties");
  if (properties == nullptr) properties = send(reinterpret_cast<id>(requireClass("NSMutableDictionary")), "new");
  return properties;
}

id propertyForKey(id self, SEL, id key) {
  if (key == nullptr) return nullptr;
  return send(ivarRef<id>(self, "_properties"), "objectForKey:", key);
}
void setPropertyForKey(id self, SEL, id value, id key) {
  if (key == nullptr) return;
  if (value == nullptr) send<void>(specifierProperties(self), "removeObjectForKey:", key);
  else send<void>(specifierProperties(self), "setObject:forKey:", value, key);
}
id specifierPropertiesGetter(id self, SEL) { return specifierProperties(self); }
void specifierSetProperties(id self, SEL, id properties) {
  id copy = send(properties, "mutableCopy");
  release(ivarRef<id>(self, "_properties"));
  ivarRef<id>(self, "_properties") = copy;
}

long specifierCellType(id self, SEL) { return ivarRef<long>(self, "_cellType"); }
void specifierSetCellType(id self, SEL, long type) { ivarRef<long>(self, "_cellType") = type; }
SEL specifierSel(id self, const char* ivar) { return ivarRef<SEL>(self, ivar); }
SEL specifierSetter(id self, SEL) { return specifierSel(self, "_setter"); }
SEL specifierGetter(id self, SEL) { return specifierSel(self, "_getter"); }
SEL specifierButtonAction(id self, SEL) { return specifierSel(self, "_buttonAction"); }
void specifierSetButtonAction(id self, SEL, SEL action) { ivarRef<SEL>(self, "_buttonAction") = action; }
Class specifierDetailClass(id self, SEL) { return ivarRef<Class>(self, "_detailControllerClass"); }
void specifierSetDetailClass(id self, SEL, Class cls) { ivarRef<Class>(self, "_detailControllerClass") = cls; }

void specifierSetTargetSetGet(id self, SEL, id target, SEL setter, SEL getter) {
  ivarRef<id>(self, "_target") = target;
  ivarRef<SEL>(self, "_setter") = setter;
  ivarRef<SEL>(self, "_getter") = getter;
}

// The list a list cell offers: its values, and a dictionary from each value to its title.
void specifierSetValuesTitles(id self, SEL, id values, id titles) {
  std::vector<id> valueList = elements(values);
  std::vector<id> titleList = elements(titles);
  size_t count = std::min(valueList.size(), titleList.size());
  valueList.resize(count);
  titleList.resize(count);
  assignStrong(ivarRef<id>(self, "_values"), values != nullptr ? makeArray(valueList) : nullptr);
  id dictionary = send(reinterpret_cast<id>(requireClass("NSDictionary")), "dictionaryWithObjects:forKeys:count:",
                       titleList.data(), valueList.data(), static_cast<unsigned long>(count));
  assignStrong(ivarRef<id>(self, "_titleDictionary"), values != nullptr ? dictionary : nullptr);
}
id specifierValues(id self, SEL) { return ivarRef<id>(self, "_values"); }
id specifierTitleDictionary(id self, SEL) { return ivarRef<id>(self, "_titleDictionary"); }

// The device's convenience constructor for specifiers made in code.
id preferenceSpecifierNamed(id cls, SEL, id name, id target, SEL setter, SEL getter, Class detail, long cell, long) {
  id specifier = autorelease(send(cls, "new"));
  send<void>(specifier, "setName:", name);
  specifierSetTargetSetGet(specifier, nullptr, target, setter, getter);
  ivarRef<Class>(specifier, "_detailControllerClass") = detail;
  ivarRef<long>(specifier, "_cellType") = cell;
  return specifier;
}

long cellTypeNamed(const std::string& name) {
  for (const auto& entry : kCellNames)
    if (name == entry.name) return entry.type;
  return host::settings::PSGroupCell;  // a missing or unknown cell name makes a group
}

}  // namespace

const char* cellTypeName(long cellType) {
  for (const auto& entry : kCellNames)
    if (entry.type == cellType) return entry.name;
  return "";
}

const char* cellClassFor(long cellType) {
  switch (cellType) {
    case host::settings::PSSwitchCell: return "PSSwitchTableCell";
    case host::settings::PSSliderCell: return "PSSliderTableCell";
    default: return "PSTableCell";
  }
}

// As the framework reads a specifier list entry: "cell" gives the type, "label" the name, "id" (else
// "key", else the label) the identifier, "action" a button's action, "detail" the class of the page
// a link opens, "validValues"/"validTitles" a list's choices; every entry stays a property ("cellClass",
// naming a PSTableCell subclass, is the class of the row's cell: PSListController reads it). Cells
// that show a value get the target's readPreferenceValue: and setPreferenceValue:specifier:.
id specifierFromDictionary(id entry, id target) {
  if (!isDictionary(entry)) return nullptr;
  id specifier = autorelease(send(reinterpret_cast<id>(requireClass("PSSpecifier")), "new"));
  send<void>(specifier, "setProperties:", entry);
  auto get = [&](const char* key) { return send(entry, "objectForKey:", string(key)); };
  long type = cellTypeNamed(text(get("cell")));
  ivarRef<long>(specifier, "_cellType") = type;
  id label = get("label");
  if (isString(label)) send<void>(specifier, "setName:", label);
  id identifier = isString(get("id")) ? get("id") : isString(get("key")) ? get("key") : isString(label) ? label : nullptr;
  send<void>(specifier, "setIdentifier:", identifier);
  ivarRef<id>(specifier, "_target") = target;
  if (showsValue(type)) {
    ivarRef<SEL>(specifier, "_setter") = sel("setPreferenceValue:specifier:");
    ivarRef<SEL>(specifier, "_getter") = sel("readPreferenceValue:");
  }
  if (isString(get("action"))) ivarRef<SEL>(specifier, "_buttonAction") = sel(text(get("action")).c_str());
  if (isString(get("detail"))) ivarRef<Class>(specifier, "_detailControllerClass") = objc_getClass(text(get("detail")).c_str());
  if (isArray(get("validValues"))) specifierSetValuesTitles(specifier, nullptr, get("validValues"), get("validTitles"));
  return specifier;
}

void defineSpecifier() {
  Class cls = ClassBuilder("PSSpecifier", "NSObject")
                  .strongProperty("name")
                  .strongProperty("identifier")
                  .assignProperty("target")
                  .ivar<id>("_properties")
                  .ivar<id>("_values")
                  .ivar<id>("_titleDictionary")
                  .ivar<long>("_cellType")
                  .ivar<SEL>("_setter")
                  .ivar<SEL>("_getter")
                  .ivar<SEL>("_buttonAction")
                  .ivar<Class>("_detailControllerClass")
                  .classMethod("preferenceSpecifierNamed:target:set:get:detail:cell:edit:", &preferenceSpecifierNamed)
                  .method("propertyForKey:", &propertyForKey)
                  .method("setProperty:forKey:", &setPropertyForKey)
                  .method("properties", &specifierPropertiesGetter)
                  .method("setProperties:", &specifierSetProperties)
                  .method("cellType", &specifierCellType)
                  .method("setCellType:", &specifierSetCellType)
                  .method("setter", &specifierSetter)
                  .method("getter", &specifierGetter)
                  .method("setTarget:set:get:", &specifierSetTargetSetGet)
                  .method("buttonAction", &specifierButtonAction)
                  .method("setButtonAction:", &specifierSetButtonAction)
                  .method("detailControllerClass", &specifierDetailClass)
                  .method("setDetailControllerClass:", &specifierSetDetailClass)
                  .method("setValues:titles:", &specifierSetValuesTitles)
                  .method("values", &specifierValues)
                  .method("titleDictionary", &specifierTitleDictionary)
                  .registerClass();
  for (const char* field : {"_properties", "_values", "_titleDictionary"}) releaseIvarAtDealloc(cls, field);
}

}  // namespace host::preferences

// Shared between the files of the Preferences stand-in.
#pragma once

#include <string>
#include <vector>

#include "host/corefoundation.h"
#include "host/objc.h"
#include "host/preferences.h"

namespace host::preferences {

void defineSpecifier();
void defineCells();
void defineListController();

// A specifier for one entry of a specifier list (+0, autoreleased), or nil for an entry that is not a
// dictionary.
id specifierFromDictionary(id entry, id target);

// A cell type's name in specifier lists ("PSSwitchCell"); "" for an unknown one.
const char* cellTypeName(long cellType);

// The cell class name and UITableViewCellStyle for a cell type.
const char* cellClassFor(long cellType);
long cellStyleFor(long cellType);

// Foundation helpers.
id string(const std::string& text);              // autoreleased NSString
std::string text(id string);                     // "" for nil or a non-string
bool isString(id object);
bool isDictionary(id object);
bool isArray(id object);
std::vector<id> elements(id array);              // empty for nil or a non-array
id makeArray(const std::vector<id>& objects);    // autoreleased
id property(id specifier, const char* key);      // [specifier propertyForKey:]

// Sends `action` to `target` with up to two object arguments (the receiver ignores extra ones).
void perform(id target, SEL action, id first, id second);

}  // namespace host::preferences

namespace host::settings {
// What the page of `controller` (inside `navigation`) shows now.
PageShot snapshot(id controller, id navigation);
// The tints of `navigation`'s bar and of the bar of the navigation controller enclosing it.
BarTints barTintsOf(id navigation);
}  // namespace host::settings

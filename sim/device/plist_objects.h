// Scenario values (values/plist_value.h) as the device's property-list objects.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>

#include "values/plist_value.h"

namespace sim::device {

// A new CoreFoundation object holding `value` (+1): CFBoolean, CFNumber, CFString, CFDate, CFData,
// CFArray, CFDictionary.
CFPropertyListRef newPropertyList(const values::Value& value);

// A key as a shell line shows it: as typed, or quoted (describe's form) when it holds a blank or a
// control character, so that a NUL or a line break in it stays visible.
std::string shownKey(const std::string& key);

}  // namespace sim::device

// Scenario values (values/plist_value.h) as the device's property-list objects.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include "values/plist_value.h"

namespace sim::device {

// A new CoreFoundation object holding `value` (+1): CFBoolean, CFNumber, CFString, CFDate, CFData,
// CFArray, CFDictionary.
CFPropertyListRef newPropertyList(const values::Value& value);

}  // namespace sim::device

// The tweak's preferences domain (xyz.dorvu..ravelo) in the current device root, written through the
// host's preferences store as the Settings pane writes it: each change is synchronised at once, so a
// process that reads the domain next sees it.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

namespace testing_support {

class StoredSettings {
 public:
  // Writes `value` under `key`; a null value removes the key.
  void set(const char* key, CFPropertyListRef value);
  void setBool(const char* key, bool value);
  void setInt(const char* key, long long value);
  void setString(const char* key, const char* value);
  void remove(const char* key);
};

}  // namespace testing_support

// Helpers the CoreFoundation stand-in's tests share.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include <string>

#include "host/corefoundation.h"
#include "host/device.h"
#include "host/objc.h"
#include "support/temp_dir.h"

namespace cftest {

inline id toId(CFTypeRef cf) { return reinterpret_cast<id>(const_cast<void*>(cf)); }
inline Class cls(const char* name) { return host::requireClass(name); }
// An autoreleased NSString.
inline id ns(const char* text) { return host::send(cls("NSString"), "stringWithUTF8String:", text); }
inline std::string str(id object) { return host::cf::toStdString(object); }

// A fresh simulated device root per test, and an autorelease pool around the test body.
class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override { host::device::setRoot(root_.path().string()); }
  const testing_support::TempDir& root() const { return root_; }

  testing_support::TempDir root_;
  host::AutoreleasePool pool_;
};

}  // namespace cftest

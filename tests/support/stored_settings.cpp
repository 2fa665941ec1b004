#include "support/stored_settings.h"

namespace testing_support {
namespace {

const CFStringRef kDomain = CFSTR("xyz.dorvu..ravelo");

CFStringRef makeString(const char* text) {
  return CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8);
}

}  // namespace

void StoredSettings::set(const char* key, CFPropertyListRef value) {
  CFStringRef k = makeString(key);
  CFPreferencesSetValue(k, value, kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  CFPreferencesSynchronize(kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  CFRelease(k);
}

void StoredSettings::setBool(const char* key, bool value) { set(key, value ? kCFBooleanTrue : kCFBooleanFalse); }

void StoredSettings::setInt(const char* key, long long value) {
  CFNumberRef n = CFNumberCreate(kCFAllocatorDefault, kCFNumberLongLongType, &value);
  set(key, n);
  CFRelease(n);
}

void StoredSettings::setString(const char* key, const char* value) {
  CFStringRef s = makeString(value);
  set(key, s);
  CFRelease(s);
}

void StoredSettings::remove(const char* key) { set(key, nullptr); }

}  // namespace testing_support

// Host controls for the CoreFoundation and Foundation stand-in, for tests and the simulator.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <objc/runtime.h>

#include <string>

namespace host::cf {

// A new string holding `text` (UTF-8) (+1). Invalid UTF-8 bytes are replaced with U+FFFD.
CFStringRef makeString(const std::string& text);

// The text of a string; for any other object its describe() rendering; "" for NULL.
std::string toStdString(CFTypeRef value);

// A one-line, property-list-like rendering, the form traces use:
//   true / false, 12, -3, 0.5, "text" (quoted, with \" \\ \n escapes), (1, "a"),
//   {enabled = true; "key two" = 6}, <0a1b>, 2001-01-01 00:00:00 +0000, URLs as their string,
//   <null> for kCFNull, {(1, 2)} for a set, <CFKeyedArchiverUID>{value = 3} for a UID,
//   (null) for NULL, <ClassName> for other objects.
std::string describe(CFTypeRef value);

// The property list stored in a file (XML or binary) (+1), or NULL when the file is missing,
// unreadable or not a property list. Containers are immutable.
CFPropertyListRef readPlistFile(const std::string& path);

// Writes a property list to `path` (binary or XML), atomically: a temporary file beside it renamed over
// it, so a reader never sees half a file. Creates missing folders; below the device folder never
// writes through a link (host/file_changes.h). False, with *error (when given) saying why, when the
// object is not a property list or the file cannot be written. A NUL character in a key or string is
// kept in either format (in XML as the raw byte, which the reader reads back).
bool writePlistFile(const std::string& path, CFPropertyListRef plist, bool binary = true, std::string* error = nullptr);

// The host path of a preferences domain's store (current user, any host).
std::string preferencesFile(const std::string& domain);

// How many writes to a preferences store have failed in this process (the device's callers may not
// look: its pane ignores what CFPreferencesSynchronize answers), and what the last one said:
// "cannot write <store file>: <reason>" ("" before the first).
long preferencesWriteFailures();
std::string lastPreferencesWriteFailure();

// How many times this process has read and parsed a preferences store (reads served from its cache of
// an unchanged store do not count).
long preferencesStoreReads();

// The folder +[NSBundle mainBundle] answers: by default the folder of the running executable.
// Bundles already handed out keep their paths; mainBundle answers a bundle for the new folder.
void setMainBundlePath(const std::string& folder);
std::string mainBundlePath();

// Marks a class as compiled into the image that holds its methods' code (as a class in a compiled
// Objective-C image is on the device), so +[NSBundle bundleForClass:] answers the bundle of that image.
// Every other class counts as made at run time and answers the main bundle, as on the device.
void markCompiledClass(Class cls);

}  // namespace host::cf

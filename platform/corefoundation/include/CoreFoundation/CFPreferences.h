// Host CoreFoundation: the preferences store. One binary property list per domain, below the simulated
// device's root: <root>/var/mobile/Library/Preferences/<domain>.plist for the current user ("mobile")
// and any host. Writes reach the file at once (as cfprefsd makes them visible to every process) and
// are atomic; reads always come from the file, so another process's change is seen at once.
#ifndef RAVELO_CF_PREFERENCES_H
#define RAVELO_CF_PREFERENCES_H

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFString.h>

CF_EXTERN_C_BEGIN

CF_EXPORT const CFStringRef kCFPreferencesAnyApplication;
CF_EXPORT const CFStringRef kCFPreferencesCurrentApplication;
CF_EXPORT const CFStringRef kCFPreferencesAnyHost;
CF_EXPORT const CFStringRef kCFPreferencesCurrentHost;
CF_EXPORT const CFStringRef kCFPreferencesAnyUser;
CF_EXPORT const CFStringRef kCFPreferencesCurrentUser;

// The keys stored in the domain (+1): NULL when the domain has no file (or it is unreadable or
// corrupt), an empty array when the file holds an empty dictionary.
CF_EXPORT CFArrayRef CFPreferencesCopyKeyList(CFStringRef applicationID, CFStringRef userName, CFStringRef hostName);
// The values of keysToFetch (all keys when NULL) that are present, as a new dictionary (+1; empty
// when the domain is missing).
CF_EXPORT CFDictionaryRef CFPreferencesCopyMultiple(CFArrayRef keysToFetch, CFStringRef applicationID,
                                                    CFStringRef userName, CFStringRef hostName);
// The value of key in the domain (+1), or NULL.
CF_EXPORT CFPropertyListRef CFPreferencesCopyValue(CFStringRef key, CFStringRef applicationID, CFStringRef userName,
                                                   CFStringRef hostName);
// The value of key for the application: its current-user domain, then the current user's global one.
CF_EXPORT CFPropertyListRef CFPreferencesCopyAppValue(CFStringRef key, CFStringRef applicationID);
// The application value as a boolean: a boolean, a number (non-zero is true) or a string ("true"/"YES"
// or "false"/"NO", any case, or an integer). *keyExistsAndHasValidFormat tells whether it was one.
CF_EXPORT Boolean CFPreferencesGetAppBooleanValue(CFStringRef key, CFStringRef applicationID,
                                                  Boolean* keyExistsAndHasValidFormat);
CF_EXPORT CFIndex CFPreferencesGetAppIntegerValue(CFStringRef key, CFStringRef applicationID,
                                                  Boolean* keyExistsAndHasValidFormat);

// Stores value under key in the domain (a NULL value removes the key), written through at once.
CF_EXPORT void CFPreferencesSetValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID,
                                     CFStringRef userName, CFStringRef hostName);
CF_EXPORT void CFPreferencesSetAppValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID);
// Sets every entry of keysToSet and removes every key of keysToRemove (either may be NULL), in one write.
CF_EXPORT void CFPreferencesSetMultiple(CFDictionaryRef keysToSet, CFArrayRef keysToRemove, CFStringRef applicationID,
                                        CFStringRef userName, CFStringRef hostName);
// Writes are already on disk: these return true.
CF_EXPORT Boolean CFPreferencesSynchronize(CFStringRef applicationID, CFStringRef userName, CFStringRef hostName);
CF_EXPORT Boolean CFPreferencesAppSynchronize(CFStringRef applicationID);

CF_EXTERN_C_END

#endif

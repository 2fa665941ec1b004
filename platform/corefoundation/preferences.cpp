// The preferences store: one binary property list per domain in the simulated device's preferences
// folder. Every write is a read-modify-write under an exclusive flock on the domain's lock file, and
// lands with an atomic rename, so other processes see whole files and each other's changes at once.
// Reads go through a per-process cache (preferences_store.h): a store is parsed once per change.
#include "cf_internal.h"
#include "preferences_store.h"

#include "host/corefoundation.h"
#include "host/device.h"
#include "host/file_changes.h"
#include "host/trace.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>

const CFStringRef kCFPreferencesAnyApplication = __CFStringMakeConstantString("kCFPreferencesAnyApplication");
const CFStringRef kCFPreferencesCurrentApplication = __CFStringMakeConstantString("kCFPreferencesCurrentApplication");
const CFStringRef kCFPreferencesAnyHost = __CFStringMakeConstantString("kCFPreferencesAnyHost");
const CFStringRef kCFPreferencesCurrentHost = __CFStringMakeConstantString("kCFPreferencesCurrentHost");
const CFStringRef kCFPreferencesAnyUser = __CFStringMakeConstantString("kCFPreferencesAnyUser");
const CFStringRef kCFPreferencesCurrentUser = __CFStringMakeConstantString("kCFPreferencesCurrentUser");

namespace cf {
namespace {

bool same(CFStringRef a, CFStringRef b) { return a != nullptr && text(toId(a)) == text(toId(b)); }

std::string domainName(CFStringRef app) {
  if (same(app, kCFPreferencesAnyApplication)) return ".GlobalPreferences";
  if (same(app, kCFPreferencesCurrentApplication)) {
    host::AutoreleasePool pool;
    id identifier = host::send(host::send(classes().bundle, "mainBundle"), "bundleIdentifier");
    return identifier ? text(identifier) : ".GlobalPreferences";
  }
  return text(toId(app));
}

// A name that stays inside the preferences folder.
bool isSafeName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

// The host path of the store for (app, user, host); nullopt for names that cannot be a domain.
std::optional<std::string> storeFile(CFStringRef app, CFStringRef user, CFStringRef hostName) {
  if (app == nullptr || user == nullptr || hostName == nullptr) return std::nullopt;
  std::string domain = domainName(app);
  if (!isSafeName(domain)) return std::nullopt;
  std::string home;
  if (same(user, kCFPreferencesCurrentUser) || text(toId(user)) == "mobile") home = "/var/mobile";
  else if (same(user, kCFPreferencesAnyUser)) home = "";
  else if (isSafeName(text(toId(user)))) home = "/var/" + text(toId(user));
  else return std::nullopt;
  std::string folder = home + "/Library/Preferences";
  if (same(hostName, kCFPreferencesCurrentHost)) folder += "/ByHost";
  else if (!same(hostName, kCFPreferencesAnyHost)) return std::nullopt;
  return host::device::path(folder + "/" + domain + ".plist");
}

class DomainLock {
 public:
  explicit DomainLock(const std::string& file) {
    // Made in the store's folder without following a link on the way or in the lock's place.
    std::optional<host::files::Place> place = host::files::placeOf(file + ".lock", true, nullptr);
    if (place)
      fd_ = openat(place->folder.fd(), place->name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW,
                   0644);
    if (fd_ >= 0) {
      while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~DomainLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  DomainLock(const DomainLock&) = delete;
  DomainLock& operator=(const DomainLock&) = delete;

 private:
  int fd_ = -1;
};

struct Change {
  id key;
  id value;  // nil removes
};

// Stores whose last write failed, until the next synchronize reports it; and every failed write.
std::set<std::string>& failedStores() {
  static auto* failed = new std::set<std::string>;
  return *failed;
}
std::mutex failedLock;
long failedWrites = 0;
std::string& lastFailure() {
  static auto* last = new std::string;
  return *last;
}

// A key as traces show it: as it is, or quoted when it holds a control character (a NUL would end
// the trace line).
std::string shownKey(id key) {
  for (unsigned char c : text(key))
    if (c < ' ') return describe(key);
  return text(key);
}

// Applies the changes to the stored dictionary and writes it back, then traces what changed. A store
// that cannot be read counts as empty and is replaced, as the device's preferences daemon does; one
// that cannot be written is reported in the trace and keeps what it held.
void writeChanges(const std::string& file, const std::string& domain, const std::vector<Change>& changes) {
  for (const Change& c : changes) {
    if (familyOf(c.key) != Family::String) return;
    std::string ignored;
    if (c.value != nullptr && !serializePropertyList(c.value, true, ignored)) {
      std::fprintf(stderr, "CFPreferences: value for key %s in %s is not a property list; not stored\n",
                   shownKey(c.key).c_str(), domain.c_str());
      return;
    }
  }
  std::vector<std::string> lines;
  std::string problem;
  {
    DomainLock lock(file);
    removeStaleTemporaries(file);
    bool unreadable = false;
    id stored = readStoreFile(file, &unreadable);
    id dict = stored ? host::send(stored, "mutableCopy") : newDictionary(true);
    host::release(stored);
    bool changed = false;
    for (const Change& c : changes) {
      DictionaryBox& d = dictionaryOf(dict);
      if (c.value != nullptr) {
        d.set(c.key, c.value);
        lines.push_back("prefs set " + domain + " " + shownKey(c.key) + " = " + describe(c.value));
        changed = true;
      } else if (d.find(c.key) >= 0) {
        d.remove(c.key);
        lines.push_back("prefs remove " + domain + " " + shownKey(c.key));
        changed = true;
      }
    }
    std::string bytes;
    if (changed && !serializePropertyList(dict, true, bytes)) problem = "not a property list";
    else if (changed && !writeFileAtomically(file, bytes, &problem)) problem = problem.empty() ? "cannot write" : problem;
    else if (changed && unreadable) lines.insert(lines.begin(), "prefs " + domain + " could not be read: replaced");
    host::release(dict);
  }
  forgetCachedStores();
  {
    std::lock_guard guard(failedLock);
    if (problem.empty()) {
      failedStores().erase(file);
    } else {
      failedStores().insert(file);
      ++failedWrites;
      lastFailure() = "cannot write " + file + ": " + problem;
    }
  }
  if (!problem.empty()) {
    std::fprintf(stderr, "CFPreferences: cannot write %s: %s\n", file.c_str(), problem.c_str());
    host::trace("prefs cannot write %s (%s): nothing changed", domain.c_str(), problem.c_str());
    return;
  }
  for (const std::string& line : lines) host::trace("%s", line.c_str());
}

// Whether writes to the store since the last call all succeeded.
bool synchronize(const std::optional<std::string>& file) {
  if (!file) return false;
  std::lock_guard guard(failedLock);
  return failedStores().erase(*file) == 0;
}

}  // namespace
}  // namespace cf

using namespace cf;

CFArrayRef CFPreferencesCopyKeyList(CFStringRef applicationID, CFStringRef userName, CFStringRef hostName) {
  auto file = storeFile(applicationID, userName, hostName);
  if (!file) return nullptr;
  id stored = cachedStore(*file);
  if (stored == nullptr) return nullptr;
  std::vector<id> keys;
  for (const auto& e : dictionaryOf(stored).entries) keys.push_back(toId(e.key));
  id list = newArray(keys, false);
  host::release(stored);
  return toCF<CFArrayRef>(list);
}

CFDictionaryRef CFPreferencesCopyMultiple(CFArrayRef keysToFetch, CFStringRef applicationID, CFStringRef userName,
                                          CFStringRef hostName) {
  id result = newDictionary(false);
  auto file = storeFile(applicationID, userName, hostName);
  id stored = file ? cachedStore(*file) : nullptr;
  if (stored == nullptr) return toCF<CFDictionaryRef>(result);
  DictionaryBox& out = dictionaryOf(result);
  const DictionaryBox& in = dictionaryOf(stored);
  if (keysToFetch == nullptr) {
    for (const auto& e : in.entries) out.set(e.key, e.value);
  } else {
    for (const void* key : arrayOf(toId(keysToFetch)).items) {
      long i = in.find(key);
      if (i >= 0) out.set(in.entries[static_cast<size_t>(i)].key, in.entries[static_cast<size_t>(i)].value);
    }
  }
  host::release(stored);
  return toCF<CFDictionaryRef>(result);
}

CFPropertyListRef CFPreferencesCopyValue(CFStringRef key, CFStringRef applicationID, CFStringRef userName,
                                         CFStringRef hostName) {
  if (key == nullptr) return nullptr;
  auto file = storeFile(applicationID, userName, hostName);
  id stored = file ? cachedStore(*file) : nullptr;
  if (stored == nullptr) return nullptr;
  id value = host::retain(host::send(stored, "objectForKey:", toId(key)));
  host::release(stored);
  return value;
}

CFPropertyListRef CFPreferencesCopyAppValue(CFStringRef key, CFStringRef applicationID) {
  CFPropertyListRef value = CFPreferencesCopyValue(key, applicationID, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  if (value == nullptr)
    value = CFPreferencesCopyValue(key, kCFPreferencesAnyApplication, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  return value;
}

Boolean CFPreferencesGetAppBooleanValue(CFStringRef key, CFStringRef applicationID, Boolean* keyExistsAndHasValidFormat) {
  id value = toId(CFPreferencesCopyAppValue(key, applicationID));
  bool valid = true, result = false;
  switch (familyOf(value)) {
    case Family::Boolean:
    case Family::Number: result = numberToBool(numberOf(value)); break;
    case Family::String: {
      const std::string& s = text(value);
      if (strcasecmp(s.c_str(), "true") == 0 || strcasecmp(s.c_str(), "yes") == 0) result = true;
      else if (strcasecmp(s.c_str(), "false") == 0 || strcasecmp(s.c_str(), "no") == 0) result = false;
      else valid = false;
      break;
    }
    default: valid = false;
  }
  host::release(value);
  if (keyExistsAndHasValidFormat) *keyExistsAndHasValidFormat = valid;
  return valid && result;
}

CFIndex CFPreferencesGetAppIntegerValue(CFStringRef key, CFStringRef applicationID, Boolean* keyExistsAndHasValidFormat) {
  id value = toId(CFPreferencesCopyAppValue(key, applicationID));
  bool valid = true;
  CFIndex result = 0;
  switch (familyOf(value)) {
    case Family::Number: result = static_cast<CFIndex>(numberToLongLong(numberOf(value))); break;
    case Family::String: result = stringIntValue(text(value)); break;
    default: valid = false;
  }
  host::release(value);
  if (keyExistsAndHasValidFormat) *keyExistsAndHasValidFormat = valid;
  return valid ? result : 0;
}

void CFPreferencesSetValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID, CFStringRef userName,
                           CFStringRef hostName) {
  auto file = storeFile(applicationID, userName, hostName);
  if (!file || key == nullptr) return;
  writeChanges(*file, domainName(applicationID), {{toId(key), toId(value)}});
}

void CFPreferencesSetAppValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID) {
  CFPreferencesSetValue(key, value, applicationID, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
}

void CFPreferencesSetMultiple(CFDictionaryRef keysToSet, CFArrayRef keysToRemove, CFStringRef applicationID,
                              CFStringRef userName, CFStringRef hostName) {
  auto file = storeFile(applicationID, userName, hostName);
  if (!file) return;
  std::vector<Change> changes;
  if (keysToSet)
    for (const auto& e : dictionaryOf(toId(keysToSet)).entries) changes.push_back({toId(e.key), toId(e.value)});
  if (keysToRemove)
    for (const void* key : arrayOf(toId(keysToRemove)).items) changes.push_back({toId(key), nullptr});
  if (!changes.empty()) writeChanges(*file, domainName(applicationID), changes);
}

// Writes go to the store at once; synchronizing reports whether they all landed.
Boolean CFPreferencesSynchronize(CFStringRef applicationID, CFStringRef userName, CFStringRef hostName) {
  return synchronize(storeFile(applicationID, userName, hostName));
}
Boolean CFPreferencesAppSynchronize(CFStringRef applicationID) {
  return synchronize(storeFile(applicationID, kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
}

namespace host::cf {

std::string preferencesFile(const std::string& domain) {
  return host::device::path("/var/mobile/Library/Preferences/" + domain + ".plist");
}

long preferencesWriteFailures() {
  std::lock_guard guard(::cf::failedLock);
  return ::cf::failedWrites;
}

std::string lastPreferencesWriteFailure() {
  std::lock_guard guard(::cf::failedLock);
  return ::cf::lastFailure();
}

}  // namespace host::cf

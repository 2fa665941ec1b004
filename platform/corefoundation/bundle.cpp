// NSBundle: a folder with an Info.plist, its resources, and its executable loaded on demand.
// Bundles are made once per folder and live for the whole process, as on the device.
#include "cf_internal.h"

#include "host/corefoundation.h"
#include "host/device.h"
#include "host/files.h"

#include <Foundation/NSObjCRuntime.h>

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>

namespace cf {
namespace {

struct BundleBox : Box {
  std::string path;
  id info = nullptr;  // Info.plist, read on first use
  bool loaded = false;
  ~BundleBox() override { host::release(info); }
};

std::mutex bundlesMutex;
std::map<std::string, id>& bundles() {
  static auto* table = new std::map<std::string, id>;
  return *table;
}
std::string& mainPathOverride() {
  static auto* path = new std::string;
  return *path;
}
std::set<Class>& compiledClasses() {
  static auto* set = new std::set<Class>;
  return *set;
}

BundleBox& bundleOf(id bundle) {
  if (familyOf(bundle) != Family::Bundle) fatal("not a bundle");
  return *boxOf<BundleBox>(bundle);
}

bool isDirectory(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool isFile(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string standardPath(const std::string& path) {
  std::string p = std::filesystem::path(path).lexically_normal().string();
  if (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

// The bundle for a folder: the one already made, else a new one. Requires the folder to exist
// unless `always`.
id bundleAt(const std::string& rawPath, bool always) {
  std::string path = standardPath(rawPath);
  if (path.empty() || path[0] != '/') {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) return nullptr;
    path = standardPath(std::string(cwd) + "/" + path);
  }
  if (!always && !isDirectory(path)) return nullptr;
  std::lock_guard lock(bundlesMutex);
  auto it = bundles().find(path);
  if (it != bundles().end()) return it->second;
  auto* box = new BundleBox;
  box->path = path;
  // Bundles live for the whole process, so they are made outside +alloc and not counted as live objects.
  id bundle = class_createInstance(classes().bundle, 0);
  boxSlot(bundle) = box;
  bundles().emplace(path, bundle);
  return bundle;
}

std::string executableFolder() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "/";
  buffer[n] = '\0';
  return std::filesystem::path(buffer).parent_path().string();
}

id mainBundleObject() {
  std::string path;
  {
    std::lock_guard lock(bundlesMutex);
    path = mainPathOverride();
  }
  if (path.empty()) path = executableFolder();
  id bundle = bundleAt(path, true);
  bundleOf(bundle).loaded = true;  // the main executable is running
  return bundle;
}

id infoDictionary(id self, SEL) {
  BundleBox& b = bundleOf(self);
  if (b.info == nullptr) {
    id info = readPropertyListFileOf(b.path + "/Info.plist", Family::Dictionary);
    b.info = info != nullptr ? info : newDictionary(false);
  }
  return b.info;
}

id infoValue(id self, const char* key) {
  id k = autoreleasedString(key);
  return host::send(infoDictionary(self, nullptr), "objectForKey:", k);
}

std::string infoString(id self, const char* key) {
  id value = infoValue(self, key);
  return familyOf(value) == Family::String ? text(value) : "";
}

// ---- class methods ----
id bundleWithPath(id, SEL, id path) {
  if (path == nullptr) return nullptr;
  return bundleAt(text(path), false);
}
id mainBundle(id, SEL) { return mainBundleObject(); }

// The bundle holding the code of a compiled class; run-time classes (and classes of images outside
// any bundle) answer the main bundle, as on the device.
id bundleForClass(id, SEL, Class cls) {
  bool compiled;
  {
    std::lock_guard lock(bundlesMutex);
    compiled = cls != Nil && compiledClasses().count(cls) > 0;
  }
  if (!compiled) return mainBundleObject();
  IMP imp = nullptr;
  for (Class c : {cls, object_getClass(reinterpret_cast<id>(cls))}) {
    unsigned count = 0;
    Method* methods = class_copyMethodList(c, &count);
    if (count > 0) imp = method_getImplementation(methods[0]);
    std::free(methods);
    if (imp) break;
  }
  Dl_info info{};
  if (imp == nullptr || dladdr(reinterpret_cast<void*>(imp), &info) == 0 || info.dli_fname == nullptr)
    return mainBundleObject();
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved) == nullptr) return mainBundleObject();
  std::string folder = std::filesystem::path(resolved).parent_path().string();
  std::string ext = std::filesystem::path(folder).extension().string();
  bool looksLikeBundle = isFile(folder + "/Info.plist") || ext == ".bundle" || ext == ".framework" || ext == ".app";
  return looksLikeBundle ? bundleAt(folder, false) : mainBundleObject();
}

// ---- instance methods ----
id bundlePath(id self, SEL) { return autoreleasedString(bundleOf(self).path); }
id executablePath(id self, SEL) {
  std::string name = infoString(self, "CFBundleExecutable");
  return name.empty() ? nullptr : autoreleasedString(bundleOf(self).path + "/" + name);
}
id bundleIdentifier(id self, SEL) {
  id value = infoValue(self, "CFBundleIdentifier");
  return familyOf(value) == Family::String ? value : nullptr;
}
id objectForInfoDictionaryKey(id self, SEL, id key) {
  return host::send(infoDictionary(self, nullptr), "objectForKey:", key);
}

// Resources sit in the bundle's own folder (iOS bundles are flat), or in a localisation folder.
std::string findResource(id self, const std::string& name, const std::string& type, const std::string& directory) {
  std::string file = type.empty() ? name : name + "." + type;
  std::string base = bundleOf(self).path + (directory.empty() ? "" : "/" + directory);
  for (const char* sub : {"", "/Base.lproj", "/en.lproj"}) {
    std::string candidate = base + sub + "/" + file;
    if (isFile(candidate) || isDirectory(candidate)) return candidate;
  }
  return "";
}
id pathForResourceInDirectory(id self, SEL, id name, id type, id directory) {
  if (name == nullptr) return nullptr;
  std::string found = findResource(self, text(name), text(type), text(directory));
  return found.empty() ? nullptr : autoreleasedString(found);
}
id pathForResource(id self, SEL, id name, id type) { return pathForResourceInDirectory(self, nullptr, name, type, nullptr); }
id urlForResource(id self, SEL, id name, id extension) {
  id path = pathForResource(self, nullptr, name, extension);
  return path ? host::autorelease(newFileURL(text(path), false)) : nullptr;
}

// Loads the bundle's executable (as the process loads images: dlopen, RTLD_NOW; never unloaded). YES when it is loaded.
BOOL load(id self, SEL) {
  BundleBox& b = bundleOf(self);
  if (b.loaded) return YES;
  std::string name = infoString(self, "CFBundleExecutable");
  if (name.empty()) return NO;
  std::string path = b.path + "/" + name;
  if (!host::files::isReadableRegular(path)) {
    std::fprintf(stderr, "Error loading %s: not a readable regular file\n", path.c_str());
    return NO;
  }
  std::string error;
  if (!host::device::openImage(path, RTLD_NOW, &error)) {
    std::fprintf(stderr, "Error loading %s: %s\n", path.c_str(), error.c_str());
    return NO;
  }
  b.loaded = true;
  return YES;
}
BOOL isLoaded(id self, SEL) { return bundleOf(self).loaded ? YES : NO; }
Class principalClass(id self, SEL) {
  if (!load(self, nullptr)) return Nil;
  std::string name = infoString(self, "NSPrincipalClass");
  return name.empty() ? Nil : objc_getClass(name.c_str());
}
Class classNamed(id self, SEL, id name) {
  if (name == nullptr || !load(self, nullptr)) return Nil;
  return objc_getClass(text(name).c_str());
}

// The translation of key from table (Localizable by default) when a readable .strings file holds
// it; else value, or key when value is nil or empty.
id localizedString(id self, SEL, id key, id value, id table) {
  if (key == nullptr) return value ? value : autoreleasedString("");
  std::string tableName = table && !text(table).empty() ? text(table) : "Localizable";
  std::string file = findResource(self, tableName, "strings", "");
  if (!file.empty()) {
    id strings = readPropertyListFile(file, kCFPropertyListImmutable);
    if (familyOf(strings) == Family::Dictionary) {
      id found = host::send(strings, "objectForKey:", key);
      if (familyOf(found) == Family::String) {
        id result = autoreleasedString(text(found));
        host::release(strings);
        return result;
      }
    }
    host::release(strings);
  }
  return value && !text(value).empty() ? value : key;
}

id description(id self, SEL) {
  const BundleBox& b = bundleOf(self);
  return autoreleasedString("NSBundle <" + b.path + "> (" + (b.loaded ? "loaded" : "not yet loaded") + ")");
}

// Bundles live for the process: the registry owns them.
id keepAlive(id self, SEL) { return self; }
void noRelease(id, SEL) {}

}  // namespace

void defineBundleClass(Classes& c) {
  c.bundle = host::ClassBuilder("NSBundle", c.object)
                 .ivar("_cfBox", sizeof(void*), alignof(void*), "^v")
                 .classMethod("bundleWithPath:", &bundleWithPath)
                 .classMethod("mainBundle", &mainBundle)
                 .classMethod("bundleForClass:", &bundleForClass)
                 .method("bundlePath", &bundlePath)
                 .method("resourcePath", &bundlePath)
                 .method("executablePath", &executablePath)
                 .method("bundleIdentifier", &bundleIdentifier)
                 .method("infoDictionary", &infoDictionary)
                 .method("objectForInfoDictionaryKey:", &objectForInfoDictionaryKey)
                 .method("pathForResource:ofType:", &pathForResource)
                 .method("pathForResource:ofType:inDirectory:", &pathForResourceInDirectory)
                 .method("URLForResource:withExtension:", &urlForResource)
                 .method("load", &load)
                 .method("isLoaded", &isLoaded)
                 .method("principalClass", &principalClass)
                 .method("classNamed:", &classNamed)
                 .method("localizedStringForKey:value:table:", &localizedString)
                 .method("description", &description)
                 .method("retain", &keepAlive)
                 .method("autorelease", &keepAlive)
                 .method("release", &noRelease)
                 .registerClass();
  addFamilyBasics(c.bundle);
}

}  // namespace cf

namespace host::cf {

void setMainBundlePath(const std::string& folder) {
  std::lock_guard lock(::cf::bundlesMutex);
  ::cf::mainPathOverride() = folder;
}

std::string mainBundlePath() { return ::cf::bundleOf(::cf::mainBundleObject()).path; }

void markCompiledClass(Class cls) {
  if (cls == Nil) return;
  std::lock_guard lock(::cf::bundlesMutex);
  ::cf::compiledClasses().insert(cls);
}

}  // namespace host::cf

extern "C" Class NSClassFromString(id aClassName) {
  if (aClassName == nullptr) return Nil;
  return objc_getClass(cf::text(aClassName).c_str());
}

extern "C" id NSStringFromClass(Class aClass) {
  if (aClass == Nil) return nullptr;
  return cf::autoreleasedString(class_getName(aClass));
}

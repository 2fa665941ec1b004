// NSURL / CFURL: a URL string (with an optional base) and its parts.
#include "cf_internal.h"
#include "url_parse.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace cf {
namespace {

struct URLBox : Box {
  std::string relative;     // as given
  id base = nullptr;        // NSURL or nil
  std::string absolute;     // resolved against base
  url::Parts parts;         // of absolute
  id stringObject = nullptr;  // CFURLGetString's answer, made on first use, owned by the URL
  ~URLBox() override {
    host::release(base);
    host::release(stringObject);
  }
};

URLBox* makeBox(const std::string& relative, id base) {
  auto* box = new URLBox;
  box->relative = relative;
  box->base = host::retain(base);
  box->absolute = base ? url::resolve(boxOf<URLBox>(base)->absolute, relative) : relative;
  box->parts = url::split(box->absolute);
  return box;
}

URLBox& urlOf(id u) {
  if (familyOf(u) != Family::URL) fatal("-[%s absoluteString]: not a URL", u ? object_getClassName(u) : "nil");
  URLBox* box = boxOf<URLBox>(u);
  if (box == nullptr) {
    box = makeBox("", nullptr);
    boxSlot(u) = box;
  }
  return *box;
}

// A URL with a scheme whose remainder does not start with '/' ("mailto:a@b") has no path, host or
// query of its own, as on the device.
bool isHierarchical(const URLBox& u) {
  return !u.parts.scheme || u.parts.authority || (!u.parts.path.empty() && u.parts.path[0] == '/');
}

std::string absolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[4096];
  std::string dir = getcwd(cwd, sizeof cwd) ? cwd : "/";
  if (path.empty()) return dir;
  return dir + (dir.back() == '/' ? "" : "/") + path;
}

bool isDirectoryOnDisk(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string fileURLString(const std::string& path, bool isDirectory) {
  std::string p = absolutePath(path);
  if (isDirectory && p.back() != '/') p += '/';
  return "file://" + url::escapePath(p);
}

// The decoded path without a trailing slash (except "/"); nullopt when the URL has none.
std::optional<std::string> filePath(const URLBox& u) {
  if (!isHierarchical(u)) return std::nullopt;
  std::string p = url::percentDecode(u.parts.path);
  if (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

Class classOf(id cls) { return reinterpret_cast<Class>(cls); }
id stringOrNil(const std::optional<std::string>& s) { return s ? autoreleasedString(*s) : nullptr; }

// ---- class methods ----
id fileURLWithPathIsDirectory(id cls, SEL, id path, BOOL isDirectory) {
  if (path == nullptr) fatal("+[NSURL fileURLWithPath:]: nil string parameter");
  return host::autorelease(newObject(classOf(cls), makeBox(fileURLString(text(path), isDirectory), nullptr)));
}
id fileURLWithPath(id cls, SEL, id path) {
  if (path == nullptr) fatal("+[NSURL fileURLWithPath:]: nil string parameter");
  std::string p = absolutePath(text(path));
  return fileURLWithPathIsDirectory(cls, nullptr, path, isDirectoryOnDisk(p) ? YES : NO);
}
// nil for nil or a string that is not a valid URL.
id urlWithStringRelative(id cls, SEL, id string, id base) {
  if (string == nullptr || !url::isValid(text(string))) return nullptr;
  return host::autorelease(newObject(classOf(cls), makeBox(text(string), base)));
}
id urlWithString(id cls, SEL, id string) { return urlWithStringRelative(cls, nullptr, string, nullptr); }

id initFileURLWithPath(id self, SEL, id path) {
  if (path == nullptr) fatal("-[NSURL initFileURLWithPath:]: nil string parameter");
  std::string p = absolutePath(text(path));
  setBox(self, makeBox(fileURLString(p, isDirectoryOnDisk(p)), nullptr));
  return self;
}
id initWithString(id self, SEL, id string) {
  if (string == nullptr) fatal("-[NSURL initWithString:]: nil string parameter");
  if (!url::isValid(text(string))) {
    host::release(self);
    return nullptr;
  }
  setBox(self, makeBox(text(string), nullptr));
  return self;
}

// ---- instance methods ----
id path(id self, SEL) { return stringOrNil(filePath(urlOf(self))); }
id absoluteString(id self, SEL) { return autoreleasedString(urlOf(self).absolute); }
id relativeString(id self, SEL) { return autoreleasedString(urlOf(self).relative); }
id baseURL(id self, SEL) { return urlOf(self).base; }
id absoluteURL(id self, SEL) {
  URLBox& u = urlOf(self);
  if (u.base == nullptr) return self;
  return host::autorelease(newObject(classes().url, makeBox(u.absolute, nullptr)));
}
BOOL isFileURL(id self, SEL) {
  const URLBox& u = urlOf(self);
  return u.parts.scheme && strcasecmp(u.parts.scheme->c_str(), "file") == 0 ? YES : NO;
}
id scheme(id self, SEL) { return stringOrNil(urlOf(self).parts.scheme); }
id host(id self, SEL) {
  const URLBox& u = urlOf(self);
  if (!u.parts.authority) return nullptr;
  std::string h = url::hostOf(*u.parts.authority);
  return h.empty() && isFileURL(self, nullptr) ? nullptr : autoreleasedString(h);
}
id port(id self, SEL) {
  const URLBox& u = urlOf(self);
  auto p = u.parts.authority ? url::portOf(*u.parts.authority) : std::nullopt;
  return p ? host::autorelease(newSigned(*p)) : nullptr;
}
id query(id self, SEL) {
  const URLBox& u = urlOf(self);
  return isHierarchical(u) ? stringOrNil(u.parts.query) : nullptr;
}
id fragment(id self, SEL) { return stringOrNil(urlOf(self).parts.fragment); }
id resourceSpecifier(id self, SEL) {
  const URLBox& u = urlOf(self);
  std::string s = u.absolute;
  if (u.parts.scheme) s.erase(0, u.parts.scheme->size() + 1);
  return autoreleasedString(s);
}
id lastPathComponent(id self, SEL) {
  auto p = filePath(urlOf(self));
  if (!p) return nullptr;
  return host::send(autoreleasedString(*p), "lastPathComponent");
}
id pathExtension(id self, SEL) {
  auto p = filePath(urlOf(self));
  if (!p) return nullptr;
  return host::send(autoreleasedString(*p), "pathExtension");
}
id appendingPathComponent(id self, SEL, id component) {
  const URLBox& u = urlOf(self);
  url::Parts parts = u.parts;
  if (!parts.path.empty() && parts.path.back() != '/') parts.path += '/';
  parts.path += url::escapePath(text(component));
  return host::autorelease(newObject(classes().url, makeBox(url::join(parts), nullptr)));
}
id deletingLastPathComponent(id self, SEL) {
  const URLBox& u = urlOf(self);
  url::Parts parts = u.parts;
  std::string p = parts.path;
  if (p.size() > 1 && p.back() == '/') p.pop_back();
  size_t slash = p.rfind('/');
  parts.path = slash == std::string::npos ? "./" : p.substr(0, slash + 1);
  return host::autorelease(newObject(classes().url, makeBox(url::join(parts), nullptr)));
}
const char* fileSystemRepresentation(id self, SEL) {
  auto p = filePath(urlOf(self));
  if (!p) return nullptr;
  return host::send<const char*>(autoreleasedString(*p), "UTF8String");
}
BOOL isEqual(id self, SEL, id other) {
  if (familyOf(other) != Family::URL) return NO;
  const URLBox& a = urlOf(self);
  const URLBox& b = urlOf(other);
  if (a.relative != b.relative) return NO;
  if (a.base == b.base) return YES;
  return a.base && b.base && isEqual(a.base, nullptr, b.base);
}
unsigned long hashOf(id self, SEL) { return std::hash<std::string>{}(urlOf(self).relative); }
id description(id self, SEL) {
  const URLBox& u = urlOf(self);
  return autoreleasedString(u.base ? u.relative + " -- " + boxOf<URLBox>(u.base)->absolute : u.relative);
}
id copyRetained(id self, SEL) { return host::retain(self); }

}  // namespace

void defineURLClass(Classes& c) {
  c.url = host::ClassBuilder("NSURL", c.object)
              .ivar("_cfBox", sizeof(void*), alignof(void*), "^v")
              .classMethod("fileURLWithPath:", &fileURLWithPath)
              .classMethod("fileURLWithPath:isDirectory:", &fileURLWithPathIsDirectory)
              .classMethod("URLWithString:", &urlWithString)
              .classMethod("URLWithString:relativeToURL:", &urlWithStringRelative)
              .method("initFileURLWithPath:", &initFileURLWithPath)
              .method("initWithString:", &initWithString)
              .method("path", &path)
              .method("absoluteString", &absoluteString)
              .method("relativeString", &relativeString)
              .method("baseURL", &baseURL)
              .method("absoluteURL", &absoluteURL)
              .method("isFileURL", &isFileURL)
              .method("scheme", &scheme)
              .method("host", &host)
              .method("port", &port)
              .method("query", &query)
              .method("fragment", &fragment)
              .method("resourceSpecifier", &resourceSpecifier)
              .method("lastPathComponent", &lastPathComponent)
              .method("pathExtension", &pathExtension)
              .method("URLByAppendingPathComponent:", &appendingPathComponent)
              .method("URLByDeletingLastPathComponent", &deletingLastPathComponent)
              .method("fileSystemRepresentation", &fileSystemRepresentation)
              .method("isEqual:", &isEqual)
              .method("hash", &hashOf)
              .method("description", &description)
              .method("copy", &copyRetained)
              .registerClass();
  addFamilyBasics(c.url);
}

id newFileURL(const std::string& path, bool isDirectory) {
  return newObject(classes().url, makeBox(fileURLString(path, isDirectory), nullptr));
}

std::string urlString(id u) { return urlOf(u).absolute; }

}  // namespace cf

using namespace cf;

namespace {
id newURL(const std::string& relative, id base) { return newObject(classes().url, makeBox(relative, base)); }
CFStringRef copyOrNull(const std::optional<std::string>& s) {
  return s ? toCF<CFStringRef>(newString(*s)) : nullptr;
}
}  // namespace

CFTypeID CFURLGetTypeID(void) { return 29; }

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef filePath, CFURLPathStyle pathStyle, Boolean isDirectory) {
  if (filePath == nullptr || pathStyle != kCFURLPOSIXPathStyle) return nullptr;
  return toCF<CFURLRef>(newFileURL(text(toId(filePath)), isDirectory));
}

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef, const UInt8* buffer, CFIndex bufLen, Boolean isDirectory) {
  if (buffer == nullptr || bufLen < 0) return nullptr;
  std::string path(reinterpret_cast<const char*>(buffer), static_cast<size_t>(bufLen));
  return toCF<CFURLRef>(newFileURL(path, isDirectory));
}

CFURLRef CFURLCreateWithString(CFAllocatorRef, CFStringRef URLString, CFURLRef baseURL) {
  if (URLString == nullptr || !url::isValid(text(toId(URLString)))) return nullptr;
  return toCF<CFURLRef>(newURL(text(toId(URLString)), toId(baseURL)));
}

CFStringRef CFURLGetString(CFURLRef anURL) {
  URLBox& u = urlOf(toId(anURL));
  if (u.stringObject == nullptr) u.stringObject = newString(u.relative);
  return toCF<CFStringRef>(u.stringObject);
}

CFURLRef CFURLGetBaseURL(CFURLRef anURL) { return toCF<CFURLRef>(urlOf(toId(anURL)).base); }

CFURLRef CFURLCopyAbsoluteURL(CFURLRef relativeURL) {
  const URLBox& u = urlOf(toId(relativeURL));
  if (u.base == nullptr) return toCF<CFURLRef>(host::retain(toId(relativeURL)));
  return toCF<CFURLRef>(newURL(u.absolute, nullptr));
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean, UInt8* buffer, CFIndex maxBufLen) {
  auto p = filePath(urlOf(toId(url)));
  if (!p || buffer == nullptr || static_cast<CFIndex>(p->size()) + 1 > maxBufLen) return false;
  std::memcpy(buffer, p->c_str(), p->size() + 1);
  return true;
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle) {
  if (pathStyle != kCFURLPOSIXPathStyle) return nullptr;
  return copyOrNull(filePath(urlOf(toId(anURL))));
}

CFStringRef CFURLCopyScheme(CFURLRef anURL) { return copyOrNull(urlOf(toId(anURL)).parts.scheme); }

CFStringRef CFURLCopyHostName(CFURLRef anURL) {
  const URLBox& u = urlOf(toId(anURL));
  if (!u.parts.authority) return nullptr;
  std::string h = url::hostOf(*u.parts.authority);
  return h.empty() ? nullptr : toCF<CFStringRef>(newString(h));
}

CFStringRef CFURLCopyPath(CFURLRef anURL) { return toCF<CFStringRef>(newString(urlOf(toId(anURL)).parts.path)); }

CFStringRef CFURLCopyQueryString(CFURLRef anURL, CFStringRef) { return copyOrNull(urlOf(toId(anURL)).parts.query); }

// The functions below use Foundation methods that autorelease; their own pool keeps CF callers
// free of autoreleased objects, as CF's own functions are.

CFStringRef CFURLCopyLastPathComponent(CFURLRef url) {
  host::AutoreleasePool pool;
  id s = host::send(toId(url), "lastPathComponent");
  return toCF<CFStringRef>(s ? host::retain(s) : newString(""));
}

CFStringRef CFURLCopyPathExtension(CFURLRef url) {
  host::AutoreleasePool pool;
  id s = host::send(toId(url), "pathExtension");
  if (s == nullptr || text(s).empty()) return nullptr;
  return toCF<CFStringRef>(host::retain(s));
}

CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef, CFURLRef url, CFStringRef pathComponent, Boolean isDirectory) {
  host::AutoreleasePool pool;
  id appended = host::send(toId(url), "URLByAppendingPathComponent:", toId(pathComponent));
  if (!isDirectory) return toCF<CFURLRef>(host::retain(appended));
  return toCF<CFURLRef>(newURL(urlOf(appended).absolute + "/", nullptr));
}

CFURLRef CFURLCreateCopyDeletingLastPathComponent(CFAllocatorRef, CFURLRef url) {
  host::AutoreleasePool pool;
  return toCF<CFURLRef>(host::retain(host::send(toId(url), "URLByDeletingLastPathComponent")));
}

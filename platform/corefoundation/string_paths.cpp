// NSString's path methods, with Foundation's rules for slashes: repeated slashes collapse and a
// trailing slash is dropped (except for "/" itself).
#include "cf_internal.h"

namespace cf {
namespace {

std::string standardSlashes(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out += c;
  }
  if (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

std::string lastComponent(const std::string& path) {
  std::string p = standardSlashes(path);
  if (p == "/") return p;
  size_t slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string deletingLastComponent(const std::string& path) {
  std::string p = standardSlashes(path);
  if (p == "/") return p;
  size_t slash = p.rfind('/');
  if (slash == std::string::npos) return "";
  if (slash == 0) return "/";
  return p.substr(0, slash);
}

// The extension of the last component: after its last dot, unless that dot starts the name.
size_t extensionDot(const std::string& p) {
  size_t slash = p.rfind('/');
  size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = p.rfind('.');
  if (dot == std::string::npos || dot <= nameStart || dot + 1 == p.size()) return std::string::npos;
  return dot;
}

id lastPathComponent(id self, SEL) { return autoreleasedString(lastComponent(text(self))); }
id deletingLastPathComponent(id self, SEL) { return autoreleasedString(deletingLastComponent(text(self))); }

id appendingPathComponent(id self, SEL, id component) {
  if (component == nullptr) fatal("-[NSString stringByAppendingPathComponent:]: nil argument");
  const std::string& base = text(self);
  const std::string& add = text(component);
  if (base.empty()) return autoreleasedString(standardSlashes(add));
  if (add.empty()) return autoreleasedString(standardSlashes(base));
  return autoreleasedString(standardSlashes(base + "/" + add));
}

id pathExtension(id self, SEL) {
  std::string p = standardSlashes(text(self));
  size_t dot = extensionDot(p);
  return autoreleasedString(dot == std::string::npos ? "" : p.substr(dot + 1));
}

id deletingPathExtension(id self, SEL) {
  std::string p = standardSlashes(text(self));
  size_t dot = extensionDot(p);
  return autoreleasedString(dot == std::string::npos ? p : p.substr(0, dot));
}

id appendingPathExtension(id self, SEL, id extension) {
  if (extension == nullptr) fatal("-[NSString stringByAppendingPathExtension:]: nil argument");
  std::string p = standardSlashes(text(self));
  if (p.empty() || p == "/" || text(extension).find('/') != std::string::npos) return nullptr;
  return autoreleasedString(p + "." + text(extension));
}

BOOL isAbsolutePath(id self, SEL) {
  const std::string& p = text(self);
  return !p.empty() && (p[0] == '/' || p[0] == '~') ? YES : NO;
}

id pathComponents(id self, SEL) {
  const std::string& p = text(self);
  std::vector<id> parts;
  size_t i = 0;
  if (!p.empty() && p[0] == '/') parts.push_back(autoreleasedString("/"));
  while (i < p.size()) {
    size_t slash = p.find('/', i);
    if (slash == std::string::npos) slash = p.size();
    if (slash > i) parts.push_back(autoreleasedString(p.substr(i, slash - i)));
    i = slash + 1;
  }
  if (p.size() > 1 && p.back() == '/') parts.push_back(autoreleasedString("/"));
  return host::autorelease(newArray(parts, false));
}

}  // namespace

void defineStringPathMethods(Class cls) {
  class_addMethod(cls, sel_registerName("lastPathComponent"), reinterpret_cast<IMP>(lastPathComponent), "@@:");
  class_addMethod(cls, sel_registerName("stringByDeletingLastPathComponent"),
                  reinterpret_cast<IMP>(deletingLastPathComponent), "@@:");
  class_addMethod(cls, sel_registerName("stringByAppendingPathComponent:"), reinterpret_cast<IMP>(appendingPathComponent),
                  "@@:@");
  class_addMethod(cls, sel_registerName("pathExtension"), reinterpret_cast<IMP>(pathExtension), "@@:");
  class_addMethod(cls, sel_registerName("stringByDeletingPathExtension"), reinterpret_cast<IMP>(deletingPathExtension),
                  "@@:");
  class_addMethod(cls, sel_registerName("stringByAppendingPathExtension:"),
                  reinterpret_cast<IMP>(appendingPathExtension), "@@:@");
  class_addMethod(cls, sel_registerName("isAbsolutePath"), reinterpret_cast<IMP>(isAbsolutePath), "C@:");
  class_addMethod(cls, sel_registerName("pathComponents"), reinterpret_cast<IMP>(pathComponents), "@@:");
}

}  // namespace cf

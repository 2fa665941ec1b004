// The page's rows: the specifier list "Root", loaded once, from the bundle that holds this code.
#include <dlfcn.h>
#include <string.h>

#include "common/objc_msg.h"
#include "prefs/pane.h"

namespace pane {

// Answers the cached specifiers, loading "Root" with the controller as the target of the rows'
// actions when none are cached. A nil load is not cached, so the next call tries again.
id specifiers(id self, SEL) {
  id* field = specifiersField(self);
  if (field != nullptr && *field != nullptr) return *field;
  id loaded = rv::msg(self, RV_SEL("loadSpecifiersFromPlistName:target:"), string("Root"), self);
  if (field == nullptr) return loaded;  // a PSListController without the field: nothing to cache in
  assignStrong(*field, loaded);
  return *field;
}

// Answers the bundle at the folder of the image holding this code (RaveloPrefs.bundle), or the
// inherited answer when the loader cannot say where that is.
id bundle(id self, SEL cmd) {
  Dl_info image{};
  char folder[1024];
  if (dladdr(reinterpret_cast<const void*>(&bundle), &image) != 0 && image.dli_fname != nullptr &&
      strlcpy(folder, image.dli_fname, sizeof folder) < sizeof folder) {
    char* lastSlash = nullptr;
    for (char* c = folder; *c != '\0'; ++c) {
      if (*c == '/') lastSlash = c;
    }
    if (lastSlash != nullptr) {
      lastSlash[lastSlash == folder ? 1 : 0] = '\0';
      id found = rv::msg(classNamed("NSBundle"), RV_SEL("bundleWithPath:"), string(folder));
      if (found != nullptr) return found;
    }
  }
  return rv::msgSuper(self, superclass(), cmd);
}

}  // namespace pane

// The controller's two strong header fields: their accessors and their release at tear-down.
#include "common/objc_msg.h"
#include "prefs/pane.h"

namespace pane {

id headerView(id self, SEL) { return headerViewField(self); }
void setHeaderView(id self, SEL, id value) { assignStrong(headerViewField(self), value); }

id headerImageView(id self, SEL) { return headerImageViewField(self); }
void setHeaderImageView(id self, SEL, id value) { assignStrong(headerImageViewField(self), value); }

// The banner goes before its container, then PSListController tears down the rest.
void dealloc(id self, SEL cmd) {
  assignStrong(headerImageViewField(self), nullptr);
  assignStrong(headerViewField(self), nullptr);
  rv::msgSuper<void>(self, superclass(), cmd);
}

}  // namespace pane

// SpringBoard's application object.
#include "host/trace.h"
#include "springboard_internal.h"

namespace host::springboard::detail {
namespace {

// -[SpringBoard applicationDidFinishLaunching:]: the home screen comes up.
void applicationDidFinishLaunching(id self, SEL, id application) {
  host::ivarRef<BOOL>(self, "_finishedLaunching") = YES;
  host::ivarRef<id>(self, "_launchedApplication") = application;
  host::trace("SpringBoard: finished launching");
}

}  // namespace

void defineSpringBoard() {
  host::ClassBuilder("SpringBoard", "UIApplication")
      .ivar<BOOL>("_finishedLaunching")
      .ivar<id>("_launchedApplication")
      .method("applicationDidFinishLaunching:", &applicationDidFinishLaunching)
      .registerClass();
}

}  // namespace host::springboard::detail

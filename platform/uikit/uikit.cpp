// Registers the UIKit stand-in's classes when the library loads, superclasses first.
#include "uikit_internal.h"

#include <cstdio>
#include <cstdlib>

namespace host::uikit::internal {

void raise(const char* exceptionName, const char* reason) {
  std::fprintf(stderr, "*** Terminating app due to uncaught exception '%s', reason: '%s'\n", exceptionName, reason);
  std::fflush(stderr);
  std::abort();
}

namespace {
__attribute__((constructor)) void defineUIKit() {
  defineColor();
  defineViews();
  defineControls();
  defineLayout();
  defineImages();
  defineLabels();
  defineTables();
  defineViewControllers();
  defineApplication();
}
}  // namespace

}  // namespace host::uikit::internal

// The executable of a tiny loadable bundle: registers its principal class when loaded, as a
// preference bundle does.
#include "host/objc.h"

namespace {

long answer(id, SEL) { return 42; }

__attribute__((constructor)) void registerPrincipalClass() {
  host::ClassBuilder("CFTestBundlePrincipal", "NSObject").method("answer", &answer).registerClass();
}

}  // namespace

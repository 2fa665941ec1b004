// A tweak for the loader's tests: its initialiser reports that it was loaded.
#include "host/trace.h"

__attribute__((constructor)) static void testTweakInit() { host::trace("test tweak initialised"); }

#include "tweak/hooks.h"

// The hook table arrives with the event hooks; until then there is nothing to install.
void installHooks(void) {}

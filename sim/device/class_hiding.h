// Framework classes missing to the code the device loaded from its jailbreak root (the tweak, the pane),
// as on a device whose iOS lacks them: their lookups by name (objc_getClass, objc_lookUpClass,
// NSClassFromString) from that code answer Nil. The framework itself, and the stand-ins acting as
// SpringBoard or the Settings app, keep them.
//
// The lookups are this executable's own definitions, which the dynamic loader binds before the
// runtime's; programs that link this file must export their symbols (ENABLE_EXPORTS).
#pragma once

#include <string>
#include <vector>

namespace sim::device {

// From now on, code loaded from below `jbroot` finds no class named in `names`. Call once, before
// that code is loaded.
void hideClassesFromInstalledCode(const std::vector<std::string>& names, const std::string& jbroot);

}  // namespace sim::device

// The jailbreak's tweak loader, as the method-hooking library runs it in every process it injects.
#pragma once

#include <string>
#include <vector>

namespace host::substrate {

// What the loader did with one dynamic library of the tweak folder.
struct LoadedTweak {
  std::string dylib;   // its path
  bool loaded = false; // false: its dlopen failed (error holds dlerror's message)
  std::string error;
};

// Loads the tweaks meant for this process, as the jailbreak's loader does at process start: reads
// every "*.plist" in <jbroot>/Library/MobileSubstrate/DynamicLibraries/ in name order and opens
// (dlopen, RTLD_NOW | RTLD_GLOBAL; never closed) the ".dylib" of the same name when the plist's Filter
// matches. A Filter matches when its "Bundles" array names `bundleId`, its "Executables" array names
// `executableName`, or one of its "Classes" is defined in the process; with "Mode" = "Any" one of
// those suffices, otherwise every filter kind present must match. A plist without a Filter
// dictionary, one that cannot be read, or a plist without its dylib loads nothing. A tweak's
// initialisers run inside dlopen, before this returns.
// Each load is traced as "substrate load <dylib>" before its dlopen, and a failure after it as
// "substrate load <dylib> failed: <error>".
// Returns the libraries it tried to open, in order.
std::vector<LoadedTweak> loadTweaks(const std::string& bundleId, const std::string& jbroot,
                                    const std::string& executableName = "");

}  // namespace host::substrate

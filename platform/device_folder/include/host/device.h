// The simulated device's file system on this machine.
//
// Stand-ins that keep device state on disk (the preferences store, notification sockets) put it below
// one folder, the device root: $RAVELO_DEVICE_ROOT, or the folder given to setRoot, which also exports
// it to child processes. Paths the system code names itself go through the root-path resolver instead.
#pragma once

#include <string>

namespace host::device {

// The device root; aborts with a clear message when none is set.
std::string root();

// Sets the device root for this process and the processes it starts.
void setRoot(const std::string& folder);

// The host path of a device path: root() + devicePath (devicePath starts with '/').
std::string path(const std::string& devicePath);

// AddressSanitizer intercepts dlopen, so glibc takes the sanitizer runtime for the caller and never
// searches the calling library's run paths: a deliverable could not find libroot.dylib there. In a
// sanitizer build this loads the library at `path` (if present) ahead of time, so the deliverable's
// dlopen("libroot.dylib") finds it by its soname; in a normal build it does nothing and the run paths
// are what find it.
void preloadRootLibraryForSanitizer(const std::string& path);

// How this process loads a library or a bundle's executable (the jailbreak's tweak loader, NSBundle's
// load): dlopen with `flags` by default. A process whose installed code runs in another form (the
// device binaries under emulation) installs its own opener, which answers false with *error set
// when the image cannot be loaded. An image is never unloaded.
using ImageOpener = bool (*)(const std::string& path, int flags, std::string* error);
void setImageOpener(ImageOpener opener);
bool openImage(const std::string& path, int flags, std::string* error);

}  // namespace host::device

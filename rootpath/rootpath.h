// Root-path resolution: maps rootfs-style absolute paths into the rootless jailbreak root.
//
// Each deliverable carries its own copy; it binds once per process, to the jailbreak's libroot.dylib
// when that library can be opened through the deliverable's run paths, and to built-in fallbacks for
// every entry point the library lacks (or all of them, without the library).
#pragma once

enum { kRootPathBufferSize = 1024 };  // the platform's path-length limit, terminator included

// Resolves an absolute rootfs path below the jailbreak root ("/Library/Sounds/" becomes
// "<jbroot>/Library/Sounds/"); a relative path comes back unchanged. Writes into `buffer` (1024 bytes,
// caller-owned; a null buffer gets a fresh malloc'd one the caller then owns) and returns it, or null
// for a null path. Results longer than 1023 bytes are truncated, never overrun.
char* jbrootPath(const char* path, char* buffer);

// The inverse: a path below the jailbreak root loses that prefix (a plain byte-prefix test, so
// "/var/jbx" becomes "x" with the fallback); another absolute path gets the root prefix in front; a
// relative path is unchanged. Buffer and result as for jbrootPath.
char* rootfsPath(const char* path, char* buffer);

// The rootfs prefix ("" on a rootless jailbreak), the jailbreak root ("/var/jb" without the library),
// and the boot session's UUID (all zeroes without the library). Constant strings.
const char* rootPrefix(void);
const char* jbrootPrefix(void);
const char* bootUuid(void);

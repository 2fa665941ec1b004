// Stub SDK: process spawning as the device's C library declares it. On Darwin the attribute and
// file-action objects are opaque pointers.
#pragma once

typedef int pid_t;
typedef void* posix_spawnattr_t;
typedef void* posix_spawn_file_actions_t;

#ifdef __cplusplus
extern "C" {
#endif

int posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* file_actions,
                const posix_spawnattr_t* attrp, char* const argv[], char* const envp[]);

#ifdef __cplusplus
}
#endif

// Reading files the way every stand-in must: only regular files, and never waiting on what is not one.
// A FIFO, device or socket in a file's place is refused at once (it is opened without blocking and
// checked before anything is read), as is a folder.
#pragma once

#include <sys/stat.h>

#include <string>

namespace host::files {

// Opens `path` for reading if it is a regular file: a descriptor (close-on-exec, blocking again), or
// -1 with errno set (EINVAL for what is not a regular file). *info, when given, is its status.
int openRegular(const std::string& path, struct stat* info = nullptr);

// Whether `path` is a regular file that can be opened for reading.
bool isReadableRegular(const std::string& path);

// The whole of a regular file into `out`; false (and `out` empty) when it cannot be read or is not a
// regular file. *info, when given, is its status as it was read.
bool readRegular(const std::string& path, std::string& out, struct stat* info = nullptr);

}  // namespace host::files

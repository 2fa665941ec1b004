// The device's own /var for processes that must find the jailbreak root at /var/jb itself (the
// system code's built-in answer when the root-path library is absent): a private mount namespace
// where /var is a fresh tmpfs holding binds of the device root's var/jb, var/mobile and var/run.
// The host's /var is untouched; the namespace ends with the last process in it.
#pragma once

#include <string>

namespace sim {

// Moves the calling process into such a view of the device root `root` (canonical). Meant for a
// child between fork and exec: it only makes system calls. Without root privileges it also enters a
// user namespace that maps the caller's user to root. Returns false with *error set when the kernel
// refuses (namespaces disabled, no privileges).
bool enterPrivateView(const std::string& root, std::string* error);

// Tries enterPrivateView in a throwaway child; false with *error set when it cannot work here.
bool privateViewWorks(const std::string& root, std::string* error);

}  // namespace sim

// Changing files below the simulated device's folder without ever following a symbolic link.
//
// The device folder is a tree on this machine that a person (keeping it with ravelo-sim --root) may
// have filled with links; a write that followed one could change any file of the machine. So every
// change below the device root (host/device.h; in a device process's private view also below /var/jb,
// /var/mobile and /var/run, which are its folders) opens the folders on the way relative to the root,
// refusing every link: one openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS where the kernel has it,
// else one openat(O_NOFOLLOW) per component. The last entry is then changed through its folder's
// descriptor, so a link there is itself replaced or removed, never followed. A refusal names the link.
//
// Paths outside the device (a test's own files, a picture the user asked for) are changed as any
// program changes them.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace host::files {

// An open folder (an O_PATH descriptor, closed with the object).
class Folder {
 public:
  Folder() = default;
  explicit Folder(int fd) : fd_(fd) {}
  ~Folder();
  Folder(Folder&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Folder& operator=(Folder&& other) noexcept;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  int fd() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

  // A short path to the entry `name` of this folder through the descriptor ("/proc/self/fd/5/name"),
  // for calls that take only a path (bind, connect): it reaches this very folder, whatever links or
  // length its own path has.
  std::string pathOf(const std::string& name) const;

 private:
  int fd_ = -1;
};

// The folder `path`, opened for changing what is in it. With `create`, missing folders on the way are
// made (mode 0755). An empty Folder when it cannot be, with *error saying why ("<link> is a symbolic
// link ...", "<x> is not a folder", or the failing call's reason) and errno ELOOP, ENOTDIR, ENOENT (a
// folder on the way is missing) or the failing call's.
Folder openFolder(const std::string& path, bool create, std::string* error);

// The folder holding `path` (opened as openFolder does) and the last part of `path`; nullopt with
// *error and errno set when the folder cannot be opened or `path` names no entry ("/", ".."; EINVAL).
struct Place {
  Folder folder;
  std::string name;
};
std::optional<Place> placeOf(const std::string& path, bool createFolders, std::string* error);

// What the names of replaceFile's temporary files hold after the target's name, followed by six
// letters or digits ("<name>.tmp.XXXXXX"): one a crash left behind is recognised by it.
inline constexpr const char* kTemporaryMarker = ".tmp.";

// Writes `bytes` to `path` with permissions `mode` (not masked), atomically: into a temporary file
// beside it ("<name>.tmp.XXXXXX"), flushed to disk when `sync`, then renamed over it, so a reader sees
// the old file or the new one, never part of either; a link at `path` is replaced, not followed.
// Creates missing folders. False with *error set when it cannot: the reason, naming the link or other
// entry in the way where there is one.
bool replaceFile(const std::string& path, std::string_view bytes, mode_t mode, bool sync, std::string* error);

// Removes the entry at `path`: a file, a link (never what it points to), or with `recursive` a folder
// and everything in it (links inside are removed, not followed). True when nothing is left there,
// including when nothing was; false with *error set (the reason, as replaceFile gives it).
bool removeEntry(const std::string& path, bool recursive, std::string* error);

// Makes `path` a symbolic link to `target`, replacing whatever file or link is there.
bool makeLink(const std::string& path, const std::string& target, std::string* error);

}  // namespace host::files

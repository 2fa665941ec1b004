#include "host/file_changes.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#if __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#endif

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace host::files {
namespace {

std::string reason(int error) { return std::strerror(error); }

// Says why in *error (when given), and answers false.
bool failed(std::string* error, const std::string& what) {
  if (error != nullptr) *error = what;
  return false;
}

std::vector<std::string> partsOf(const std::string& path) {
  std::vector<std::string> parts;
  size_t at = 0;
  while (at <= path.size()) {
    size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(at, end - at);
    if (!part.empty() && part != ".") parts.push_back(part);
    at = end + 1;
  }
  return parts;
}

std::string joined(const std::vector<std::string>& parts, size_t count) {
  std::string path;
  for (size_t i = 0; i < count; ++i) path += (i > 0 ? "/" : "") + parts[i];
  return path;
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The device folder that confines changes to `path`, and the parts of `path` below it; false for a
// path outside the device.
bool confiningFolder(const std::string& path, std::string* base, std::vector<std::string>* below) {
  const char* value = std::getenv("RAVELO_DEVICE_ROOT");
  std::string root = value != nullptr ? value : "";
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (root.empty() || root == "/") return false;
  if (path == root || path.rfind(root + "/", 0) == 0) {
    *base = root;
    *below = partsOf(path.substr(root.size()));
    return true;
  }
  // In a device process's private view the device's own folders are mounted at /var/jb, /var/mobile
  // and /var/run.
  for (const char* mounted : {"/var/jb", "/var/mobile", "/var/run"}) {
    std::string folder = mounted;
    if ((path == folder || path.rfind(folder + "/", 0) == 0) && sameFile(folder, root + folder)) {
      *base = folder;
      *below = partsOf(path.substr(folder.size()));
      return true;
    }
  }
  return false;
}

// One openat2 that refuses every link and every way out of `baseFd`; -1 where the kernel lacks it.
int openBeneath(int baseFd, const std::string& relative) {
#if defined(SYS_openat2) && defined(RESOLVE_BENEATH)
  open_how how{};
  how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  return static_cast<int>(syscall(SYS_openat2, baseFd, relative.c_str(), &how, sizeof how));
#else
  (void)baseFd;
  (void)relative;
  errno = ENOSYS;
  return -1;
#endif
}

// Opens `parts` below the open folder `fd` (taking it over) one part at a time, each without
// following a link, making missing ones when `create`. On failure says which part and why.
int walk(int fd, const std::string& base, const std::vector<std::string>& parts, bool create, std::string* error,
         int* code) {
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    int next = openat(fd, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT && create && (mkdirat(fd, part.c_str(), 0755) == 0 || errno == EEXIST))
      next = openat(fd, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next >= 0) {
      close(fd);
      fd = next;
      continue;
    }
    int failure = errno;
    std::string shown = base + "/" + joined(parts, i + 1);
    struct stat st;
    bool there = fstatat(fd, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (there && S_ISLNK(st.st_mode)) {
      *error = shown + " is a symbolic link (nothing below the device folder is changed through a link)";
      failure = ELOOP;
    } else if (there && !S_ISDIR(st.st_mode)) {
      *error = shown + " is not a folder";
      failure = ENOTDIR;
    } else {
      *error = "cannot open " + shown + ": " + reason(failure);
    }
    close(fd);
    *code = failure;
    return -1;
  }
  return fd;
}

// openFolder's work; *code is the errno-style reason of a failure (ENOENT: a folder on the way is missing).
int openFolderFd(const std::string& path, bool create, std::string* error, int* code) {
  std::string base;
  std::vector<std::string> below;
  if (!confiningFolder(path, &base, &below)) {
    if (create) {
      std::error_code ignored;
      std::filesystem::create_directories(path, ignored);
    }
    int fd = open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
      *code = errno;
      *error = "cannot open the folder " + path + ": " + reason(*code);
    }
    return fd;
  }
  for (const std::string& part : below) {
    if (part == "..") {
      *code = EINVAL;
      *error = path + " steps out of its folder (..)";
      return -1;
    }
  }
  int baseFd = open(base.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (baseFd < 0 && errno == ENOENT && create) {
    // The device folder itself is made as any folder is: only what is below it is confined.
    std::error_code ignored;
    std::filesystem::create_directories(base, ignored);
    baseFd = open(base.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  }
  if (baseFd < 0) {
    *code = errno;
    *error = "cannot open the device folder " + base + ": " + reason(*code);
    return -1;
  }
  if (below.empty()) return baseFd;
  int fd = openBeneath(baseFd, joined(below, below.size()));
  if (fd >= 0) {
    close(baseFd);
    return fd;
  }
  // Missing folders to make, a link to name, or a kernel without openat2: one part at a time.
  return walk(baseFd, base, below, create, error, code);
}

// Removes `name` in `folderFd` and, when it is a folder, everything in it, never following a link.
bool removeTree(int folderFd, const std::string& name) {
  struct stat st;
  if (fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return unlinkat(folderFd, name.c_str(), 0) == 0 || errno == ENOENT;
  int fd = openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    close(fd);
    return false;
  }
  std::vector<std::string> entries;
  while (dirent* entry = readdir(dir)) {
    std::string entryName = entry->d_name;
    if (entryName != "." && entryName != "..") entries.push_back(entryName);
  }
  bool ok = true;
  for (const std::string& entry : entries) ok = removeTree(dirfd(dir), entry) && ok;
  closedir(dir);
  return ok && unlinkat(folderFd, name.c_str(), AT_REMOVEDIR) == 0;
}

// Splits `path` into its folder and last part; false when it names no entry ("/", "..", "x/").
bool split(const std::string& path, std::string* parent, std::string* name) {
  size_t slash = path.find_last_of('/');
  *name = slash == std::string::npos ? path : path.substr(slash + 1);
  *parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  return !name->empty() && *name != "." && *name != "..";
}

// A name for a temporary entry beside `name` that no other process or thread picks.
std::string temporaryName(const std::string& name) {
  static std::atomic<unsigned> counter{0};
  return name + kTemporaryMarker + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

}  // namespace

Folder::~Folder() {
  if (fd_ >= 0) close(fd_);
}

Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

std::string Folder::pathOf(const std::string& name) const { return "/proc/self/fd/" + std::to_string(fd_) + "/" + name; }

Folder openFolder(const std::string& path, bool create, std::string* error) {
  int code = 0;
  std::string problem;
  Folder folder(openFolderFd(path, create, &problem, &code));
  if (!folder) {
    if (error != nullptr) *error = problem;
    errno = code;
  }
  return folder;
}

std::optional<Place> placeOf(const std::string& path, bool createFolders, std::string* error) {
  std::string parent, name;
  if (!split(path, &parent, &name)) {
    if (error != nullptr) *error = path + " names no file";
    errno = EINVAL;
    return std::nullopt;
  }
  Folder folder = openFolder(parent, createFolders, error);
  if (!folder) return std::nullopt;
  return Place{std::move(folder), name};
}

bool replaceFile(const std::string& path, std::string_view bytes, mode_t mode, bool sync, std::string* error) {
  std::optional<Place> place = placeOf(path, true, error);
  if (!place) return false;
  // mkostemp through the folder's descriptor: the temporary file is made in that very folder.
  std::string temporary = place->folder.pathOf(place->name + kTemporaryMarker + "XXXXXX");
  int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return failed(error, "cannot create a temporary file: " + reason(errno));
  std::string temporaryName = temporary.substr(temporary.find_last_of('/') + 1);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  int failure = done == bytes.size() ? 0 : (errno != 0 ? errno : EIO);
  if (failure == 0 && fchmod(fd, mode) != 0) failure = errno;
  if (failure == 0 && sync && fsync(fd) != 0) failure = errno;
  if (close(fd) != 0 && failure == 0) failure = errno;
  if (failure == 0 && renameat(place->folder.fd(), temporaryName.c_str(), place->folder.fd(), place->name.c_str()) == 0)
    return true;
  std::string what = failure != 0 ? reason(failure) : "cannot replace it: " + reason(errno);
  unlinkat(place->folder.fd(), temporaryName.c_str(), 0);
  return failed(error, what);
}

bool removeEntry(const std::string& path, bool recursive, std::string* error) {
  std::string parent, name;
  if (!split(path, &parent, &name)) return failed(error, path + " names no file");
  int code = 0;
  std::string problem;
  Folder folder(openFolderFd(parent, false, &problem, &code));
  if (!folder) return code == ENOENT ? true : failed(error, problem);
  struct stat st;
  if (fstatat(folder.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? true : failed(error, reason(errno));
  if (S_ISDIR(st.st_mode)) {
    if (!recursive) return failed(error, path + " is a folder");
    return removeTree(folder.fd(), name) || failed(error, reason(errno));
  }
  return unlinkat(folder.fd(), name.c_str(), 0) == 0 || errno == ENOENT || failed(error, reason(errno));
}

bool makeLink(const std::string& path, const std::string& target, std::string* error) {
  std::optional<Place> place = placeOf(path, true, error);
  if (!place) return false;
  std::string temporary = temporaryName(place->name);
  if (symlinkat(target.c_str(), place->folder.fd(), temporary.c_str()) != 0) return failed(error, reason(errno));
  if (renameat(place->folder.fd(), temporary.c_str(), place->folder.fd(), place->name.c_str()) == 0) return true;
  int failure = errno;
  unlinkat(place->folder.fd(), temporary.c_str(), 0);
  return failed(error, reason(failure));
}

}  // namespace host::files

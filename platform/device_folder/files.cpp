#include "host/files.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

namespace host::files {

int openRegular(const std::string& path, struct stat* info) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    int error = S_ISREG(st.st_mode) ? errno : (S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    close(fd);
    errno = error;
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (info) *info = st;
  return fd;
}

bool isReadableRegular(const std::string& path) {
  int fd = openRegular(path);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool readRegular(const std::string& path, std::string& out, struct stat* info) {
  out.clear();
  struct stat st {};
  int fd = openRegular(path, &st);
  if (fd < 0) return false;
  if (st.st_size > 0) out.reserve(static_cast<size_t>(st.st_size));
  char buffer[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  if (!ok) out.clear();
  else if (info) *info = st;
  return ok;
}

}  // namespace host::files

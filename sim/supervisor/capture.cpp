#include "supervisor/capture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>

#include "host/file_changes.h"
#include "host/files.h"

namespace fs = std::filesystem;

namespace sim {
namespace {

constexpr const char* kDrawnName = "pane-picture.png";

// The size a PNG file's header gives, as "WxH pixels" ("" when it is not a PNG).
std::string pngSize(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char header[24] = {};
  if (!in.read(reinterpret_cast<char*>(header), sizeof header) || header[1] != 'P' || header[2] != 'N') return "";
  auto word = [&](int at) {
    return (std::uint32_t{header[at]} << 24) | (header[at + 1] << 16) | (header[at + 2] << 8) | header[at + 3];
  };
  return std::to_string(word(16)) + "x" + std::to_string(word(20)) + " pixels";
}

}  // namespace

std::string checkPicturePath(const fs::path& path) {
  if (path.empty()) return "no file named for the picture";
  std::error_code ec;
  if (fs::is_directory(path, ec)) return "cannot write " + path.string() + ": it is a folder";
  fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  if (!fs::is_directory(folder, ec)) return "cannot write " + path.string() + ": no folder " + folder.string();
  if (access(folder.c_str(), W_OK) != 0) return "cannot write " + path.string() + ": the folder is not writable";
  long longest = pathconf(folder.c_str(), _PC_NAME_MAX);
  if (longest > 0 && path.filename().string().size() > static_cast<size_t>(longest))
    return "cannot write " + path.string() + ": its name is longer than the " + std::to_string(longest) +
           " bytes a file name may have there";
  return {};
}

std::string capturePane(Device& device, const fs::path& path, int scale, std::string* report) {
  std::string problem = checkPicturePath(path);
  if (!problem.empty()) return problem;
  // Drawn where the device's processes can write (its run folder is theirs in every view), then moved.
  // Whatever is at that name is removed first (a link left there is removed, not written through).
  std::string drawn = (device.runFolder() / kDrawnName).string();
  std::optional<host::files::Place> place = host::files::placeOf(drawn, false, &problem);
  if (!place || !host::files::removeEntry(drawn, false, &problem)) return "cannot draw the pane: " + problem;
  std::string failure = device.inSettings({"capture", device.deviceRunFolder() + "/" + kDrawnName, std::to_string(scale)});
  if (!failure.empty()) return failure;
  int folder = place->folder.fd();
  const char* name = place->name.c_str();
  if (renameat(folder, name, AT_FDCWD, path.c_str()) != 0) {
    // Another file system: copied, then removed.
    int error = errno;
    std::string bytes;
    bool copied = false;
    if (error == EXDEV && host::files::readRegular(place->folder.pathOf(name), bytes)) {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      copied = out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) && out.flush();
    }
    unlinkat(folder, name, 0);
    if (!copied) return "cannot write " + path.string() + ": " + std::strerror(error == EXDEV ? EIO : error);
  }
  *report = "capture " + path.string() + ": " + pngSize(path) + " at " + std::to_string(scale) + "x";
  return {};
}

}  // namespace sim

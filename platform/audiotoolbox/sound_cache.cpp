#include "sound_cache.h"

#include <sys/stat.h>

#include <map>
#include <mutex>

namespace host::audio {
namespace {

struct Entry {
  off_t size;
  timespec modified;
  std::shared_ptr<const Pcm> pcm;
};

bool sameFile(const Entry& e, const struct stat& info) {
  return e.size == info.st_size && e.modified.tv_sec == info.st_mtim.tv_sec &&
         e.modified.tv_nsec == info.st_mtim.tv_nsec;
}

}  // namespace

LoadedSound loadSound(const std::string& path) {
  static std::mutex lock;
  static std::map<std::string, Entry> cache;

  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {DecodeStatus::NotAFile, nullptr};
  {
    std::lock_guard<std::mutex> guard(lock);
    auto found = cache.find(path);
    if (found != cache.end() && sameFile(found->second, info)) return {DecodeStatus::Ok, found->second.pcm};
  }
  // Decoding happens outside the lock; two threads racing on one new file both decode it, harmlessly.
  auto pcm = std::make_shared<Pcm>();
  DecodeStatus status = decodeFile(path, kMaxSoundMs, *pcm);
  if (status != DecodeStatus::Ok) return {status, nullptr};
  std::lock_guard<std::mutex> guard(lock);
  cache[path] = Entry{info.st_size, info.st_mtim, pcm};
  return {DecodeStatus::Ok, pcm};
}

}  // namespace host::audio

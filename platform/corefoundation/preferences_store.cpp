#include "preferences_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>

#include "host/corefoundation.h"
#include "host/file_changes.h"

namespace cf {
namespace {

// Timestamps of files are taken from a coarse clock: a file changed less than this long before it
// was read may change again with the same times, so its content decides whether it changed.
constexpr long long kTimestampGranularityNs = 50'000'000;

struct Stamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  timespec modified{}, changed{};

  bool operator==(const Stamp& o) const {
    return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
           changed.tv_nsec == o.changed.tv_nsec;
  }
};

Stamp stampOf(const struct stat& st) { return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim}; }

long long nanoseconds(const timespec& t) { return static_cast<long long>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

bool settledAt(const Stamp& s, const timespec& now) {
  long long latest = std::max(nanoseconds(s.modified), nanoseconds(s.changed));
  return nanoseconds(now) - latest > kTimestampGranularityNs;
}

struct Entry {
  Stamp stamp;
  size_t contentHash = 0;
  bool settled = false;
  id dict = nullptr;  // +1, or nil for a file that is not a readable dictionary
};

struct Cache {
  std::mutex lock;
  std::map<std::string, Entry> entries;
  long reads = 0;
};

Cache& cache() {
  static Cache* c = new Cache;  // never destroyed: other libraries' destructors may read preferences
  return *c;
}

id dictionaryFrom(const std::string& bytes, bool* unreadable) {
  id stored = parsePropertyList(bytes.data(), bytes.size(), kCFPropertyListImmutable, nullptr);
  if (familyOf(stored) == Family::Dictionary) return stored;
  host::release(stored);
  if (unreadable) *unreadable = true;
  return nullptr;
}

}  // namespace

id readStoreFile(const std::string& file, bool* unreadable) {
  if (unreadable) *unreadable = false;
  std::string bytes;
  if (!readWholeFile(file, bytes)) {
    struct stat st{};
    if (unreadable) *unreadable = lstat(file.c_str(), &st) == 0;
    return nullptr;
  }
  return dictionaryFrom(bytes, unreadable);
}

id cachedStore(const std::string& file) {
  Cache& c = cache();
  struct stat st{};
  if (stat(file.c_str(), &st) != 0) {
    std::lock_guard guard(c.lock);
    auto found = c.entries.find(file);
    if (found != c.entries.end()) {
      host::release(found->second.dict);
      c.entries.erase(found);
    }
    return nullptr;
  }
  Stamp stamp = stampOf(st);
  std::optional<size_t> unsettledHash;
  {
    std::lock_guard guard(c.lock);
    auto found = c.entries.find(file);
    if (found != c.entries.end() && found->second.stamp == stamp) {
      if (found->second.settled) return host::retain(found->second.dict);
      unsettledHash = found->second.contentHash;
    }
  }

  // Read it (through a descriptor that must be a regular file) and take its stamp from that descriptor.
  std::string bytes;
  bool readable = readWholeFile(file, bytes, &st);
  if (readable) stamp = stampOf(st);
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  size_t hash = std::hash<std::string_view>{}(bytes);

  std::lock_guard guard(c.lock);
  Entry& entry = c.entries[file];
  if (unsettledHash && *unsettledHash == hash && entry.stamp == stamp && readable) {
    entry.settled = settledAt(stamp, now);
    return host::retain(entry.dict);
  }
  ++c.reads;
  id dict = readable ? dictionaryFrom(bytes, nullptr) : nullptr;
  host::release(entry.dict);
  entry = Entry{stamp, hash, settledAt(stamp, now), dict};
  return host::retain(dict);
}

void forgetCachedStores() {
  Cache& c = cache();
  std::lock_guard guard(c.lock);
  for (auto& [file, entry] : c.entries) host::release(entry.dict);
  c.entries.clear();
}

void removeStaleTemporaries(const std::string& file) {
  // Listed and removed through the store's folder, opened without following links.
  std::optional<host::files::Place> place = host::files::placeOf(file, false, nullptr);
  if (!place) return;
  const std::string prefix = place->name + host::files::kTemporaryMarker;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(place->folder.pathOf(""), ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    struct stat st;
    if (fstatat(place->folder.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      unlinkat(place->folder.fd(), name.c_str(), 0);
  }
}

}  // namespace cf

namespace host::cf {

long preferencesStoreReads() {
  ::cf::Cache& c = ::cf::cache();
  std::lock_guard guard(c.lock);
  return c.reads;
}

}  // namespace host::cf

#include "object_table.h"

#include <vector>

namespace emu {

// Where a dead handle's isa points: no class, so nothing mistakes it for a live object.
constexpr uint64_t kDeadIsa = 0xdeadde11deadde11;

uint64_t ObjectTable::handleFor(const void* host, uint64_t isa, uint64_t size) {
  if (uint64_t existing = find(host)) return existing;
  size = std::max<uint64_t>(16, (size + 15) & ~uint64_t{15});
  uint64_t handle;
  auto reusable = free_.find(size);
  if (reusable != free_.end() && !reusable->second.empty()) {
    handle = reusable->second.back();
    reusable->second.pop_back();
    std::vector<uint8_t> zeros(size, 0);
    machine_.write(handle, zeros.data(), zeros.size());
  } else {
    handle = machine_.allocate(size);
  }
  machine_.store<uint64_t>(handle, isa);
  entries_[handle] = Entry{host, size, false, true};
  handles_[host] = handle;
  if (size > 16) wide_[handle] = host;
  return handle;
}

void ObjectTable::add(uint64_t handle, const void* host) {
  entries_[handle] = Entry{host, 16, false, false};
  handles_[host] = handle;
}

uint64_t ObjectTable::find(const void* host) const {
  auto it = handles_.find(host);
  return it == handles_.end() ? 0 : it->second;
}

const void* ObjectTable::hostOf(uint64_t handle) const {
  auto it = entries_.find(handle);
  return it == entries_.end() || it->second.dead ? nullptr : it->second.host;
}

bool ObjectTable::isDead(uint64_t handle) const {
  auto it = entries_.find(handle);
  return it != entries_.end() && it->second.dead;
}

std::vector<const void*> ObjectTable::hosts() const {
  std::vector<const void*> out;
  for (const auto& [host, handle] : handles_) out.push_back(host);
  return out;
}

void ObjectTable::forget(const void* host) {
  auto found = handles_.find(host);
  if (found == handles_.end()) return;
  uint64_t handle = found->second;
  handles_.erase(found);
  wide_.erase(handle);
  Entry& entry = entries_[handle];
  entry.dead = true;
  if (!entry.owned) return;
  machine_.store<uint64_t>(handle, kDeadIsa);
  quarantine_.push_back(handle);
  if (quarantine_.size() > kQuarantine) {
    uint64_t reused = quarantine_.front();
    quarantine_.pop_front();
    free_[entries_[reused].size].push_back(reused);
    entries_.erase(reused);
  }
}

}  // namespace emu

// The one table that maps objects between the emulated process and the host: each host object the
// emulated code is handed gets a handle, a block of emulated memory whose first word (isa) is the
// emulated address of its class; the same host object always gives the same handle and a handle
// always the same object. CFSTR constants in a loaded image are their own handles. When a host object
// is deallocated its handle is marked dead (a message to it then stops the run, naming it) and its
// memory is reused only after many later deaths.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "machine.h"

namespace emu {

class ObjectTable {
 public:
  explicit ObjectTable(Machine& machine) : machine_(machine) {}

  // The handle of `host`, made on first sight: `size` bytes (at least 16) of zeroed emulated memory
  // with `isa` as its first word.
  uint64_t handleFor(const void* host, uint64_t isa, uint64_t size = 16);
  // Records `handle` (emulated memory made elsewhere, such as a CFSTR constant) as `host`'s.
  void add(uint64_t handle, const void* host);
  // The handle of `host`, or 0 when it has none.
  uint64_t find(const void* host) const;
  // The host object behind `handle`, or nullptr when it is not a handle (or a dead one).
  const void* hostOf(uint64_t handle) const;
  // Whether `handle` belonged to an object that has since been deallocated.
  bool isDead(uint64_t handle) const;
  // The object is gone: its handle dies.
  void forget(const void* host);
  // `host` gets a new handle at its next handleFor; the old one still leads to it.
  void detach(const void* host) { handles_.erase(host); }
  // Every host object that has a handle now.
  std::vector<const void*> hosts() const;

  // Every live handle made with more than 16 bytes, with its host object (the objects whose fields
  // the emulated code reaches directly).
  const std::map<uint64_t, const void*>& wideHandles() const { return wide_; }

 private:
  struct Entry {
    const void* host = nullptr;
    uint64_t size = 16;
    bool dead = false;
    bool owned = true;  // made by the table (its memory may be reused)
  };
  static constexpr size_t kQuarantine = 4096;  // deaths before a dead handle's memory is reused

  Machine& machine_;
  std::unordered_map<uint64_t, Entry> entries_;
  std::unordered_map<const void*, uint64_t> handles_;
  std::map<uint64_t, const void*> wide_;
  std::deque<uint64_t> quarantine_;
  std::map<uint64_t, std::vector<uint64_t>> free_;  // reusable memory by size
};

}  // namespace emu

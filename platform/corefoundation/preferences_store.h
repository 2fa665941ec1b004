// Private to the preferences stand-in: reading a domain's store through a per-process cache, and
// writing it safely.
#pragma once

#include <string>

#include "cf_internal.h"

namespace cf {

// The stored dictionary (+1), or nil when the file is missing, unreadable, corrupt or not a
// dictionary. A store is read and parsed once per change: later calls answer the same dictionary
// while the file stays the same (its identity, size and times; a file changed within the file system's
// timestamp granularity is compared by content) and until this process writes it or a Darwin
// notification is delivered, as the device's preferences daemon serves from memory until told.
id cachedStore(const std::string& file);

// The stored dictionary read afresh (+1), bypassing the cache; *unreadable tells whether a file was
// there that could not be read as a dictionary.
id readStoreFile(const std::string& file, bool* unreadable);

// Forgets every cached store (a write here, or a notification that settings changed).
void forgetCachedStores();

// Removes the temporary files that writers of `file` killed mid-write left beside it. Call only while
// holding the domain's lock, when no other writer of that store is running.
void removeStaleTemporaries(const std::string& file);

}  // namespace cf

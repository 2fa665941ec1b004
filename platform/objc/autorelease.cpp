// Autorelease pools: one stack of pending releases per thread.
#include "host/objc.h"

#include <vector>

namespace {
thread_local std::vector<id> pending;

void popTo(size_t token) {
  while (pending.size() > token) {
    id object = pending.back();
    pending.pop_back();
    host::release(object);  // may autorelease more; the loop picks those up too
  }
}
}  // namespace

extern "C" void* objc_autoreleasePoolPush(void) { return reinterpret_cast<void*>(pending.size()); }
extern "C" void objc_autoreleasePoolPop(void* token) { popTo(reinterpret_cast<size_t>(token)); }

namespace host {

id autorelease(id object) {
  if (object != nullptr) pending.push_back(object);
  return object;
}

AutoreleasePool::AutoreleasePool() : token_(pending.size()) {}
AutoreleasePool::~AutoreleasePool() { popTo(token_); }
void AutoreleasePool::drain() { popTo(token_); }

}  // namespace host

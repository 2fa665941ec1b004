// Shared instances and the objects SpringBoard keeps for the life of its process.
#include <map>
#include <mutex>

#include "springboard_internal.h"

namespace host::springboard::detail {

id sharedInstanceMethod(id cls, SEL) {
  static std::mutex mutex;
  static auto* instances = new std::map<id, id>;
  std::lock_guard lock(mutex);
  id& instance = (*instances)[cls];
  if (instance == nullptr) instance = host::send(host::send(cls, "alloc"), "init");
  return instance;
}

id sharedInstanceOf(const char* className) {
  Class cls = objc_getClass(className);
  return cls != Nil ? host::send(cls, "sharedInstance") : nullptr;
}

id makeObject(const char* className) {
  Class cls = objc_getClass(className);
  return cls != Nil ? host::send(host::send(cls, "alloc"), "init") : nullptr;
}

}  // namespace host::springboard::detail

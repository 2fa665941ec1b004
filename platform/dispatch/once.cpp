#include <dispatch/dispatch.h>

#include <atomic>
#include <mutex>

namespace {
constexpr long kDone = ~0L;
std::recursive_mutex onceMutex;  // recursive: an initialiser may run another once-block
}  // namespace

extern "C" void dispatch_once_f(dispatch_once_t* predicate, void* context, dispatch_function_t function) {
  std::atomic_ref<long> state(*predicate);
  if (state.load(std::memory_order_acquire) == kDone) return;
  std::lock_guard lock(onceMutex);
  if (state.load(std::memory_order_relaxed) == kDone) return;
  function(context);
  state.store(kDone, std::memory_order_release);
}

#include "host/trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

namespace host {
namespace {
std::atomic<TraceSink> currentSink{nullptr};
std::atomic<void*> currentContext{nullptr};
}  // namespace

void setTraceSink(TraceSink sink, void* context) {
  currentContext.store(context);
  currentSink.store(sink);
}

void trace(const char* format, ...) {
  TraceSink sink = currentSink.load();
  if (sink == nullptr) return;
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string line(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  std::vsnprintf(line.data(), line.size() + 1, format, args);
  va_end(args);
  sink(line.c_str(), currentContext.load());
}

}  // namespace host

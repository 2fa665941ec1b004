// CoreFoundation and Foundation in the emulated process. Their objects are the host stand-in's
// (platform/corefoundation) behind emulated handles, so strings, numbers, property lists, readings
// such as boolValue and the preferences store behave exactly as in the host build. A handle is 16
// bytes of emulated memory whose isa is the Foundation class for its type; CFSTR constants in an
// image's __cfstring are recognised by their isa (___CFConstantStringClassReference).
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>

#include "imports.h"
#include "machine.h"
#include "object_table.h"
#include "objc_runtime.h"

namespace emu {

class Foundation {
 public:
  Foundation(Machine& machine, Imports& imports, ObjcRuntime& runtime);
  ~Foundation();

  // How a handle for a host object comes to the emulated code: owned (+1, a Create or Copy result),
  // autoreleased (owned by the pool until the run-loop turn ends), or borrowed (a Get result, owned
  // by its container).
  enum class Ownership { Owned, Autoreleased, Borrowed };
  uint64_t toEmu(CFTypeRef host, Ownership ownership);
  // The host object behind a handle or a CFSTR constant; 0 gives NULL; anything else stops the run.
  CFTypeRef toHost(uint64_t handle);
  // A borrowed string handle for the harness's own use.
  uint64_t string(const std::string& text);
  std::string text(uint64_t stringHandle);

  // Device paths ("/var/jb/...") map to host paths below this folder (the device root).
  std::string hostPath(const std::string& devicePath) const;

 private:
  void defineClasses();
  void exportFunctions(Imports& imports);
  uint64_t classFor(CFTypeRef host);
  CFTypeRef constantString(uint64_t handle);

  Machine& machine_;
  ObjcRuntime& runtime_;
  uint64_t constantStringClass_ = 0;
  ObjectTable table_;
};

}  // namespace emu

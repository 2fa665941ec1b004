#include "emulated_device.h"

#include "device_binaries.h"
#include "support/fresh_process.h"

namespace emulated {

std::string missingSliceReason(const device::Deliverable& deliverable, const std::string& name) {
  for (const macho::Image& image : device::slicesOf(deliverable)) {
    if (macho::architectureName(image) == name) return "";
  }
  return "the device build made no " + name + " slice of " + deliverable.file +
         (name == "arm64e" ? " (it needs Apple's linker: package/README.md)" : "");
}

void inEmulatedProcess(const std::string& name, const std::string& program, const std::function<void()>& body) {
  testing_support::inFreshProcess([&] {
    emu::runDeviceBinaries(name, program, {});
    body();
  });
}

}  // namespace emulated

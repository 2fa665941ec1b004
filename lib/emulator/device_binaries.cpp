#include "device_binaries.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "host/device.h"
#include "host/trace.h"
#include "process.h"

namespace emu {
namespace {

struct Emulated {
  std::string architecture;
  Process::Options options;
  std::unique_ptr<Process> process;
};

Emulated& emulated() {
  static auto* state = new Emulated;
  return *state;
}

[[noreturn]] void stop(const std::string& message) {
  host::trace("emulator stopped: %s", message.c_str());
  std::fprintf(stderr, "emulated device code stopped: %s\n", message.c_str());
  std::fflush(nullptr);
  std::abort();
}

// Loads as dyld would: an image that cannot be loaded is a failed dlopen, with dyld's kind of reason;
// its initialisers then run, and a stop inside them is a crash.
bool openEmulated(const std::string& path, int, std::string* error) {
  Emulated& e = emulated();
  const LoadedImage* image = nullptr;
  try {
    macho::Image slice = macho::sliceOf(path, e.architecture);
    if (!e.process) {
      e.options.architecture = architectureOf(slice);  // an arm64e CPU for the arm64e slice
      e.process = std::make_unique<Process>(e.options);
      e.process->setStopHandler(stop);
    }
    image = &e.process->map(slice, path);
  } catch (const std::exception& failure) {
    if (error != nullptr) *error = failure.what();
    return false;
  }
  e.process->initialise(*image);
  return true;
}

}  // namespace

void runDeviceBinaries(const std::string& architecture, const std::string& program,
                       const std::vector<std::string>& hiddenClasses) {
  Emulated& e = emulated();
  e.architecture = architecture;
  e.options.program = program;
  e.options.hiddenClasses = hiddenClasses;
  host::device::setImageOpener(openEmulated);
}

}  // namespace emu

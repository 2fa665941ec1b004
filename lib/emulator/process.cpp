#include "process.h"

#include <filesystem>

namespace emu {

Process::Process(Options options) : machine(options.architecture), options_(std::move(options)) {
  hidden_.insert(options_.hiddenClasses.begin(), options_.hiddenClasses.end());
  // Fields the emulated code reaches in objects of this process follow their values while it runs.
  machine.setCrossingHooks([this] { objects.syncToEmu(); }, [this] { objects.syncToHost(); });
  exportLibSystem();
  exportLibObjc();
  exportFrameworks();
}

Process::~Process() = default;

void Process::setStopHandler(std::function<void(const std::string&)> handler) {
  stop_ = handler;
  bridge.setStopHandler(std::move(handler));
}

const LoadedImage& Process::map(const macho::Image& image, const std::string& path) {
  images_.push_back(std::make_unique<LoadedImage>(emu::load(machine, imports, image, path, nextImageBase_)));
  nextImageBase_ += 0x10000000;
  return *images_.back();
}

void Process::initialise(const LoadedImage& image) {
  try {
    runInitialisers(machine, image, options_.program);
  } catch (const Error& e) {
    std::string message = std::string(e.what()) + " [in the initialisers of " +
                          std::filesystem::path(image.path).filename().string() + "]";
    if (stop_) return stop_(message);
    throw Error(message);
  }
}

const LoadedImage* Process::imageAt(uint64_t address) const {
  for (const auto& image : images_) {
    if (address >= image->base && address - image->base < image->size) return image.get();
  }
  return nullptr;
}

}  // namespace emu

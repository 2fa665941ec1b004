#include "process.h"

namespace emu {

Process::Process(Options options) : machine(options.architecture), options_(std::move(options)) {
  exportLibSystem();
  exportNotifications();
  exportSubstrate();
  exportAudio();
  defineUIKit();
  if (options_.program == "SpringBoard") defineSpringBoard();
  if (options_.program == "Preferences") defineSettingsApp();
}

Process::~Process() = default;

const LoadedImage& Process::load(const macho::Image& image, const std::string& devicePath) {
  images_.push_back(std::make_unique<LoadedImage>(emu::load(machine, imports, image, devicePath, nextImageBase_)));
  nextImageBase_ += 0x10000000;
  runInitialisers(machine, *images_.back(), options_.program);
  objc.drainPool();
  return *images_.back();
}

const LoadedImage* Process::imageAt(uint64_t address) const {
  for (const auto& image : images_) {
    if (address >= image->base && address - image->base < image->size) return image.get();
  }
  return nullptr;
}

uint64_t Process::instance(const std::string& className) {
  uint64_t cls = objc.getClass(className);
  if (cls == 0) throw Error("no class " + className + " in " + options_.program);
  return objc.createInstance(cls);
}

void Process::postDarwinNotification(const std::string& name) {
  std::vector<Observer> matching;
  for (const Observer& o : observers) {
    if (o.name == name) matching.push_back(o);
  }
  uint64_t nameHandle = foundation.string(name);
  for (const Observer& o : matching) {
    // The Darwin centre passes no object and no user info. It calls the callback as a C function
    // pointer, authenticating it (key IA, discriminator 0).
    uint64_t callback = machine.authenticateFunction(o.callback, "the callback of the observer for " + name);
    machine.call(callback, {o.center, o.observer, nameHandle, 0, 0});
    objc.drainPool();
  }
}

}  // namespace emu

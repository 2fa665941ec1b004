#include "hooks/springboard_process.h"

#include "host/audio.h"
#include "host/springboard.h"
#include "host/trace.h"

namespace hooks_testing {
namespace {

std::vector<std::string>& traceLines() {
  static std::vector<std::string> lines;
  return lines;
}

void collect(const char* line, void*) { traceLines().push_back(line); }

}  // namespace

SpringBoard::SpringBoard(std::initializer_list<const char*> missing, int iosVersion, const std::filesystem::path& tweak)
    : device_(true, tweak) {
  host::springboard::setSystemVersion(iosVersion);
  host::springboard::defineClasses(missing);
  const std::pair<const char*, int> selections[] = {
      {"iconTapSound", 1},     {"unlockSound", 30},     {"lockSound", 29},        {"chargingSound", 3},
      {"passcodeSound", 35},   {"screenshotSound", 32}, {"VolumeUpSound", 40},    {"VolumeDownSound", 8},
      {"SwitchOffSound", 36},  {"SwitchOnSound", 37},   {"PageScrollSound", 34}, {"StartupSound", 41}};
  for (const auto& [key, index] : selections) device_.setInt(key, index);
}

void SpringBoard::turnOn(std::initializer_list<const char*> keys) {
  device_.setBool("enabled", true);
  for (const char* key : keys) device_.setBool(key, true);
}

void SpringBoard::turnOnEverything() {
  device_.setBool("enabled", true);
  for (const char* key : kFeatureSwitches) device_.setBool(key, true);
}

void SpringBoard::loadTweak() {
  device_.loadTweak();
  host::setTraceSink(&collect, nullptr);
  forget();
}

Heard SpringBoard::heard() const {
  Heard heard;
  for (const host::audio::Event& e : host::audio::events())
    if (e.kind == host::audio::Event::Play && e.audible) heard.push_back(e.name);
  return heard;
}

std::vector<std::string> SpringBoard::traced(std::initializer_list<const char*> prefixes) const {
  std::vector<std::string> lines;
  for (const std::string& line : traceLines())
    for (const char* prefix : prefixes)
      if (line.rfind(prefix, 0) == 0) {
        lines.push_back(line);
        break;
      }
  return lines;
}

void SpringBoard::forget() {
  host::audio::clearEvents();
  traceLines().clear();
}

IMP implementationOf(const char* className, const char* selector, bool classMethod) {
  Class cls = objc_getClass(className);
  if (cls == Nil) return nullptr;
  if (classMethod) cls = object_getClass(reinterpret_cast<id>(cls));
  Method method = class_getInstanceMethod(cls, sel_registerName(selector));
  return method != nullptr ? method_getImplementation(method) : nullptr;
}

}  // namespace hooks_testing

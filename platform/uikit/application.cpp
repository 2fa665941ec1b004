// UIScreen (the main screen's size, settable by the host) and UIApplication (records the URLs it is
// asked to open).
#include <mutex>
#include <string>

#include "host/corefoundation.h"
#include "host/trace.h"
#include "uikit_internal.h"

namespace host::uikit {
namespace {

std::mutex mutex;
CGSize screenSize = CGSizeMake(390, 844);
std::vector<OpenedURL>& opened() {
  static auto* list = new std::vector<OpenedURL>;
  return *list;
}

// ---- UIScreen ----

id mainScreen(id cls, SEL) {
  static id screen = send(cls, "new");  // lives for the whole process, as the device's does
  return screen;
}
CGRect screenBounds(id, SEL) {
  std::lock_guard lock(mutex);
  return CGRectMake(0, 0, screenSize.width, screenSize.height);
}
CGFloat screenScale(id, SEL) { return 3.0; }

// ---- UIApplication ----

id sharedApplication(id cls, SEL) {
  static id application = send(cls, "new");
  return application;
}

std::string utf8(id string) {
  const char* text = send<const char*>(string, "UTF8String");
  return text != nullptr ? text : "";
}

// Nothing opens anything on this machine: the request is recorded and traced. The completion
// handler (a block) is not called; the device calls it later with the outcome.
void applicationOpenURL(id, SEL, id url, id options, void* completion) {
  OpenedURL record;
  record.url = utf8(send(url, "absoluteString"));
  record.optionsGiven = options != nullptr;
  record.optionCount = send<unsigned long>(options, "count");
  record.completionGiven = completion != nullptr;
  {
    std::lock_guard lock(mutex);
    opened().push_back(record);
  }
  // The options as given: "{}" (an empty dictionary) is not "nil".
  std::string optionsText = options != nullptr ? host::cf::describe(reinterpret_cast<CFTypeRef>(options)) : "nil";
  trace("open url %s options %s", record.url.c_str(), optionsText.c_str());
}

}  // namespace

void setScreenWidth(CGFloat width) {
  std::lock_guard lock(mutex);
  screenSize.width = width;
}
void setScreenSize(CGFloat width, CGFloat height) {
  std::lock_guard lock(mutex);
  screenSize = CGSizeMake(width, height);
}

std::vector<OpenedURL> openedURLs() {
  std::lock_guard lock(mutex);
  return opened();
}
void clearOpenedURLs() {
  std::lock_guard lock(mutex);
  opened().clear();
}

namespace internal {
void defineApplication() {
  ClassBuilder("UIScreen", "NSObject")
      .classMethod("mainScreen", &mainScreen)
      .method("bounds", &screenBounds)
      .method("scale", &screenScale)
      .registerClass();
  ClassBuilder("UIApplication", "UIResponder")
      .classMethod("sharedApplication", &sharedApplication)
      .method("openURL:options:completionHandler:", &applicationOpenURL)
      .registerClass();
}
}  // namespace internal

}  // namespace host::uikit

// A small preference bundle for the Settings-app stand-in's tests: its principal class,
// FixturePaneController, is a PSListController registered when the bundle loads. It shows the
// specifier list "Root" of its own bundle, a banner header above the table, and a right bar button;
// its actions leave trace lines.
#include <dlfcn.h>

#include <string>

#include "host/objc.h"
#include "host/trace.h"
#include "host/uikit.h"

namespace {

using host::send;

Class controllerClass;
id cls(const char* name) { return reinterpret_cast<id>(host::requireClass(name)); }
id str(const std::string& s) { return send(cls("NSString"), "stringWithUTF8String:", s.c_str()); }

id specifiers(id self, SEL) {
  id& cached = host::ivarRef<id>(self, "_specifiers");
  if (cached == nullptr) host::assignStrong(cached, send(self, "loadSpecifiersFromPlistName:target:", str("Root"), self));
  return cached;
}

// The bundle at the folder of this library.
id bundle(id, SEL) {
  Dl_info info{};
  dladdr(reinterpret_cast<void*>(&bundle), &info);
  std::string path = info.dli_fname;
  return send(cls("NSBundle"), "bundleWithPath:", str(path.substr(0, path.find_last_of('/'))));
}

void viewDidLoad(id self, SEL cmd) {
  host::sendSuper<void>(self, class_getSuperclass(controllerClass), "viewDidLoad");
  (void)cmd;
  id item = send(send(cls("UIBarButtonItem"), "alloc"), "initWithTitle:style:target:action:", str("Again"), 0L, self,
                 host::sel("again"));
  send<void>(send(self, "navigationItem"), "setRightBarButtonItem:", item);
  host::release(item);
  id header = send(send(cls("UIView"), "alloc"), "initWithFrame:", CGRectMake(0, 0, 160, 100));
  id banner = send(send(cls("UIImageView"), "alloc"), "initWithFrame:", CGRectMake(0, 0, 160, 100));
  send<void>(header, "addSubview:", banner);
  send<void>(banner, "setTranslatesAutoresizingMaskIntoConstraints:", static_cast<BOOL>(NO));
  for (const char* anchor : {"leadingAnchor", "trailingAnchor"})
    send<void>(send(send(banner, anchor), "constraintEqualToAnchor:", send(header, anchor)), "setActive:", static_cast<BOOL>(YES));
  host::ivarRef<id>(self, "_header") = header;
  host::release(banner);
}

id cellForRow(id self, SEL cmd, id table, id indexPath) {
  id cell = host::sendSuper(self, class_getSuperclass(controllerClass), sel_getName(cmd), table, indexPath);
  send<void>(table, "setTableHeaderView:", host::ivarRef<id>(self, "_header"));
  return cell;
}

void again(id, SEL) { host::trace("fixture again"); }
void sayHello(id, SEL) { host::trace("fixture hello"); }
void willDisappear(id self, SEL, BOOL animated) {
  host::sendSuper<void>(self, class_getSuperclass(controllerClass), "viewWillDisappear:", animated);
  host::trace("fixture leaves");
}

__attribute__((constructor)) void registerFixture() {
  controllerClass = host::ClassBuilder("FixturePaneController", "PSListController")
                        .ivar<id>("_header")
                        .method("specifiers", &specifiers)
                        .method("bundle", &bundle)
                        .method("viewDidLoad", &viewDidLoad)
                        .method("tableView:cellForRowAtIndexPath:", &cellForRow)
                        .method("again", &again)
                        .method("sayHello", &sayHello)
                        .method("viewWillDisappear:", &willDisappear)
                        .registerClass();
  host::releaseIvarAtDealloc(controllerClass, "_header");
}

}  // namespace

// UIViewController (its view loaded on first use, the appearance calls), UINavigationController
// (a stack of controllers and a bar; it can itself be inside another one), UINavigationBar,
// UINavigationItem and UIBarButtonItem.
#include "uikit_internal.h"

namespace host::uikit::internal {
namespace {

Class controllerClass;
Class navigationClass;

// ---- UIViewController ----

id controllerInitWithNib(id self, SEL, id, id) { return send(self, "init"); }

// The view is made by loadView the first time it is asked for, then viewDidLoad runs.
id controllerView(id self, SEL) {
  if (ivarRef<id>(self, "_view") == nullptr) {
    send<void>(self, "loadView");
    send<void>(self, "viewDidLoad");
  }
  return ivarRef<id>(self, "_view");
}
void controllerSetView(id self, SEL, id view) {
  id& slot = ivarRef<id>(self, "_view");
  if (slot != nullptr && viewState(slot).viewController == self) viewState(slot).viewController = nullptr;
  assignStrong(slot, view);
  if (view != nullptr) viewState(view).viewController = self;
}
BOOL controllerIsViewLoaded(id self, SEL) { return ivarRef<id>(self, "_view") != nullptr ? YES : NO; }
// The default view fills the screen.
void controllerLoadView(id self, SEL) {
  id screen = send(reinterpret_cast<id>(requireClass("UIScreen")), "mainScreen");
  id view = send(send(reinterpret_cast<id>(requireClass("UIView")), "alloc"), "initWithFrame:", send<CGRect>(screen, "bounds"));
  send<void>(self, "setView:", view);
  release(view);
}
void controllerDealloc(id self, SEL) {
  id view = ivarRef<id>(self, "_view");
  if (view != nullptr && viewState(view).viewController == self) viewState(view).viewController = nullptr;
  sendSuper<void>(self, class_getSuperclass(controllerClass), "dealloc");
}

void controllerLifecycle(id, SEL) {}
void controllerAppearance(id, SEL, BOOL) {}

id controllerNavigationItem(id self, SEL) {
  id& item = ivarRef<id>(self, "_navigationItem");
  if (item == nullptr) item = send(send(reinterpret_cast<id>(requireClass("UINavigationItem")), "alloc"), "initWithTitle:", ivarRef<id>(self, "_title"));
  return item;
}
id controllerTitle(id self, SEL) { return ivarRef<id>(self, "_title"); }
void controllerSetTitle(id self, SEL, id title) {
  assignStrong(ivarRef<id>(self, "_title"), title);
  send<void>(ivarRef<id>(self, "_navigationItem"), "setTitle:", title);
}
id controllerParent(id self, SEL) { return ivarRef<id>(self, "_parentViewController"); }

// The nearest navigation controller above this controller, starting with its parent: for a
// navigation controller pushed onto another one, that other one.
id controllerNavigationController(id self, SEL) {
  for (id c = ivarRef<id>(self, "_parentViewController"); c != nullptr; c = ivarRef<id>(c, "_parentViewController"))
    if (isKindOf(c, navigationClass)) return c;
  return nullptr;
}

id controllerNextResponder(id self, SEL) {
  id view = ivarRef<id>(self, "_view");
  if (view != nullptr && viewState(view).superview != nullptr) return viewState(view).superview;
  return ivarRef<id>(self, "_parentViewController");
}

// ---- UINavigationController ----

std::vector<id>*& stackOf(id navigation) { return ivarRef<std::vector<id>*>(navigation, "_hostStack"); }
std::vector<id>& stack(id navigation) {
  if (stackOf(navigation) == nullptr) stackOf(navigation) = new std::vector<id>;
  return *stackOf(navigation);
}

id navigationInit(id self, SEL) {
  self = sendSuper(self, controllerClass, "init");
  id screen = send(reinterpret_cast<id>(requireClass("UIScreen")), "mainScreen");
  CGFloat width = send<CGRect>(screen, "bounds").size.width;
  ivarRef<id>(self, "_navigationBar") =
      send(send(reinterpret_cast<id>(requireClass("UINavigationBar")), "alloc"), "initWithFrame:", CGRectMake(0, 0, width, 44));
  return self;
}
id navigationInitWithRoot(id self, SEL, id root) {
  self = send(self, "init");
  send<void>(self, "pushViewController:animated:", root, static_cast<BOOL>(NO));
  return self;
}
void navigationDealloc(id self, SEL) {
  if (stackOf(self) != nullptr) {
    for (id child : stack(self)) {
      ivarRef<id>(child, "_parentViewController") = nullptr;
      release(child);
    }
    delete stackOf(self);
    stackOf(self) = nullptr;
  }
  sendSuper<void>(self, controllerClass, "dealloc");
}

// Pushing makes the navigation controller the pushed controller's parent. A controller already in
// a stack cannot be pushed: UIKit raises.
void navigationPush(id self, SEL, id controller, BOOL) {
  if (controller == nullptr) return;
  if (controller == self)
    raise("NSInvalidArgumentException", "Pushing a navigation controller onto itself is not supported");
  if (ivarRef<id>(controller, "_parentViewController") != nullptr)
    raise("NSInvalidArgumentException", "Pushing a view controller that is already in a stack is not supported");
  stack(self).push_back(retain(controller));
  ivarRef<id>(controller, "_parentViewController") = self;
}
// The root stays; popping it answers nil.
id navigationPop(id self, SEL, BOOL) {
  auto& s = stack(self);
  if (s.size() <= 1) return nullptr;
  id top = s.back();
  s.pop_back();
  ivarRef<id>(top, "_parentViewController") = nullptr;
  return autorelease(top);
}
id navigationTop(id self, SEL) { return stack(self).empty() ? nullptr : stack(self).back(); }
id navigationViewControllers(id self, SEL) { return makeArray(stack(self)); }
id navigationBar(id self, SEL) { return ivarRef<id>(self, "_navigationBar"); }

// The navigation controller's view holds its bar.
void navigationLoadView(id self, SEL) {
  controllerLoadView(self, nullptr);
  send<void>(ivarRef<id>(self, "_view"), "addSubview:", ivarRef<id>(self, "_navigationBar"));
}

// ---- UINavigationItem, UIBarButtonItem ----

id navigationItemInitWithTitle(id self, SEL, id title) {
  send<void>(self, "setTitle:", title);
  return self;
}
void navigationItemSetRight(id self, SEL, id item, BOOL) { send<void>(self, "setRightBarButtonItem:", item); }
void navigationItemSetLeft(id self, SEL, id item, BOOL) { send<void>(self, "setLeftBarButtonItem:", item); }

id barButtonInit(id self, SEL, id title, long style, id target, SEL action) {
  send<void>(self, "setTitle:", title);
  ivarRef<long>(self, "_style") = style;
  ivarRef<id>(self, "_target") = target;
  ivarRef<SEL>(self, "_action") = action;
  return self;
}
long barButtonStyle(id self, SEL) { return ivarRef<long>(self, "_style"); }
void barButtonSetStyle(id self, SEL, long style) { ivarRef<long>(self, "_style") = style; }
SEL barButtonAction(id self, SEL) { return ivarRef<SEL>(self, "_action"); }
void barButtonSetAction(id self, SEL, SEL action) { ivarRef<SEL>(self, "_action") = action; }

}  // namespace

void defineViewControllers() {
  controllerClass = ClassBuilder("UIViewController", "UIResponder")
                        .ivar<id>("_view")
                        .ivar<id>("_navigationItem")
                        .ivar<id>("_title")
                        .ivar<id>("_parentViewController")
                        .method("initWithNibName:bundle:", &controllerInitWithNib)
                        .method("dealloc", &controllerDealloc)
                        .method("view", &controllerView)
                        .method("setView:", &controllerSetView)
                        .method("isViewLoaded", &controllerIsViewLoaded)
                        .method("loadView", &controllerLoadView)
                        .method("viewDidLoad", &controllerLifecycle)
                        .method("viewWillLayoutSubviews", &controllerLifecycle)
                        .method("viewDidLayoutSubviews", &controllerLifecycle)
                        .method("viewWillAppear:", &controllerAppearance)
                        .method("viewDidAppear:", &controllerAppearance)
                        .method("viewWillDisappear:", &controllerAppearance)
                        .method("viewDidDisappear:", &controllerAppearance)
                        .method("navigationItem", &controllerNavigationItem)
                        .method("title", &controllerTitle)
                        .method("setTitle:", &controllerSetTitle)
                        .method("parentViewController", &controllerParent)
                        .method("navigationController", &controllerNavigationController)
                        .method("nextResponder", &controllerNextResponder)
                        .registerClass();
  for (const char* field : {"_view", "_navigationItem", "_title"}) releaseIvarAtDealloc(controllerClass, field);

  navigationClass = ClassBuilder("UINavigationController", controllerClass)
                        .ivar<std::vector<id>*>("_hostStack")
                        .ivar<id>("_navigationBar")
                        .method("init", &navigationInit)
                        .method("initWithRootViewController:", &navigationInitWithRoot)
                        .method("dealloc", &navigationDealloc)
                        .method("pushViewController:animated:", &navigationPush)
                        .method("popViewControllerAnimated:", &navigationPop)
                        .method("topViewController", &navigationTop)
                        .method("visibleViewController", &navigationTop)
                        .method("viewControllers", &navigationViewControllers)
                        .method("navigationBar", &navigationBar)
                        .method("loadView", &navigationLoadView)
                        .registerClass();
  releaseIvarAtDealloc(navigationClass, "_navigationBar");

  ClassBuilder("UINavigationBar", "UIView").strongProperty("barTintColor").registerClass();
  ClassBuilder("UINavigationItem", "NSObject")
      .strongProperty("title")
      .strongProperty("rightBarButtonItem")
      .strongProperty("leftBarButtonItem")
      .method("initWithTitle:", &navigationItemInitWithTitle)
      .method("setRightBarButtonItem:animated:", &navigationItemSetRight)
      .method("setLeftBarButtonItem:animated:", &navigationItemSetLeft)
      .registerClass();
  ClassBuilder("UIBarItem", "NSObject").strongProperty("title").registerClass();
  ClassBuilder("UIBarButtonItem", "UIBarItem")
      .assignProperty("target")  // not retained, as on the device
      .strongProperty("tintColor")
      .ivar<long>("_style")
      .ivar<SEL>("_action")
      .method("initWithTitle:style:target:action:", &barButtonInit)
      .method("style", &barButtonStyle)
      .method("setStyle:", &barButtonSetStyle)
      .method("action", &barButtonAction)
      .method("setAction:", &barButtonSetAction)
      .registerClass();
}

}  // namespace host::uikit::internal

namespace host::uikit {

void pressBarButton(id item) {
  id target = send(item, "target");
  SEL action = send<SEL>(item, "action");
  if (target == nullptr || action == nullptr) return;
  using Action = void (*)(id, SEL, id);
  reinterpret_cast<Action>(objc_msg_lookup(target, action))(target, action, item);
}

}  // namespace host::uikit

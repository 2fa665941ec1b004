// View controllers, navigation, the screen and the application's opened URLs.
#include <gtest/gtest.h>

#include "host/uikit.h"
#include "uikit_test_support.h"

namespace {

using namespace uikit_testing;
using host::send;

int viewDidLoadCalls;
void countViewDidLoad(id self, SEL) {
  ++viewDidLoadCalls;
  host::sendSuper<void>(self, host::requireClass("UIViewController"), "viewDidLoad");
}
Class countingController() {
  static Class c = host::ClassBuilder("ApplicationTestController", "UIViewController")
                       .method("viewDidLoad", &countViewDidLoad)
                       .registerClass();
  return c;
}

TEST(ViewControllers, LoadTheirViewOnFirstUseThenRunViewDidLoadOnce) {
  host::AutoreleasePool pool;
  id controller = send(reinterpret_cast<id>(countingController()), "new");
  viewDidLoadCalls = 0;
  EXPECT_FALSE(yes(send<BOOL>(controller, "isViewLoaded")));
  id view = send(controller, "view");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(send(controller, "view"), view);
  EXPECT_EQ(viewDidLoadCalls, 1);
  EXPECT_EQ(host::uikit::frame(view).size.width, 390);
  host::release(controller);
}

TEST(Navigation, ANavigationControllerInsideAnotherAnswersTheEnclosingOne) {
  host::AutoreleasePool pool;
  id page = send(cls("UIViewController"), "new");
  id root = send(cls("UIViewController"), "new");
  id outer = send(send(cls("UINavigationController"), "alloc"), "initWithRootViewController:", root);
  id inner = send(send(cls("UINavigationController"), "alloc"), "initWithRootViewController:", page);
  send<void>(outer, "pushViewController:animated:", inner, static_cast<BOOL>(YES));
  EXPECT_EQ(send(page, "navigationController"), inner);
  EXPECT_EQ(send(inner, "navigationController"), outer);
  EXPECT_EQ(send(outer, "navigationController"), nullptr);
  EXPECT_EQ(send(outer, "topViewController"), inner);
  EXPECT_NE(send(inner, "navigationBar"), send(outer, "navigationBar"));
  for (id c : {page, root, inner, outer}) host::release(c);
}

TEST(Navigation, AControllerFreesItsStackAndBar) {
  send(cls("UIScreen"), "mainScreen");  // the screen lives for the whole process
  long before = host::liveObjectCount();
  {
    host::AutoreleasePool pool;
    id page = send(cls("UIViewController"), "new");
    id navigation = send(send(cls("UINavigationController"), "alloc"), "initWithRootViewController:", page);
    send(page, "view");
    send(page, "navigationItem");
    host::release(page);
    host::release(navigation);
  }
  EXPECT_EQ(host::liveObjectCount(), before);
}

int presses;
id pressedBy;
void onPress(id, SEL, id sender) {
  ++presses;
  pressedBy = sender;
}

TEST(BarButtons, APressSendsTheActionToTheTarget) {
  host::AutoreleasePool pool;
  static Class c = host::ClassBuilder("ApplicationTestTarget", "NSObject").method("respring", &onPress).registerClass();
  id target = send(reinterpret_cast<id>(c), "new");
  id item = send(send(cls("UIBarButtonItem"), "alloc"), "initWithTitle:style:target:action:", nsString("Respring"), 0L,
                 target, host::sel("respring"));
  id controller = host::autorelease(send(cls("UIViewController"), "new"));
  send<void>(send(controller, "navigationItem"), "setRightBarButtonItem:", item);
  EXPECT_EQ(send(send(controller, "navigationItem"), "rightBarButtonItem"), item);
  EXPECT_EQ(text(send(item, "title")), "Respring");
  presses = 0;
  host::uikit::pressBarButton(item);
  EXPECT_EQ(presses, 1);
  EXPECT_EQ(pressedBy, item);
  host::release(item);
  host::release(target);
}

TEST(Screen, DefaultsTo390WideAndTakesTheWidthItIsGiven) {
  id screen = send(cls("UIScreen"), "mainScreen");
  EXPECT_EQ(send<CGRect>(screen, "bounds").size.width, 390);
  EXPECT_EQ(send<CGRect>(screen, "bounds").size.height, 844);
  host::uikit::setScreenWidth(428);
  EXPECT_EQ(send<CGRect>(screen, "bounds").size.width, 428);
  EXPECT_EQ(send<CGRect>(screen, "bounds").size.height, 844);
  host::uikit::setScreenWidth(390);
  EXPECT_EQ(send(cls("UIScreen"), "mainScreen"), screen);
}

TEST(OpenURL, RecordsTheURLAndTellsAnEmptyOptionsDictionaryFromNil) {
  host::AutoreleasePool pool;
  host::uikit::clearOpenedURLs();
  id app = send(cls("UIApplication"), "sharedApplication");
  id url = send(cls("NSURL"), "URLWithString:", nsString("mailto:someone@example.org"));
  id empty = send(cls("NSDictionary"), "dictionary");
  send<void>(app, "openURL:options:completionHandler:", url, empty, static_cast<void*>(nullptr));
  send<void>(app, "openURL:options:completionHandler:", url, id{nullptr}, static_cast<void*>(nullptr));
  auto opened = host::uikit::openedURLs();
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].url, "mailto:someone@example.org");
  EXPECT_TRUE(opened[0].optionsGiven);
  EXPECT_EQ(opened[0].optionCount, 0u);
  EXPECT_FALSE(opened[1].optionsGiven);
  EXPECT_FALSE(opened[0].completionGiven);
}

}  // namespace

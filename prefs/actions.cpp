// The page's actions: restarting the user interface, and the donation and mail links.
#include <spawn.h>

#include "common/objc_msg.h"
#include "prefs/pane.h"
#include "rootpath/rootpath.h"

namespace pane {
namespace {

const char kDonationUrl[] =
    "https://www.paypal.com/donate/?cmd=_donations&business=ravelo@dorvu.xyz&item_name=Support%20Ravelo";
const char kMailUrl[] = "mailto:ravelo@dorvu.xyz";

// Hands the link to the system with empty options and no completion handler; what opens it, if
// anything, is not observed.
void openLink(const char* link) {
  id url = rv::msg(classNamed("NSURL"), RV_SEL("URLWithString:"), string(link));
  if (url == nullptr) return;
  id options = rv::msg(classNamed("NSDictionary"), RV_SEL("dictionary"));
  id application = rv::msg(classNamed("UIApplication"), RV_SEL("sharedApplication"));
  rv::msg<void>(application, RV_SEL("openURL:options:completionHandler:"), url, options, static_cast<id>(nullptr));
}

}  // namespace

// Ends backboardd with the jailbreak's killall; the system then restarts the user interface, and
// SpringBoard loads the tweak afresh with the current switches. The child is not waited for: the
// respring takes this app down with everything else. The child starts with an empty environment.
void respring(id, SEL) {
  static char toolPath[kRootPathBufferSize];  // one buffer for the process, overwritten by each press
  const char* tool = jbrootPath("/usr/bin/killall", toolPath);
  if (tool == nullptr) return;
  static char name[] = "killall";
  static char signal[] = "-9";
  static char target[] = "backboardd";
  char* const arguments[] = {name, signal, target, nullptr};
  pid_t child;
  posix_spawn(&child, tool, nullptr, nullptr, arguments, nullptr);
}

void openDonationPage(id, SEL) { openLink(kDonationUrl); }

void openMail(id, SEL) { openLink(kMailUrl); }

}  // namespace pane

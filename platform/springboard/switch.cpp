// The object in SpringBoard's process that listens to its switch (a setting's controller on the
// device): it counts the value changes the switch reports.
#include "host/trace.h"
#include "springboard_internal.h"

namespace host::springboard::detail {
namespace {

void switchChanged(id self, SEL, id sender) {
  ++host::ivarRef<int>(self, "_valueChangesSeen");
  host::trace("SpringBoard: switch turned %s", host::send<BOOL>(sender, "isOn") ? "on" : "off");
}

}  // namespace

void defineSwitchTarget() {
  host::ClassBuilder("HostSwitchTarget", "NSObject")
      .ivar<int>("_valueChangesSeen")
      .method("switchChanged:", &switchChanged)
      .registerClass();
}

}  // namespace host::springboard::detail

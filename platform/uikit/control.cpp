// UIControl and its target-action table; UISwitch (an on/off control with an on-state colour) and
// UISlider (a control that is not a switch).
#include <algorithm>

#include "uikit_internal.h"

namespace host::uikit::internal {
namespace {

Class controlClass;

// One addTarget:action:forControlEvents: registration. Targets are not retained, as on the device.
struct TargetAction {
  id target;
  SEL action;
  unsigned long events;
};
struct ControlState {
  std::vector<TargetAction> actions;
  bool enabled = true;
  bool selected = false;
  bool highlighted = false;
};

ControlState& controlState(id control) {
  auto*& state = ivarRef<ControlState*>(control, "_hostControlState");
  if (state == nullptr) state = new ControlState;
  return *state;
}

void controlDealloc(id self, SEL) {
  delete ivarRef<ControlState*>(self, "_hostControlState");
  ivarRef<ControlState*>(self, "_hostControlState") = nullptr;
  sendSuper<void>(self, class_getSuperclass(controlClass), "dealloc");
}

// Adding the same target and action again adds the new events to the existing registration.
void controlAddTarget(id self, SEL, id target, SEL action, unsigned long events) {
  if (action == nullptr) return;
  auto& actions = controlState(self).actions;
  for (TargetAction& entry : actions) {
    if (entry.target == target && sel_isEqual(entry.action, action)) {
      entry.events |= events;
      return;
    }
  }
  actions.push_back({target, action, events});
}

// A null action removes every action of the target for those events; a null target every target's.
void controlRemoveTarget(id self, SEL, id target, SEL action, unsigned long events) {
  auto& actions = controlState(self).actions;
  for (TargetAction& entry : actions) {
    if ((target == nullptr || entry.target == target) && (action == nullptr || sel_isEqual(entry.action, action)))
      entry.events &= ~events;
  }
  std::erase_if(actions, [](const TargetAction& entry) { return entry.events == 0; });
}

unsigned long controlAllEvents(id self, SEL) {
  unsigned long events = 0;
  for (const TargetAction& entry : controlState(self).actions) events |= entry.events;
  return events;
}

// The action goes to the target with the control (and the event) as arguments; a nil target means
// the first object up the responder chain that implements the action.
void controlSendAction(id self, SEL, SEL action, id target, id event) {
  if (action == nullptr) return;
  if (target == nullptr) {
    for (id r = self; r != nullptr; r = send(r, "nextResponder")) {
      if (send<BOOL>(r, "respondsToSelector:", action)) {
        target = r;
        break;
      }
    }
    if (target == nullptr) return;
  }
  using Action = void (*)(id, SEL, id, id);
  reinterpret_cast<Action>(objc_msg_lookup(target, action))(target, action, self, event);
}

// Sends each registered action whose events match, in registration order. The table is copied first:
// an action may add or remove registrations.
void controlSendActions(id self, SEL, unsigned long events) {
  std::vector<TargetAction> actions = controlState(self).actions;
  for (const TargetAction& entry : actions) {
    if ((entry.events & events) != 0) send<void>(self, "sendAction:to:forEvent:", entry.action, entry.target, id{nullptr});
  }
}

BOOL controlIsEnabled(id self, SEL) { return controlState(self).enabled ? YES : NO; }
void controlSetEnabled(id self, SEL, BOOL enabled) { controlState(self).enabled = enabled != NO; }
BOOL controlIsSelected(id self, SEL) { return controlState(self).selected ? YES : NO; }
void controlSetSelected(id self, SEL, BOOL selected) { controlState(self).selected = selected != NO; }
BOOL controlIsHighlighted(id self, SEL) { return controlState(self).highlighted ? YES : NO; }
void controlSetHighlighted(id self, SEL, BOOL highlighted) { controlState(self).highlighted = highlighted != NO; }

// ---- UISwitch ----

// A switch has the system's fixed size whatever frame it is given.
id switchInitWithFrame(id self, SEL, CGRect frame) {
  frame.size = CGSizeMake(51, 31);
  return sendSuper(self, controlClass, "initWithFrame:", frame);
}
BOOL switchIsOn(id self, SEL) { return ivarRef<BOOL>(self, "_on"); }
void switchSetOn(id self, SEL, BOOL on) { ivarRef<BOOL>(self, "_on") = on != NO ? YES : NO; }
void switchSetOnAnimated(id self, SEL, BOOL on, BOOL) { send<void>(self, "setOn:", on); }

// ---- UISlider ----

float& sliderValue(id self) { return ivarRef<float>(self, "_value"); }
float& sliderMinimum(id self) { return ivarRef<float>(self, "_minimumValue"); }
float& sliderMaximum(id self) { return ivarRef<float>(self, "_maximumValue"); }

id sliderInitWithFrame(id self, SEL, CGRect frame) {
  self = sendSuper(self, controlClass, "initWithFrame:", frame);
  sliderMaximum(self) = 1.0f;
  return self;
}
float sliderGetValue(id self, SEL) { return sliderValue(self); }
// The value is kept within the slider's range.
void sliderSetValue(id self, SEL, float value) {
  sliderValue(self) = std::clamp(value, sliderMinimum(self), std::max(sliderMinimum(self), sliderMaximum(self)));
}
void sliderSetValueAnimated(id self, SEL, float value, BOOL) { send<void>(self, "setValue:", value); }
float sliderGetMinimum(id self, SEL) { return sliderMinimum(self); }
float sliderGetMaximum(id self, SEL) { return sliderMaximum(self); }
void sliderSetMinimum(id self, SEL, float value) {
  sliderMinimum(self) = value;
  sliderSetValue(self, nullptr, sliderValue(self));
}
void sliderSetMaximum(id self, SEL, float value) {
  sliderMaximum(self) = value;
  sliderSetValue(self, nullptr, sliderValue(self));
}

}  // namespace

void defineControls() {
  controlClass = ClassBuilder("UIControl", "UIView")
                     .ivar<ControlState*>("_hostControlState")
                     .method("dealloc", &controlDealloc)
                     .method("addTarget:action:forControlEvents:", &controlAddTarget)
                     .method("removeTarget:action:forControlEvents:", &controlRemoveTarget)
                     .method("allControlEvents", &controlAllEvents)
                     .method("sendAction:to:forEvent:", &controlSendAction)
                     .method("sendActionsForControlEvents:", &controlSendActions)
                     .method("isEnabled", &controlIsEnabled)
                     .method("setEnabled:", &controlSetEnabled)
                     .method("isSelected", &controlIsSelected)
                     .method("setSelected:", &controlSetSelected)
                     .method("isHighlighted", &controlIsHighlighted)
                     .method("setHighlighted:", &controlSetHighlighted)
                     .registerClass();
  ClassBuilder("UISwitch", controlClass)
      .ivar<BOOL>("_on")
      .strongProperty("onTintColor")
      .strongProperty("thumbTintColor")
      .method("initWithFrame:", &switchInitWithFrame)
      .method("isOn", &switchIsOn)
      .method("setOn:", &switchSetOn)
      .method("setOn:animated:", &switchSetOnAnimated)
      .registerClass();
  ClassBuilder("UISlider", controlClass)
      .ivar<float>("_value")
      .ivar<float>("_minimumValue")
      .ivar<float>("_maximumValue")
      .strongProperty("minimumTrackTintColor")
      .method("initWithFrame:", &sliderInitWithFrame)
      .method("value", &sliderGetValue)
      .method("setValue:", &sliderSetValue)
      .method("setValue:animated:", &sliderSetValueAnimated)
      .method("minimumValue", &sliderGetMinimum)
      .method("maximumValue", &sliderGetMaximum)
      .method("setMinimumValue:", &sliderSetMinimum)
      .method("setMaximumValue:", &sliderSetMaximum)
      .registerClass();
}

}  // namespace host::uikit::internal

namespace host::uikit {

void tapSwitch(id uiSwitch) {
  if (uiSwitch == nullptr || !send<BOOL>(uiSwitch, "isEnabled")) return;
  BOOL on = send<BOOL>(uiSwitch, "isOn");
  send<void>(uiSwitch, "setOn:animated:", static_cast<BOOL>(on ? NO : YES), static_cast<BOOL>(YES));
  send<void>(uiSwitch, "sendActionsForControlEvents:", static_cast<unsigned long>(UIControlEventValueChanged));
}

}  // namespace host::uikit

// Where the tweak begins: SpringBoard loads Ravelo and this initialiser runs.
#include <CoreFoundation/CoreFoundation.h>

#include "tweak/hooks.h"
#include "tweak/settings.h"

// Registers for the settings-change notification, loads the settings and, when the master switch is
// on, installs the hooks whose switches are on. With the master switch off at start-up nothing is
// installed for the life of the process, even if a later reload turns it on.
__attribute__((constructor)) static void tweakInit(void) {
  CFNotificationCenterAddObserver(CFNotificationCenterGetDarwinNotifyCenter(), nullptr, settingsChanged,
                                  CFSTR("com.tamsel.ravelo.prefsupdate"), nullptr,
                                  CFNotificationSuspensionBehaviorDeliverImmediately);
  loadSettings();
  if (!FeatureSwitches[kEnabled]) return;
  installHooks();
}

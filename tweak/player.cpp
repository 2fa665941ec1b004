#include "tweak/player.h"

#include <AudioToolbox/AudioServices.h>
#include <dispatch/dispatch.h>
#include <string.h>

#include "common/objc_msg.h"
#include "rootpath/rootpath.h"
#include "tweak/catalogue.h"
#include "tweak/settings.h"

namespace {

SystemSoundID currentSound;  // 0: none
int32_t currentIndex = -1;   // the raw index currentSound was made from

// The sounds directory below the jailbreak root, resolved once; empty when resolution gave no path.
char soundsDirectory[kRootPathBufferSize];
bool haveSoundsDirectory;
dispatch_once_t soundsDirectoryOnce;

void resolveSoundsDirectory(void*) {
  haveSoundsDirectory = jbrootPath("/Library/Sounds/", soundsDirectory) != nullptr;
}

const char* catalogueEntry(int32_t index) {
  if (index <= 1) return SoundCatalogue[0];
  if (index >= kSoundCatalogueCount) return SoundCatalogue[kSoundCatalogueCount - 1];
  return SoundCatalogue[index - 1];
}

// The file URL of catalogue entry `index`, autoreleased; nil without a sounds directory.
id soundURL(int32_t index) {
  dispatch_once_f(&soundsDirectoryOnce, nullptr, resolveSoundsDirectory);
  if (!haveSoundsDirectory) return nullptr;
  char path[kRootPathBufferSize];
  strlcpy(path, soundsDirectory, sizeof path);  // the directory already ends in "/"
  strlcat(path, catalogueEntry(index), sizeof path);
  id pathString = rv::msg(objc_getClass("NSString"), RV_SEL("stringWithUTF8String:"), static_cast<const char*>(path));
  if (pathString == nullptr) return nullptr;
  return rv::msg(objc_getClass("NSURL"), RV_SEL("fileURLWithPath:"), pathString);
}

}  // namespace

void playSound(int32_t index) {
  if (!FeatureSwitches[kEnabled]) return;
  if (index != currentIndex) {
    AudioServicesDisposeSystemSoundID(currentSound);
    currentSound = 0;  // a failed creation below must not leave the disposed identifier behind
    id url = soundURL(index);
    // The status is not examined: a missing file leaves no sound and the play below is silent.
    if (url != nullptr) AudioServicesCreateSystemSoundID(reinterpret_cast<CFURLRef>(url), &currentSound);
    currentIndex = index;
  }
  AudioServicesPlaySystemSound(currentSound);
}

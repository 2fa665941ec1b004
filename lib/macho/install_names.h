// Install names of the libraries the device deliverables link, as their load commands name them.
#pragma once

#include <string>

namespace macho::install_names {

inline const std::string kLibSystem = "/usr/lib/libSystem.B.dylib";
inline const std::string kLibObjc = "/usr/lib/libobjc.A.dylib";
inline const std::string kCoreFoundation = "/System/Library/Frameworks/CoreFoundation.framework/CoreFoundation";
inline const std::string kFoundation = "/System/Library/Frameworks/Foundation.framework/Foundation";
inline const std::string kAudioToolbox = "/System/Library/Frameworks/AudioToolbox.framework/AudioToolbox";
inline const std::string kUIKit = "/System/Library/Frameworks/UIKit.framework/UIKit";
inline const std::string kPreferences = "/System/Library/PrivateFrameworks/Preferences.framework/Preferences";
inline const std::string kSubstrate = "@rpath/CydiaSubstrate.framework/CydiaSubstrate";

}  // namespace macho::install_names

// Pictures of the Settings pane: the Settings app draws the open pane into the device's run folder and
// the simulator puts the picture where it was asked for.
#pragma once

#include <filesystem>
#include <string>

#include "supervisor/device.h"

namespace sim {

// "" when a picture can be written at `path` (its folder exists and is writable, and `path` is not a
// folder), else what is wrong, naming the path.
std::string checkPicturePath(const std::filesystem::path& path);

// Draws the open pane to `path` at `scale` pixels to the point. "" when done, with *report set to a
// line for the transcript ("capture pane.png: 780x4904 pixels"); else what went wrong.
std::string capturePane(Device& device, const std::filesystem::path& path, int scale, std::string* report);

}  // namespace sim

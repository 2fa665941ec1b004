// The Settings pane drawn as the screen shows it: the status and navigation bars above the page, then
// the whole page (table header, sections and rows) as if the screen were tall enough for it, at the
// screen's width, `scale` pixels to the point.
#pragma once

#include <string>

#include "host/preferences.h"
#include "pane/pane_model.h"

namespace sim::pictures {

struct PanePictureInfo {
  int widthPixels = 0, heightPixels = 0;
  int rows = 0;
};

// Lays the open pane's page out, reads it and writes its picture to `path` (PNG). False, with *error
// set, when the picture cannot be drawn or written.
bool drawPanePicture(host::settings::Pane& pane, double scale, const std::string& path, std::string* error,
                     PanePictureInfo* info = nullptr);

// The same from a page already read.
bool drawPaneModel(const PaneModel& pane, double scale, const std::string& path, std::string* error,
                   PanePictureInfo* info = nullptr);

}  // namespace sim::pictures

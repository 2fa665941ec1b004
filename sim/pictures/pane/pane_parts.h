// The parts of a page's picture, each drawn from the page's model at a place the composition
// (pane_picture.cpp) gives, in points.
#pragma once

#include "canvas/canvas.h"
#include "pane/pane_model.h"

namespace sim::pictures {

// The status bar above the navigation bar (iOS's own: time, signal, Wi-Fi, battery).
void drawStatusBar(const Canvas& canvas, double width);

// The navigation bar, `y` its top: back button, title, right button, over the bar's material.
void drawNavigationBar(const Canvas& canvas, const BarModel& bar, double y, double width);

// A view and everything below it (the table header), its superview's origin at (x, y).
void drawViewTree(const Canvas& canvas, const ViewModel& view, double x, double y);

// Where a section's rows go across the page: grouped sections span it, inset grouped ones stand in.
struct SectionBounds {
  double left = 0, right = 0;  // the rows' edges
  double margin = 16;          // the cells' layout margin (text and separators start this far in)
  bool inset = false;          // rounded, without top and bottom hairlines
};
SectionBounds sectionBounds(const PaneModel& pane);

// A section's header and footer: their heights (whole points) and drawing.
double sectionHeaderHeight(const SectionModel& section);
double sectionFooterHeight(const Canvas& canvas, const SectionModel& section, const SectionBounds& bounds);
void drawSectionHeader(const Canvas& canvas, const SectionModel& section, const SectionBounds& bounds, double y);
void drawSectionFooter(const Canvas& canvas, const SectionModel& section, const SectionBounds& bounds, double y);

// One row, `y` its top; `first`/`last` in its section (for separators and rounded corners).
void drawRow(const Canvas& canvas, const RowModel& row, const SectionBounds& bounds, double y, bool first, bool last);

// Controls and accessories, each with its top-left at (x, y).
void drawSwitch(const Canvas& canvas, double x, double y, double width, double height, bool on, const Colour& onColour);
void drawSlider(const Canvas& canvas, double x, double y, double width, double height, double fraction,
                const Colour& tint);
void drawChevron(const Canvas& canvas, double x, double y);            // a disclosure indicator
void drawCheckmark(const Canvas& canvas, double x, double y, const Colour& tint);

}  // namespace sim::pictures

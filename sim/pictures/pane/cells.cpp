// A row as iOS draws its cell: the background, the title at the layout margin, a value at the right,
// the accessory (switch, slider, chevron, checkmark) at the right edge, and the separator below.
// Every label is drawn at the font size it was given; a button row's title takes the cell's tint.
#include <algorithm>
#include <cmath>

#include "pane/ios_look.h"
#include "pane/pane_parts.h"

namespace sim::pictures {
namespace {

// Fills the row's background, rounding the outer corners of an inset section's first and last rows.
void fillBackground(const Canvas& canvas, const RowModel& row, const SectionBounds& bounds, double y, bool first,
                    bool last) {
  const Colour colour = row.background.value_or(ios::kCellBackground);
  const double width = bounds.right - bounds.left;
  if (!bounds.inset || (!first && !last)) {
    canvas.fillRect(bounds.left, y, width, row.height, colour);
    return;
  }
  cairo_t* cr = canvas.cr();
  cairo_save(cr);
  cairo_rectangle(cr, bounds.left, y, width, row.height);
  cairo_clip(cr);
  const double r = ios::kInsetGroupedRadius;
  const double top = first ? y : y - r;
  const double bottom = last ? y + row.height : y + row.height + r;
  canvas.setColour(colour);
  canvas.roundedRect(bounds.left, top, width, bottom - top, r);
  cairo_fill(cr);
  cairo_restore(cr);
}

// Draws the accessory at the row's right and answers where the text must end.
double drawAccessory(const Canvas& canvas, const RowModel& row, const SectionBounds& bounds, double y) {
  const double right = bounds.right - bounds.margin;
  const double middle = y + row.height / 2;
  switch (row.accessory) {
    case RowModel::Switch: {
      double w = row.accessorySize.width > 0 ? row.accessorySize.width : 51;
      double h = row.accessorySize.height > 0 ? row.accessorySize.height : 31;
      drawSwitch(canvas, right - w, middle - h / 2, w, h, row.switchOn, row.onTint.value_or(ios::kSwitchOnDefault));
      return right - w - ios::kDetailGap;
    }
    case RowModel::Slider: {
      // A slider row's control spans the row between the margins.
      double left = bounds.left + bounds.margin;
      drawSlider(canvas, left + 14, y, right - left - 28, row.height, row.sliderFraction, row.tint);
      return left;
    }
    case RowModel::Chevron:
      drawChevron(canvas, right - ios::kChevronWidth, middle - ios::kChevronHeight / 2);
      return right - ios::kChevronWidth - ios::kChevronGap;
    case RowModel::Checkmark:
      drawCheckmark(canvas, right - 14, middle - 6, row.tint);
      return right - 14 - ios::kChevronGap;
    case RowModel::OtherView:
      return right - row.accessorySize.width - ios::kDetailGap;
    case RowModel::None:
      break;
  }
  return right;
}

TextStyle labelStyle(const LabelModel& label, const Colour& colour, double width, Align align) {
  return {label.pointSize, label.bold ? Weight::Bold : Weight::Regular, label.colour.value_or(colour), width, false,
          align};
}

}  // namespace

void drawRow(const Canvas& canvas, const RowModel& row, const SectionBounds& bounds, double y, bool first,
             bool last) {
  fillBackground(canvas, row, bounds, y, first, last);
  const double textLeft = bounds.left + bounds.margin;
  const double textRight = drawAccessory(canvas, row, bounds, y);
  const double middle = y + row.height / 2;

  const LabelModel* title = nullptr;
  const LabelModel* value = nullptr;
  for (const LabelModel& label : row.labels) {
    if (label.role == LabelModel::Text && !label.text.empty()) title = &label;
    if (label.role == LabelModel::Detail && !label.text.empty()) value = &label;
  }
  // The title keeps its length while the value can shrink to 40% of the room; both end in "…" if cut.
  const double room = std::max(0.0, textRight - textLeft);
  double valueWidth = 0;
  if (value != nullptr) {
    valueWidth = canvas.measure(value->text, labelStyle(*value, ios::kSecondaryLabel, -1, Align::Left)).width;
    double titleWidth = title != nullptr ? canvas.measure(title->text, labelStyle(*title, ios::kLabel, -1, Align::Left)).width : 0;
    valueWidth = std::min(valueWidth, std::max(room * 0.4, room - titleWidth - ios::kDetailGap));
    TextStyle style = labelStyle(*value, ios::kSecondaryLabel, valueWidth, Align::Right);
    TextSize size = canvas.measure(value->text, style);
    canvas.drawText(value->text, textRight - valueWidth, middle - size.height / 2, style);
  }
  if (title != nullptr) {
    double width = std::max(0.0, room - (value != nullptr ? valueWidth + ios::kDetailGap : 0));
    TextStyle style = labelStyle(*title, row.isButton ? row.tint : ios::kLabel, width, Align::Left);
    TextSize size = canvas.measure(title->text, style);
    canvas.drawText(title->text, textLeft, middle - size.height / 2, style);
  }
  // Labels the cell's own layout does not place stay where their frames put them in the content view.
  for (const LabelModel& label : row.labels) {
    if (label.role != LabelModel::Other || label.text.empty()) continue;
    TextStyle style = labelStyle(label, ios::kLabel, label.frame.size.width, Align::Left);
    TextSize size = canvas.measure(label.text, style);
    canvas.drawText(label.text, bounds.left + label.frame.origin.x,
                    y + label.frame.origin.y + (label.frame.size.height - size.height) / 2, style);
  }

  // The separator: under every row but a section's last, from the text's left edge; grouped (not inset)
  // sections also have full-width hairlines above and below.
  const double px = canvas.pixel();
  if (!last) canvas.fillRect(textLeft, y + row.height - px, bounds.right - textLeft, px, ios::kSeparator);
  if (!bounds.inset && last) canvas.fillRect(bounds.left, y + row.height - px, bounds.right - bounds.left, px, ios::kSeparator);
  if (!bounds.inset && first) canvas.fillRect(bounds.left, y - px, bounds.right - bounds.left, px, ios::kSeparator);
}

}  // namespace sim::pictures

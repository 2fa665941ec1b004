// Cell classes of the simulated Settings app, for specifier lists to name with "cellClass" (as pages
// name cells that other bundles define): they give a page cells whose labels are not all directly
// inside the content view.
//
//   SettingsNestedLabelCell  its name in the usual label, plus an 11-point label "nested" inside a
//                            plain view inside the content view
//   SettingsBareCell         nothing inside its content view: no label at all
#pragma once

namespace sim::device {

// Registers the classes; call once, before the pane is opened.
void defineSettingsCells();

}  // namespace sim::device

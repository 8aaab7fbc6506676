#include "ui/version_panel.h"

#include <cstdint>

#include "ui/app.h"
#include "ui/resource_ids.h"
#include "ui/version_labels.h"
#include "ui/window.h"

namespace {

// The panel's controls, in the order in which they are disabled and enabled.
constexpr int kPanelControls[] = {kRow1Version, kRow2Version, kRow3Version,
                                  kRow1Caption, kRow2Caption, kRow3Caption};

void enablePanel(bool enabled) {
    for (int control : kPanelControls) window::enableControl(control, enabled);
}

void showClosedView() {
    window::setControlText(kRow1Version, kClosedViewLabel);
    window::setControlText(kRow2Version, kClosedViewLabel);
    window::setControlText(kRow3Version, kClosedViewLabel);
    enablePanel(false);  // the row-1 caption keeps the last unit's name
}

void showOpenView(const UnitView& unit) {
    enablePanel(true);
    const VersionLabels labels = openViewLabels(unit);
    window::setControlText(kRow1Version, labels.unit);
    window::setControlText(kRow2Version, labels.bootloader);
    window::setControlText(kRow3Version, labels.controller);
    window::setControlText(kRow1Caption, labels.productName);
}

}  // namespace

void refreshVersionPanel() {
    const DeviceSession& session = appSession();
    if (isOpen(session)) {
        showOpenView(appUnitView());
    } else {
        showClosedView();
    }
}

#include "ui/version_panel.h"

#include <cstdint>

#include "ui/app.h"
#include "ui/resource_ids.h"
#include "engine/version_labels.h"
#include "ui/window.h"

namespace {

// The panel's controls, in the order in which they are disabled and enabled.
constexpr int kPanelControls[] = {kRow1Version, kRow2Version, kRow3Version,
                                  kRow1Caption, kRow2Caption, kRow3Caption};

void enablePanel(bool enabled) {
    for (int control : kPanelControls) window::enableControl(control, enabled);
}

// Each row's label, enabled for a unit; row 1's caption names its model (closed, it keeps the
// last unit's name).
void showRows(const VersionRows& rows, bool open) {
    if (open) enablePanel(true);
    window::setControlText(kRow1Version, rows.labels[0]);
    window::setControlText(kRow2Version, rows.labels[1]);
    window::setControlText(kRow3Version, rows.labels[2]);
    if (open) {
        window::setControlText(kRow1Caption, rows.row1Name);
    } else {
        enablePanel(false);
    }
}

}  // namespace

void refreshVersionPanel() {
    const DeviceSession& session = appSession();
    const bool open = isOpen(session);
    showRows(versionRowsOf(open ? &appUnitView() : nullptr), open);
}

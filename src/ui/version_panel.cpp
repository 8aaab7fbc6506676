#include "ui/version_panel.h"

#include <cstdint>

#include "ui/app.h"
#include "ui/format_text.h"
#include "ui/resource_ids.h"
#include "ui/window.h"

namespace {

constexpr int kLabelSize = 32;

// The panel's controls, in the order in which they are disabled and enabled.
constexpr int kPanelControls[] = {kRow1Version, kRow2Version, kRow3Version,
                                  kRow1Caption, kRow2Caption, kRow3Caption};

void enablePanel(bool enabled) {
    for (int control : kPanelControls) window::enableControl(control, enabled);
}

// Rule A: "major." only when bits 24 to 31 are set, then "minor.patch" of bits 8 to 15 and 0 to
// 7; bits 16 to 23 are not shown.
void setVersionLabel(int controlId, std::uint32_t version) {
    wchar_t label[kLabelSize];
    int length = 0;
    const unsigned leading = version >> 24;
    if (leading != 0) length = formatText(label, kLabelSize, L"%u.", leading);
    formatText(label + length, kLabelSize - length, L"%u.%u", (version >> 8) & 0xFFu,
               version & 0xFFu);
    window::setControlText(controlId, label);
}

// The unit keeps its version one byte up when the lowest byte is zero.
std::uint32_t unitVersionForLabel(std::uint32_t version) {
    return (version & 0xFFu) == 0 ? version >> 8 : version;
}

void setControllerLabel(std::uint16_t version) {
    if (version == kNoFirmwareInstalled) {
        window::setControlText(kRow3Version, L"----------");
        return;
    }
    wchar_t label[kLabelSize];
    formatText(label, kLabelSize, L"%u.%u", unsigned{version} >> 8, version & 0xFFu);
    window::setControlText(kRow3Version, label);
}

const wchar_t* productName(std::uint16_t productId) {
    return productId == kProductIdLinkwave ? L"LINKWAVE" : L"LINK-CUBE";
}

void showClosedView() {
    window::setControlText(kRow1Version, L"0.0.0");
    window::setControlText(kRow2Version, L"0.0.0");
    window::setControlText(kRow3Version, L"0.0.0");
    enablePanel(false);  // the row-1 caption keeps the last unit's name
}

void showOpenView(const DeviceSession& session) {
    enablePanel(true);
    setVersionLabel(kRow1Version, unitVersionForLabel(session.unitFirmwareVersion));
    setVersionLabel(kRow2Version, bootloaderVersion(session));
    setControllerLabel(escFirmwareVersion(session));
    window::setControlText(kRow1Caption, productName(session.productId));
}

}  // namespace

void refreshVersionPanel() {
    const DeviceSession& session = appSession();
    if (isOpen(session)) {
        showOpenView(session);
    } else {
        showClosedView();
    }
}

#include "ui/version_labels.h"

#include <cstdint>

#include "ui/format_text.h"

namespace {

// Rule A: "major." only when bits 24 to 31 are set, then "minor.patch" of bits 8 to 15 and 0 to
// 7; bits 16 to 23 are not shown.
void composeVersion(wchar_t* label, std::uint32_t version) {
    int length = 0;
    const unsigned leading = version >> 24;
    if (leading != 0) length = formatText(label, kVersionLabelSize, L"%u.", leading);
    formatText(label + length, kVersionLabelSize - length, L"%u.%u", (version >> 8) & 0xFFu,
               version & 0xFFu);
}

// The unit keeps its version one byte up when the lowest byte is zero.
std::uint32_t unitVersionForLabel(std::uint32_t version) {
    return (version & 0xFFu) == 0 ? version >> 8 : version;
}

void composeControllerVersion(wchar_t* label, std::uint16_t version) {
    if (version == kNoFirmwareInstalled) {
        formatText(label, kVersionLabelSize, L"----------");
        return;
    }
    formatText(label, kVersionLabelSize, L"%u.%u", unsigned{version} >> 8, version & 0xFFu);
}

}  // namespace

VersionLabels openViewLabels(const DeviceSession& session) {
    VersionLabels labels{};
    labels.productName = session.productId == kProductIdLinkwave ? L"LINKWAVE" : L"LINK-CUBE";
    composeVersion(labels.unit, unitVersionForLabel(session.unitFirmwareVersion));
    composeVersion(labels.bootloader, bootloaderVersion(session));
    composeControllerVersion(labels.controller, escFirmwareVersion(session));
    return labels;
}

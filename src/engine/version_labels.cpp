#include "engine/version_labels.h"

#include <cstdint>

#include "engine/format_text.h"

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

UnitView viewOf(const DeviceSession& session) {
    return UnitView{session.productId, session.unitFirmwareVersion, bootloaderVersion(session),
                    escFirmwareVersion(session)};
}

VersionLabels openViewLabels(const UnitView& unit) {
    VersionLabels labels{};
    labels.productName = unit.productId == kProductIdLinkwave ? L"LINKWAVE" : L"LINK-CUBE";
    composeVersion(labels.unit, unitVersionForLabel(unit.unitFirmwareVersion));
    composeVersion(labels.bootloader, unit.bootloaderVersion);
    composeControllerVersion(labels.controller, unit.escFirmwareVersion);
    return labels;
}

VersionRows versionRowsOf(const UnitView* open) {
    VersionRows rows{};
    if (open == nullptr) {
        for (auto& label : rows.labels)
            formatText(label, kVersionLabelSize, L"%s", kClosedViewLabel);
        return rows;
    }
    const VersionLabels labels = openViewLabels(*open);
    rows.row1Name = labels.productName;
    formatText(rows.labels[0], kVersionLabelSize, L"%s", labels.unit);
    formatText(rows.labels[1], kVersionLabelSize, L"%s", labels.bootloader);
    formatText(rows.labels[2], kVersionLabelSize, L"%s", labels.controller);
    return rows;
}

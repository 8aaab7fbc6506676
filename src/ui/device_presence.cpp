#include "ui/device_presence.h"

#include <cwchar>
#include <deque>
#include <string>
#include <vector>

#include "ui/app.h"
#include "engine/format_text.h"
#include "ui/resource_ids.h"
#include "ui/texts.h"
#include "engine/unit_state.h"
#include "ui/version_panel.h"
#include "ui/window.h"

namespace {

// One empty line between a status and the instructions.
constexpr const wchar_t* kStatusSeparator = L"\r\n\r\n";

// Appends text to the NUL-terminated contents of buffer, as much as fits with the terminator.
void appendBounded(wchar_t* buffer, std::size_t capacity, const wchar_t* text) {
    std::size_t length = std::wcslen(buffer);
    while (*text != L'\0' && length + 1 < capacity) buffer[length++] = *text++;
    buffer[length] = L'\0';
}

// The path in a removal notice need not have the letter case of the path that the enumeration
// gave; the case of A to Z is ignored, and of nothing else.
char foldAsciiCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c; }

bool samePath(const wchar_t* notice, const std::string& open) {
    if (notice == nullptr || open.empty()) return false;
    const std::string noticed = toUtf8(notice);
    if (noticed.size() != open.size()) return false;
    for (std::size_t i = 0; i < open.size(); ++i) {
        if (foldAsciiCase(noticed[i]) != foldAsciiCase(open[i])) return false;
    }
    return true;
}

bool isInterfaceRecord(const DeviceEventRecord* record) {
    return record != nullptr && record->deviceType == kDeviceTypeInterface;
}

// A status, an empty line and the connection steps; at start-up the panel's closed view too.
// The Hint box is given the whole text at once: each text given lays it all out anew.
void showStatus(std::uint16_t statusId, bool atStartup) {
    Text status = loadText(statusId);
    appendBounded(status.chars, kTextBufferSize, kStatusSeparator);
    std::wstring hint = status.chars;
    hint += loadText(kTextInstructions).chars;
    setHintText(hint.c_str());
    if (atStartup) refreshVersionPanel();
}

void showReady() {
    setHintText(loadText(hintTextsOf(UnitState::ready).status).chars);
    refreshVersionPanel();
    window::enableControl(kUpdateButton, true);
}

void showIncompatibleNotice() {
    Text notice;
    composeIncompatibleNotice(notice.chars, kTextBufferSize,
                              loadText(kTextIncompatibleNotice).chars);
    window::showMessageBox(notice.chars, loadText(kTextIncompatibleCaption).chars,
                           window::Box::information);
}

// Opens and judges the unit with device notices held: the identification's waits let them
// through, and they are handled once the judgement has been shown.
void probe(bool atStartup) {
    holdDeviceNotices();
    showProbeResult(openAppSession(), atStartup);
    releaseDeviceNotices();
}

void onArrival(const DeviceEventRecord* record) {
    if (!isInterfaceRecord(record)) return;
    // Whatever arrived, a unit already open stays the one: a second unit is not looked at.
    if (isOpen(appSession())) return;
    probe(false);
}

void onRemoval(const DeviceEventRecord* record) {
    DeviceSession& session = appSession();
    if (!isInterfaceRecord(record) || !isOpen(session)) return;
    if (!samePath(record->interfacePath, session.devicePath)) return;
    closeSession(session);
    window::enableControl(kUpdateButton, false);
    refreshVersionPanel();
    showStatus(kTextConnectionLost, false);
}

struct HeldNotice {
    std::uint32_t event;
    std::uint32_t deviceType;
    bool hasPath;
    std::wstring path;
};

struct NoticeHold {
    unsigned depth = 0;     // holds not yet released
    bool handling = false;  // the held notices are being handled
    std::deque<HeldNotice> notices;
};

NoticeHold& noticeHold() {
    static NoticeHold hold;
    return hold;
}

void holdNotice(std::uint32_t event, const DeviceEventRecord* record) {
    HeldNotice notice{event, 0, false, {}};
    if (record != nullptr) {
        notice.deviceType = record->deviceType;
        notice.hasPath = record->interfacePath != nullptr;
        if (notice.hasPath) notice.path = record->interfacePath;
    }
    noticeHold().notices.push_back(std::move(notice));
}

}  // namespace

void runStartupProbe() { probe(true); }

void showProbeResult(ResultCode result, bool atStartup) {
    const UnitState state = judgeUnit(result, appSession());
    const HintTexts hint = hintTextsOf(state);
    if (!hint.connectionSteps) {
        showReady();
        return;
    }
    // On an arrival, nothing found also covers every HID device that is not a programming unit.
    if (state == UnitState::notFound && !atStartup) return;
    window::enableControl(kUpdateButton, false);
    closeSession(appSession());
    if (hint.incompatibleNotice) showIncompatibleNotice();
    showStatus(hint.status, atStartup);
}

int onDeviceChange(std::uint32_t event, const DeviceEventRecord* record) {
    const NoticeHold& hold = noticeHold();
    const bool held = hold.depth > 0 || hold.handling;  // behind those already held
    if (held && (event == kDeviceArrival || event == kDeviceRemoveComplete)) {
        holdNotice(event, record);
        return 1;
    }
    switch (event) {
        case kDeviceArrival: onArrival(record); return 1;
        case kDeviceRemoveComplete: onRemoval(record); return 1;
        default: return 0;
    }
}

void holdDeviceNotices() { ++noticeHold().depth; }

// Handles the held notices oldest first. Handling one may hold again (an arrival identifies the
// unit); what arrives meanwhile joins the end of the line, so the order is the order of arrival.
void releaseDeviceNotices() {
    NoticeHold& hold = noticeHold();
    if (hold.depth > 0) --hold.depth;
    if (hold.depth > 0 || hold.handling) return;
    hold.handling = true;
    while (!hold.notices.empty()) {
        const HeldNotice notice = std::move(hold.notices.front());
        hold.notices.pop_front();
        const DeviceEventRecord record{notice.deviceType,
                                       notice.hasPath ? notice.path.c_str() : nullptr};
        switch (notice.event) {
            case kDeviceArrival: onArrival(&record); break;
            case kDeviceRemoveComplete: onRemoval(&record); break;
        }
    }
    hold.handling = false;
}

bool deviceNoticesHeld() { return noticeHold().depth > 0 || noticeHold().handling; }

void setHintText(const wchar_t* text) { window::setControlText(kHintBox, text); }

void appendHintText(const wchar_t* text) {
    const std::size_t current = static_cast<std::size_t>(window::controlTextLength(kHintBox));
    const std::size_t added = std::wcslen(text);
    std::vector<wchar_t> combined(current + added + 1, L'\0');
    window::controlText(kHintBox, combined.data(), static_cast<int>(combined.size()));
    appendBounded(combined.data(), combined.size(), text);
    setHintText(combined.data());
}

// The update: confirmations, the bootloader commands in their order with their pauses, the
// blocks under a progress window, and the one report through which every failure passes.
#include "flash/update.h"

#include <algorithm>
#include <cstring>

#include "flash/commands.h"
#include "flash/firmware_image.h"
#include "ui/app.h"
#include "ui/device_presence.h"
#include "ui/format_text.h"
#include "ui/resource_ids.h"
#include "ui/version_panel.h"
#include "ui/window.h"

namespace {

constexpr std::uint32_t kBlockBytes = 48;
constexpr std::uint32_t kCommandPauseMs = 20;  // before each command after the lock
constexpr std::uint32_t kAfterErasePauseMs = 4000;
constexpr std::uint32_t kAfterBlockPauseMs = 20;
constexpr std::uint16_t kNoFirmwareInstalled = 0xFFFF;
constexpr int kProgressWidth = 400;
constexpr int kProgressHeight = 50;

struct Text {
    wchar_t chars[kTextBufferSize];
};

Text loadText(std::uint16_t id) {
    Text text;
    window::loadText(id, text.chars, kTextBufferSize);
    return text;
}

int askUser(std::uint16_t textId, std::uint16_t captionId, unsigned buttons) {
    return window::showMessageBox(loadText(textId).chars, loadText(captionId).chars,
                                  buttons | window::kIconWarning);
}

// Ends the update with the failure report for text textId; error is the platform's last error
// as the failing step left it.
void failWith(std::uint16_t textId, ResultCode result, std::uint32_t error) {
    const Text caption = loadText(kTextUpdateFailedCaption);
    const Text text = loadText(textId);
    reportUpdateFailure(text.chars, caption.chars, result, error);
}

bool installedIsNotOlder(std::uint16_t installed) {
    return installed >= imageFirmwareVersion && installed != kNoFirmwareInstalled;
}

// The image is sent as it is; one that is missing, empty, not a whole number of words or not
// the one the build was given (its digest differs) cannot be sent faithfully and is refused
// before anything goes to the unit.
bool isSendable(const FirmwareImage& image) {
    return image.bytes != nullptr && image.size != 0 && image.size % 4 == 0 &&
           matchesExpectedDigest(image);
}

// The bootloader commands before the transfer; false when one failed and has been reported.
bool prepareController(DeviceSession& session) {
    ResultCode result = setSystemLock(session, true);
    if (result != kSuccess) {
        failWith(kTextLockFailed, result, hid::lastError());
        return false;
    }

    hid::pause(kCommandPauseMs);
    result = setWriteProtection(session, false);
    if (result != kSuccess) {
        failWith(kTextUnprotectFailed, result, hid::lastError());
        return false;
    }

    hid::pause(kCommandPauseMs);
    result = eraseFirmware(session);
    const std::uint32_t eraseError = hid::lastError();
    hid::pause(kAfterErasePauseMs);  // the controller settles after the erase, whatever its result
    if (result != kSuccess) {
        failWith(kTextEraseFailed, result, eraseError);
        return false;
    }

    hid::pause(kCommandPauseMs);
    result = setWriteAddress(session, 0);
    if (result != kSuccess) {
        failWith(kTextAddressFailed, result, hid::lastError());
        return false;
    }
    return true;
}

// The progress window, centred on the main window and brought to the top with it.
window::WindowHandle openProgressWindow() {
    const window::Rect main = window::windowRect(window::mainWindow());
    const int x = main.left + ((main.right - main.left) >> 1) - kProgressWidth / 2;
    const int y = main.top + ((main.bottom - main.top) >> 1) - kProgressHeight / 2;
    const window::WindowHandle progress = window::createProgressWindow(
        loadText(kTextUpdateInProgress).chars, x, y, kProgressWidth, kProgressHeight);
    window::setProgress(progress, 0);
    window::bringToTop(window::mainWindow());
    window::bringToTop(progress);
    return progress;
}

// Once during the transfer, when the user has come back to the updater, both windows are raised
// and shown again, so that the progress window is not left behind the main window.
void applyZOrderRule(window::WindowHandle progress, window::WindowHandle* recorded) {
    const window::WindowHandle main = window::mainWindow();
    if (*recorded == main || *recorded == progress) return;
    const window::WindowHandle foreground = window::foregroundWindow();
    if (foreground != main && foreground != progress) return;
    *recorded = foreground;
    window::bringToTop(main);
    window::bringToTop(progress);
    window::showWindow(main);
    window::showWindow(progress);
}

// Sends the image in 48-byte blocks; false when a block failed and has been reported.
bool transferImage(DeviceSession& session, const FirmwareImage& image) {
    const window::WindowHandle progress = openProgressWindow();
    const std::uint32_t total = static_cast<std::uint32_t>(image.size);
    const std::uint8_t* next = image.bytes;
    std::uint32_t remaining = total;
    window::WindowHandle recorded = 0;
    while (remaining != 0) {
        ResultCode result;
        if (remaining >= kBlockBytes) {
            result = writeBlock(session, next, kBlockBytes, kBlockBytes / 4);
            next += kBlockBytes;
            remaining -= kBlockBytes;
        } else {
            // The last, short block: its words, then 0xFF to the end of the area.
            std::uint8_t area[kBlockBytes];
            std::memset(area, 0xFF, sizeof area);
            std::memcpy(area, next, remaining);
            result = writeBlock(session, area, sizeof area, remaining / 4);
            remaining = 0;
        }
        if (result != kSuccess) {
            const std::uint32_t error = hid::lastError();
            window::destroyWindow(progress);
            failWith(kTextBlockFailed, result, error);
            return false;
        }
        window::setProgress(progress, (total - remaining) * 100u / total);
        applyZOrderRule(progress, &recorded);
        hid::pause(kAfterBlockPauseMs);
        window::keepPainting();
    }
    window::destroyWindow(progress);
    return true;
}

// Protects the new firmware and releases the unit; the update has succeeded by now, so neither
// result changes the outcome.
void restoreProtection(DeviceSession& session) {
    setWriteProtection(session, true);
    setSystemLock(session, false);
}

void recordSuccess(DeviceSession& session) {
    setEscFirmwareVersion(session, imageFirmwareVersion);
    window::enableControl(kUpdateButton, false);
    refreshVersionPanel();
    setHintText(loadText(kTextUpdateSucceeded).chars);
}

// Runs the update from the first command on.
void writeFirmware(DeviceSession& session, const FirmwareImage& image) {
    if (!prepareController(session)) return;
    hid::pause(kCommandPauseMs);
    if (!transferImage(session, image)) return;
    restoreProtection(session);
    recordSuccess(session);
}

}  // namespace

void runUpdate() { runUpdate(firmwareImage); }

void runUpdate(FirmwareImage (*locateImage)()) {
    DeviceSession& session = appSession();
    if (!isOpen(session)) {
        failWith(kTextUnitNotDetected, kNotAvailable, hid::lastError());
        return;
    }
    if (askUser(kTextWarning, kTextWarningCaption, window::kBoxOkCancel) != window::kAnswerOk) {
        return;
    }
    if (installedIsNotOlder(escFirmwareVersion(session)) &&
        askUser(kTextOlderOrSame, kTextNewerFirmwareCaption, window::kBoxYesNo) !=
            window::kAnswerYes) {
        return;
    }
    const FirmwareImage image = locateImage();
    if (!isSendable(image)) {
        failWith(kTextUpdateFailedHint, kNotAvailable, hid::lastError());
        return;
    }
    // From the first command on: no sleep, no shutdown, and device notices only afterwards.
    window::blockSleepAndShutdown(loadText(kTextUpdateInProgress).chars);
    holdDeviceNotices();
    writeFirmware(session, image);
    window::allowSleepAndShutdown();
    releaseDeviceNotices();
}

void reportUpdateFailure(const wchar_t* text, const wchar_t* caption, ResultCode result,
                         std::uint32_t lastError) {
    window::allowSleepAndShutdown();  // nothing is written any more; the box may stay open long
    closeSession(appSession());
    window::enableControl(kUpdateButton, false);
    refreshVersionPanel();

    Text message;
    int length = -1;
    if (result != kNotAvailable) {
        const Text format = loadText(kTextErrorCodeLine);
        Text line;
        if (formatText(line.chars, kTextBufferSize, format.chars,
                       static_cast<std::uint32_t>(result), lastError) >= 0) {
            length = formatText(message.chars, kTextBufferSize, L"%s\r\n%s", text, line.chars);
        }
    }
    if (length < 0) formatText(message.chars, kTextBufferSize, L"%s", text);
    window::showMessageBox(message.chars, caption, window::kBoxOk | window::kIconError);

    setHintText(loadText(kTextUpdateFailedHint).chars);
}

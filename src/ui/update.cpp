// The update as the main window runs it: the confirmations, the checks before the first command,
// the progress window over the procedure, and the one report through which every failure passes.
#include "ui/update.h"

#include "device/session_log.h"
#include "flash/update_procedure.h"
#include "ui/app.h"
#include "ui/device_presence.h"
#include "ui/format_text.h"
#include "ui/resource_ids.h"
#include "ui/texts.h"
#include "ui/unit_state.h"
#include "ui/update_questions.h"
#include "ui/version_panel.h"
#include "ui/window.h"

namespace {

constexpr int kProgressWidth = 400;
constexpr int kProgressHeight = 50;

// The questions as warning boxes: OK/Cancel for the warning, Yes/No for the older-or-same one.
bool askInBox(void* /*context*/, UpdateQuestion question) {
    const bool yesNo = question == UpdateQuestion::olderOrSame;
    const unsigned buttons = yesNo ? window::kBoxYesNo : window::kBoxOkCancel;
    const int yes = yesNo ? window::kAnswerYes : window::kAnswerOk;
    return showTextBox(textOf(question), captionOf(question), buttons | window::kIconWarning) == yes;
}

// Ends the update with the failure report for text textId; error is the platform's last error
// as the failing step left it.
void failWith(std::uint16_t textId, ResultCode result, std::uint32_t error) {
    reportUpdateFailure(loadText(textId).chars, loadText(kTextUpdateFailedCaption).chars, result,
                        error);
}

bool& placeholderAccepted() {
    static bool accepted = false;
    return accepted;
}

// The unit that was ready when Update was pressed may have been pulled while a box was open, and
// another one opened since, identified or not: only the same opening goes on to be asked again.
bool isTheCheckedOpening(void* checkedOpening) {
    return appSessionOpening() == *static_cast<std::uint32_t*>(checkedOpening);
}

// Notices that arrive while the unit is identified again are handled after the update.
void holdNoticesWhileIdentifying(void* /*context*/, bool started) {
    if (started) {
        holdDeviceNotices();
    } else {
        releaseDeviceNotices();
    }
}

// The progress window during the transfer, and the foreground window that the z-order rule
// records.
struct ProgressWindow {
    window::WindowHandle handle = 0;
    window::WindowHandle recorded = 0;
};

// Centred on the main window and brought to the top with it.
void openProgressWindow(void* context) {
    auto* progress = static_cast<ProgressWindow*>(context);
    const window::Rect main = window::windowRect(window::mainWindow());
    const int x = main.left + ((main.right - main.left) >> 1) - kProgressWidth / 2;
    const int y = main.top + ((main.bottom - main.top) >> 1) - kProgressHeight / 2;
    progress->handle = window::createProgressWindow(loadText(kTextUpdateInProgress).chars, x, y,
                                                    kProgressWidth, kProgressHeight);
    window::setProgress(progress->handle, 0);
    window::bringToTop(window::mainWindow());
    window::bringToTop(progress->handle);
}

// Once during the transfer, when the user has come back to the updater, both windows are raised
// and shown again, so that the progress window is not left behind the main window.
void applyZOrderRule(ProgressWindow* progress) {
    const window::WindowHandle main = window::mainWindow();
    if (progress->recorded == main || progress->recorded == progress->handle) return;
    const window::WindowHandle foreground = window::foregroundWindow();
    if (foreground != main && foreground != progress->handle) return;
    progress->recorded = foreground;
    window::bringToTop(main);
    window::bringToTop(progress->handle);
    window::showWindow(main);
    window::showWindow(progress->handle);
}

void showBlockWritten(void* context, std::uint32_t percent) {
    auto* progress = static_cast<ProgressWindow*>(context);
    window::setProgress(progress->handle, percent);
    applyZOrderRule(progress);
    window::keepPainting();
}

void closeProgressWindow(void* context) {
    window::destroyWindow(static_cast<ProgressWindow*>(context)->handle);
}

void recordSuccess() {
    window::discardQueuedInput();  // keys typed during the writing must not act on the outcome
    appUnitView().escFirmwareVersion = imageFirmwareVersion;
    window::enableControl(kUpdateButton, false);
    refreshVersionPanel();
    setHintText(loadText(kTextUpdateSucceeded).chars);
}

}  // namespace

void acceptPlaceholderImage(bool accepted) { placeholderAccepted() = accepted; }

void runUpdate() { runUpdate(firmwareImage); }

void runUpdate(FirmwareImage (*locateImage)()) {
    DeviceSession& session = appSession();
    if (!isOpen(session)) {
        failWith(kTextUnitNotDetected, kNotAvailable, 0);
        return;
    }
    std::uint32_t checkedOpening = appSessionOpening();
    const UpdateQuestions questions{&checkedOpening, askInBox, isTheCheckedOpening,
                                    holdNoticesWhileIdentifying};
    const Confirmation confirmation = confirmUpdate(session, questions);
    if (confirmation == Confirmation::declined) return;
    if (confirmation == Confirmation::unitGone) {
        // As when the first command finds the unit gone: nothing is sent, no code to show.
        failWith(kTextLockFailed, kNotAvailable, 0);
        return;
    }
    appUnitView() = viewOf(session);  // what the user agreed to, as identified right now
    refreshVersionPanel();
    const FirmwareImage image = locateImage();
    if (!canBeSent(image, placeholderAccepted())) {
        failWith(kTextUpdateFailedHint, kNotAvailable, 0);
        return;
    }
    // From the first command on: no sleep, no shutdown, and device notices only afterwards.
    window::blockSleepAndShutdown(loadText(kTextUpdateInProgress).chars);
    holdDeviceNotices();
    ProgressWindow progressWindow;
    const UpdateProgress progress{&progressWindow, openProgressWindow, showBlockWritten,
                                  closeProgressWindow};
    const UpdateOutcome outcome = writeFirmware(session, image, progress);
    sessionlog::write();  // the log so far, before the outcome is shown
    if (outcome.succeeded) {
        recordSuccess();
    } else {
        failWith(failureTextOf(outcome.failedStep), outcome.result, outcome.lastError);
    }
    window::allowSleepAndShutdown();
    releaseDeviceNotices();
}

void reportUpdateFailure(const wchar_t* text, const wchar_t* caption, ResultCode result,
                         std::uint32_t lastError) {
    window::allowSleepAndShutdown();  // nothing is written any more; the box may stay open long
    window::discardQueuedInput();     // keys typed during the writing must not answer the box
    closeSession(appSession());
    window::enableControl(kUpdateButton, false);
    refreshVersionPanel();

    Text message;
    int length = -1;
    if (result != kNotAvailable) {
        Text line;
        if (formatText(line.chars, kTextBufferSize, loadText(kTextErrorCodeLine).chars,
                       static_cast<std::uint32_t>(result), lastError) >= 0) {
            length = formatText(message.chars, kTextBufferSize, L"%s\r\n%s", text, line.chars);
        }
    }
    if (length < 0) formatText(message.chars, kTextBufferSize, L"%s", text);
    window::showMessageBox(message.chars, caption, window::kBoxOk | window::kIconError);

    setHintText(loadText(kTextUpdateFailedHint).chars);
}

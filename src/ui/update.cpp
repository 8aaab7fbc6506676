// The update as the main window runs it: the confirmations, the checks before the first command,
// the progress window over the procedure, and the one report through which every failure passes.
#include "ui/update.h"

#include "device/session_log.h"
#include "flash/update_procedure.h"
#include "ui/app.h"
#include "ui/device_presence.h"
#include "engine/format_text.h"
#include "ui/resource_ids.h"
#include "ui/texts.h"
#include "engine/unit_state.h"
#include "engine/update_conversation.h"
#include "ui/version_panel.h"
#include "ui/window.h"

namespace {

constexpr int kProgressWidth = 400;
constexpr int kProgressHeight = 50;

// The questions as warning boxes: OK/Cancel for the warning, Yes/No for the older-or-same one.
bool askInBox(void* /*context*/, UpdateQuestion question) {
    const bool yesNo = question == UpdateQuestion::olderOrSame;
    const window::Box box = yesNo ? window::Box::warningYesNo : window::Box::warningOkCancel;
    const window::Answer yes = yesNo ? window::Answer::yes : window::Answer::ok;
    return showTextBox(textOf(question), captionOf(question), box) == yes;
}

bool& placeholderAccepted() {
    static bool accepted = false;
    return accepted;
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

// The window's side of the update.
struct WindowFace {
    std::uint32_t checkedGeneration = 0;  // the session's when Update was pressed on a ready unit
    ProgressWindow progress;
};

// The unit that was ready when Update was pressed may have been pulled while a box was open, and
// another one opened since, identified or not: only the same session generation goes on to be
// asked again.
bool isSameSession(void* context) {
    return sessionGeneration() == static_cast<WindowFace*>(context)->checkedGeneration;
}

// Notices that arrive while the unit is identified again are handled afterwards; the panel then
// shows the controller as it was found.
void holdNoticesWhileIdentifying(void* /*context*/) { holdDeviceNotices(); }

void showTheIdentifiedUnit(void* /*context*/) {
    appUnitView() = viewOf(appSession());
    refreshVersionPanel();
    releaseDeviceNotices();
}

// From the first command on: no sleep, no shutdown, and device notices only once the outcome has
// been shown.
void keepTheWritingUndisturbed(void* /*context*/) {
    window::blockSleepAndShutdown(loadText(kTextUpdateInProgress).chars);
    holdDeviceNotices();
}

void endTheUndisturbedWriting(void* /*context*/) {
    window::allowSleepAndShutdown();
    releaseDeviceNotices();
}

void reportInTheWindow(void* /*context*/, const UpdateReport& report) {
    if (report.succeeded) {
        recordSuccess();
        return;
    }
    reportUpdateFailure(loadText(report.textId).chars, loadText(kTextUpdateFailedCaption).chars,
                        report.hasErrorCodeLine ? report.result : kNotAvailable, report.lastError);
}

}  // namespace

void acceptPlaceholderImage(bool accepted) { placeholderAccepted() = accepted; }

void runUpdate() { runUpdate(firmwareImage); }

void runUpdate(FirmwareImage (*locateImage)()) {
    WindowFace window;
    window.checkedGeneration = sessionGeneration();
    UpdateFace face;
    face.context = &window;
    face.ask = askInBox;
    face.isSameSession = isSameSession;
    face.identifyingStarted = holdNoticesWhileIdentifying;
    face.identifyingEnded = showTheIdentifiedUnit;
    face.writingStarted = keepTheWritingUndisturbed;
    face.writingEnded = endTheUndisturbedWriting;
    face.progress =
        UpdateProgress{&window.progress, openProgressWindow, showBlockWritten, closeProgressWindow};
    face.report = reportInTheWindow;
    converseUpdate(appSession(), face, locateImage, placeholderAccepted());
}

void reportUpdateFailure(const wchar_t* text, const wchar_t* caption, ResultCode result,
                         std::uint32_t lastError) {
    window::allowSleepAndShutdown();  // nothing is written any more; the box may stay open long
    window::discardQueuedInput();     // keys typed during the writing must not answer the box
    closeSession(appSession());
    window::enableControl(kUpdateButton, false);
    refreshVersionPanel();

    UpdateReport report;
    report.hasErrorCodeLine = result != kNotAvailable;
    report.result = result;
    report.lastError = lastError;
    Text message;
    const int length = composeOutcome(message.chars, kTextBufferSize, report, text,
                                      loadText(kTextErrorCodeLine).chars, L"\r\n");
    // Support asks for the log after a failure: a box that names the failure also says when the
    // log of it is missing. A success or the end of the program says nothing of the log.
    const sessionlog::Log* log = appSession().log;
    if (log != nullptr && log->lost() && length >= 0) {
        Text withLoss;
        if (formatText(withLoss.chars, kTextBufferSize, L"%s\r\n\r\n%s", message.chars,
                       loadText(kTextLogNotWritten).chars) >= 0) {
            message = withLoss;
        }
    }
    window::showMessageBox(message.chars, caption, window::Box::error);

    setHintText(loadText(kTextUpdateFailedHint).chars);
}

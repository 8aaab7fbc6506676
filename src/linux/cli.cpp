#include "cli.h"

#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <istream>
#include <ostream>

#include "cli_log.h"
#include "cli_signals.h"
#include "cli_texts.h"
#include "device/device_session.h"
#include "flash/firmware_image.h"
#include "flash/update_procedure.h"
#include "terminal_progress.h"
#include "ui/app.h"
#include "ui/resource_ids.h"
#include "ui/unit_state.h"
#include "ui/update_questions.h"
#include "ui/version_labels.h"

namespace {

// Between polls of --wait.
constexpr std::uint32_t kWaitPollMs = 250;
// How long --wait lets a unit that came during the wait stay unopenable before it gives up:
// udev grants the user at the seat access to a new node only a moment after the node appears.
constexpr std::uint32_t kAccessSettleMs = 2000;
constexpr int kCaptionWidth = 20;
constexpr int kLabelWidth = 10;

int exitCodeOf(UnitState state) {
    switch (state) {
        case UnitState::ready: return kExitOk;
        case UnitState::notFound: return kExitNoUnit;
        default: return kExitNotReady;
    }
}

// A caption padded to its column, counted in characters rather than bytes.
std::string padded(const std::string& text, int width) {
    int characters = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) ++characters;
    }
    return text + std::string(characters < width ? width - characters : 0, ' ');
}

std::string rightAligned(const std::string& text, int width) {
    return std::string(static_cast<int>(text.size()) < width ? width - text.size() : 0, ' ') + text;
}

// The three rows of the Version panel as the window shows them: the open view for a ready unit,
// the closed view (the session is closed then) for every other state.
void printVersionRows(const DeviceSession& session, UnitState state, CliIo& io) {
    std::string row1Caption = catalogueUtf8(kTextRow1Caption, io.language);
    std::string labels[3] = {utf8(kClosedViewLabel), utf8(kClosedViewLabel),
                             utf8(kClosedViewLabel)};
    if (state == UnitState::ready) {
        const VersionLabels open = openViewLabels(viewOf(session));
        row1Caption = utf8(open.productName);
        labels[0] = utf8(open.unit);
        labels[1] = utf8(open.bootloader);
        labels[2] = utf8(open.controller);
    }
    const std::string captions[3] = {row1Caption, catalogueUtf8(kTextRow2Caption, io.language),
                                     catalogueUtf8(kTextRow3Caption, io.language)};
    for (int row = 0; row < 3; ++row) {
        io.out << padded(captions[row] + ":", kCaptionWidth)
               << rightAligned(labels[row], kLabelWidth) << '\n';
    }
}

// What the Hint box says in a state: the ready text alone (with the command that updates, where
// the update does not follow anyway), or the status, an empty line and the connection steps. An
// incompatible controller is named first, as the window's notice does.
void printHint(UnitState state, bool tellCommand, CliIo& io) {
    if (state == UnitState::ready) {
        io.out << readyText(io.language, tellCommand) << '\n';
        return;
    }
    if (state == UnitState::incompatibleController) {
        io.out << catalogueUtf8(kTextIncompatibleCaption, io.language) << '\n'
               << incompatibleNotice(io.language) << "\n\n";
    }
    io.out << catalogueUtf8(statusTextOf(state), io.language) << '\n'
           << '\n' << catalogueUtf8(kTextInstructions, io.language) << '\n';
}

// Why no unit was opened although one is there: this user may not open its node, or another
// program holds it. Any other failure to open one counts as no unit.
enum class Unavailable { no, notPermitted, inUse };

Unavailable unavailability(const DeviceSession& session, const UnitOpenFailure& failure) {
    if (isOpen(session) || failure.path.empty()) return Unavailable::no;
    if (failure.error == EACCES || failure.error == EPERM) return Unavailable::notPermitted;
    if (failure.error == EWOULDBLOCK || failure.error == EAGAIN) return Unavailable::inUse;
    return Unavailable::no;
}

// Opens and judges the unit, as the window's start-up probe does; with wait, polls until one is
// plugged in. A unit that is there but cannot be opened (*failure names it) ends the wait too:
// at once when it was there from the start, after kAccessSettleMs when it came meanwhile.
UnitState probe(DeviceSession& session, bool wait, UnitOpenFailure* failure, CliIo& io) {
    std::uint32_t unavailableMs = 0;
    for (bool first = true;; first = false) {
        const UnitState state = judgeUnit(openSession(session, failure), session);
        if (state != UnitState::notFound || !wait || !io.out) return state;
        if (unavailability(session, *failure) == Unavailable::no) {
            unavailableMs = 0;
        } else if (first || unavailableMs >= kAccessSettleMs) {
            return state;
        } else {
            unavailableMs += kWaitPollMs;
        }
        closeSession(session);
        if (first) io.out << cliText(CliText::waiting, io.language) << std::flush;
        hid::pause(kWaitPollMs);
    }
}

// The unit that could not be opened, named with the reason and what to do; nothing was sent.
int reportUnavailable(Unavailable why, const std::string& node, CliIo& io) {
    const CliText text = why == Unavailable::inUse ? CliText::unitInUse : CliText::unitNotPermitted;
    io.out << cliText(text, io.language, node);
    return kExitUnavailable;
}

int showState(DeviceSession& session, UnitState state, bool tellCommand, CliIo& io) {
    printVersionRows(session, state, io);
    io.out << '\n';
    printHint(state, tellCommand, io);
    return exitCodeOf(state);
}

// A question with its caption, on the terminal beside the progress even when the output goes to
// a file; yes only for an answer that starts with y (or j, in German).
bool confirmed(std::uint16_t captionId, std::uint16_t textId, bool answerYes, CliIo& io) {
    io.err << '\n'
           << catalogueUtf8(captionId, io.language) << '\n'
           << catalogueUtf8(textId, io.language) << '\n'
           << cliText(CliText::prompt, io.language) << std::flush;
    if (answerYes) {
        io.err << "y\n" << std::flush;
        return true;
    }
    std::string answer;
    if (!std::getline(io.in, answer)) {
        io.err << '\n' << std::flush;
        return false;
    }
    const char first = answer.empty() ? '\0' : answer[0];
    return first == 'y' || first == 'Y' ||
           (io.language == Language::german && (first == 'j' || first == 'J'));
}

// The failure report: the caption, the failed step's text, the error-code line unless the result
// is -1, and what to do now.
int reportFailure(std::uint16_t textId, ResultCode result, std::uint32_t lastError, CliIo& io) {
    io.out << '\n' << catalogueUtf8(kTextUpdateFailedCaption, io.language) << '\n';
    io.out << catalogueUtf8(textId, io.language) << '\n';
    if (result != kNotAvailable) {
        io.out << errorCodeLine(io.language, static_cast<std::uint32_t>(result), lastError) << '\n';
    }
    if (textId != kTextUpdateFailedHint) {
        io.out << '\n' << catalogueUtf8(kTextUpdateFailedHint, io.language) << '\n';
    }
    io.out << logFileLine(io.language);
    return kExitUpdateFailed;
}

struct Asking {
    bool answerYes;  // --yes
    CliIo* io;
};

bool askOnTerminal(void* context, UpdateQuestion question) {
    const auto* asking = static_cast<Asking*>(context);
    return confirmed(captionOf(question), textOf(question), asking->answerYes, *asking->io);
}

void progressStarting(void* bar) { static_cast<TerminalProgress*>(bar)->start(); }
void progressBlock(void* bar, std::uint32_t percent) {
    static_cast<TerminalProgress*>(bar)->show(percent);
}
void progressEnded(void* bar) { static_cast<TerminalProgress*>(bar)->finish(); }

// The notice of a signal held during the writing, as written from the handler: in the locale's
// character set, on a line of its own below a bar drawn in place.
std::string interruptionNotice(const CliIo& io) {
    const std::string notice = catalogueUtf8(kTextUpdateInProgress, io.language) + '\n';
    return inLocaleCharset(io.barColumns ? '\n' + notice : notice);
}

// The update on the checked unit: the procedure under the progress bar with the signals held,
// then its outcome, told while a reader gone from the output still ends nothing.
int write(DeviceSession& session, const FirmwareImage& image, CliIo& io) {
    TerminalProgress bar(io.err, io.barColumns);
    const UpdateProgress told{&bar, progressStarting, progressBlock, progressEnded};
    WritingSignals signals(interruptionNotice(io), io.noticeFd);
    const UpdateOutcome outcome = writeFirmware(session, image, told);
    signals.writingEnded();
    int code = kExitOk;
    if (outcome.succeeded) {
        io.out << '\n' << catalogueUtf8(kTextUpdateSucceeded, io.language) << '\n';
    } else {
        code = reportFailure(failureTextOf(outcome.failedStep), outcome.result, outcome.lastError,
                             io);
    }
    io.out.flush();
    io.err.flush();
    return code;
}

// The update: the unit judged and shown, the questions, the check right before the first
// command, then the writing (*wrote set as it begins).
int update(bool answerYes, bool wait, CliIo& io, bool* wrote) {
    DeviceSession session;
    UnitOpenFailure failure;
    const UnitState state = probe(session, wait, &failure, io);
    const Unavailable why = unavailability(session, failure);
    if (why != Unavailable::no) return reportUnavailable(why, failure.path, io);
    const int shown = showState(session, state, false, io);
    if (state != UnitState::ready || !io.out.flush()) {
        closeSession(session);
        return shown;
    }
    Asking asking{answerYes, &io};
    const UpdateQuestions questions{&asking, askOnTerminal, nullptr, nullptr};
    const Confirmation confirmation = confirmUpdate(session, questions);
    if (confirmation == Confirmation::declined) {
        closeSession(session);
        io.out << cliText(CliText::declined, io.language);
        return kExitDeclined;
    }
    if (confirmation == Confirmation::unitGone) {
        // Identified once more right before the first command: no longer a ready unit. Linux
        // gives no notice of a unit swapped while a question was open.
        closeSession(session);
        reportFailure(kTextLockFailed, kNotAvailable, 0, io);
        return kExitNotReady;
    }
    const FirmwareImage image = firmwareImage();
    if (!canBeSent(image, io.acceptPlaceholder)) {
        closeSession(session);
        return reportFailure(kTextUpdateFailedHint, kNotAvailable, 0, io);
    }
    *wrote = true;
    const int result = write(session, image, io);
    closeSession(session);
    return result;
}

int status(CliIo& io) {
    DeviceSession session;
    UnitOpenFailure failure;
    const UnitState state = probe(session, false, &failure, io);
    const Unavailable why = unavailability(session, failure);
    if (why != Unavailable::no) return reportUnavailable(why, failure.path, io);
    const int code = showState(session, state, true, io);
    closeSession(session);
    return code;
}

int usage(const std::string& what, CliIo& io) {
    io.err << "terval-updater-cli: " << what << '\n' << cliText(CliText::usage, io.language);
    return kExitUsage;
}

int runCommand(const std::vector<std::string>& arguments, CliIo& io, bool* wrote) {
    if (arguments.empty()) return usage("?", io);
    const std::string& command = arguments[0];
    if (command == "--help" || command == "-h") {
        io.out << cliText(CliText::help, io.language);
        return kExitOk;
    }
    if (command == "--version") {
        wchar_t title[kTitleBufferSize];
        buildWindowTitle(title, kTitleBufferSize);
        io.out << "terval-updater-cli 1.0\n" << utf8(title) << '\n';
        return kExitOk;
    }
    if (command == "status") {
        if (arguments.size() > 1) return usage(arguments[1], io);
        return status(io);
    }
    if (command == "update") {
        bool answerYes = false;
        bool wait = false;
        for (std::size_t i = 1; i < arguments.size(); ++i) {
            if (arguments[i] == "--yes" || arguments[i] == "-y") {
                answerYes = true;
            } else if (arguments[i] == "--wait") {
                wait = true;
            } else {
                return usage(arguments[i], io);
            }
        }
        return update(answerYes, wait, io, wrote);
    }
    return usage(command, io);
}

}  // namespace

int runCli(const std::vector<std::string>& arguments, CliIo& io) {
    std::vector<std::string> rest = arguments;
    std::string logFile;
    if (!takeLogOption(&rest, &logFile)) return usage("--log", io);
    startCliLog(logFile);
    bool wrote = false;
    const int code = runCommand(rest, io, &wrote);
    finishCliLog(code);
    if (wrote || io.out.flush()) return code;
    io.err << cliText(CliText::outputFailed, io.language) << std::flush;
    return kExitOutputFailed;
}

Language languageFromLocale(const char* lcAll, const char* lcMessages, const char* lang) {
    for (const char* locale : {lcAll, lcMessages, lang}) {
        if (locale == nullptr || *locale == '\0') continue;
        return locale[0] == 'd' && locale[1] == 'e' ? Language::german : Language::english;
    }
    return Language::english;
}

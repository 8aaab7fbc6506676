#include "cli.h"

#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <istream>
#include <ostream>

#include "cli_log.h"
#include "cli_parts.h"
#include "cli_signals.h"
#include "cli_texts.h"
#include "cli_units.h"
#include "device/device_session.h"
#include "device/session_log.h"
#include "flash/firmware_image.h"
#include "flash/update_procedure.h"
#include "engine/program_title.h"
#include "engine/text_ids.h"
#include "engine/unit_state.h"
#include "engine/update_conversation.h"
#include "engine/version_labels.h"

// The helpers of this file are in namespace cli: those that the several units' code shares are
// declared in cli_parts.h.
namespace cli {

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

VersionRows shownRows(const DeviceSession& session, UnitState state) {
    const UnitView view = viewOf(session);
    return versionRowsOf(state == UnitState::ready ? &view : nullptr);
}

// The three rows of the Version panel as the window shows them, under row 1's caption.
void printVersionRows(const DeviceSession& session, UnitState state, CliIo& io) {
    const VersionRows rows = shownRows(session, state);
    const std::string captions[3] = {
        rows.row1Name != nullptr ? utf8(rows.row1Name)
                                 : catalogueUtf8(kTextRow1Caption, io.language),
        catalogueUtf8(kTextRow2Caption, io.language), catalogueUtf8(kTextRow3Caption, io.language)};
    for (int row = 0; row < 3; ++row) {
        io.out << padded(captions[row] + ":", kCaptionWidth)
               << rightAligned(utf8(rows.labels[row]), kLabelWidth) << '\n';
    }
}

// What the Hint box says in a state: the ready text alone (with the command that updates, where
// the update does not follow anyway), or the status, an empty line and the connection steps. An
// incompatible controller is named first, as the window's notice does.
void printHint(UnitState state, bool tellCommand, CliIo& io) {
    const HintTexts hint = hintTextsOf(state);
    if (hint.incompatibleNotice) {
        io.out << catalogueUtf8(kTextIncompatibleCaption, io.language) << '\n'
               << incompatibleNotice(io.language) << "\n\n";
    }
    if (!hint.connectionSteps) {
        io.out << readyText(io.language, tellCommand) << '\n';
        return;
    }
    io.out << catalogueUtf8(hint.status, io.language) << '\n'
           << '\n'
           << catalogueUtf8(kTextInstructions, io.language) << '\n';
}

Unavailable unavailability(const DeviceSession& session, const UnitOpenFailure& failure) {
    if (isOpen(session) || failure.path.empty()) return Unavailable::no;
    if (failure.error == EACCES || failure.error == EPERM) return Unavailable::notPermitted;
    if (failure.error == EWOULDBLOCK || failure.error == EAGAIN) return Unavailable::inUse;
    return Unavailable::no;
}

// Opens and judges the unit (the first found, or only `only`), as the window's start-up probe
// does; with wait, polls until one is plugged in. A unit that is there but cannot be opened
// (*failure names it) ends the wait too: at once when it was there from the start, after
// kAccessSettleMs when it came meanwhile. The wait for a unit has no bound, as asked for: nothing
// has been sent, each poll is short, and Ctrl-C ends it (an output that fails, too).
UnitState probe(DeviceSession& session, bool wait, UnitOpenFailure* failure, CliIo& io,
                const hid::DeviceInfo* only = nullptr) {
    std::uint32_t unavailableMs = 0;
    for (bool first = true;; first = false) {
        const ResultCode opened =
            only != nullptr ? openUnit(session, *only, failure) : openSession(session, failure);
        const UnitState state = judgeUnit(opened, session);
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
        session.clock->pause(kWaitPollMs);
    }
}

std::string unavailableText(Unavailable why, const std::string& node, Language language) {
    const CliText text = why == Unavailable::inUse ? CliText::unitInUse : CliText::unitNotPermitted;
    return cliText(text, language, node);
}

// The unit that could not be opened, named with the reason and what to do; nothing was sent.
int reportUnavailable(Unavailable why, const std::string& node, CliIo& io) {
    io.out << unavailableText(why, node, io.language);
    return kExitUnavailable;
}

int showState(DeviceSession& session, UnitState state, bool tellCommand, CliIo& io) {
    printVersionRows(session, state, io);
    io.out << '\n';
    printHint(state, tellCommand, io);
    return exitCodeOf(state);
}

// The questions come before the writing (of every unit): the wait for the terminal and for the
// answer needs no bound, as nothing has been sent, an input that ends answers no, and Ctrl-C still
// ends the program.
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
    io.out << logFileLine(io.link.log, io.language);
    return kExitUpdateFailed;
}

// The terminal's side of the update. The conversation runs on a thread of its own (runWritings)
// while this program's first thread draws the bar: a terminal that takes no output stops the
// drawing, never the writing. The outcome is kept and told once that thread has ended.
struct TerminalFace {
    TerminalFace(CliIo& io, bool answerYes, bool* wrote)
        : io(io), answerYes(answerYes), wrote(wrote), bar(io.err, io.barColumns, {""}, nullptr) {}

    CliIo& io;
    bool answerYes;  // --yes
    bool* wrote;     // set once the first command goes out
    UnitsProgress bar;
    std::optional<WritingSignals> signals;
    std::optional<UpdateReport> report;
};

bool askOnTerminal(void* context, UpdateQuestion question) {
    auto* face = static_cast<TerminalFace*>(context);
    return confirmed(captionOf(question), textOf(question), face->answerYes, face->io);
}

void progressStarting(void* bar) { static_cast<UnitsProgress*>(bar)->start(0); }
void progressBlock(void* bar, std::uint32_t percent) {
    static_cast<UnitsProgress*>(bar)->show(0, percent);
}
void progressEnded(void* bar) { static_cast<UnitsProgress*>(bar)->finish(0); }

// The notice of a signal held during the writing, as written from the handler: in the locale's
// character set, on a line of its own below a bar drawn in place.
std::string interruptionNotice(const CliIo& io) {
    const std::string notice = catalogueUtf8(kTextUpdateInProgress, io.language) + '\n';
    return inLocaleCharset(io.barColumns ? '\n' + notice : notice);
}

// From the first command the signals are held, until the outcome has been told (tellOutcome).
void holdSignalsWhileWriting(void* context, bool started) {
    auto* face = static_cast<TerminalFace*>(context);
    if (!started) return;
    *face->wrote = true;
    face->signals.emplace(interruptionNotice(face->io), face->io.noticeFd);
}

void keepReport(void* context, const UpdateReport& report) {
    static_cast<TerminalFace*>(context)->report = report;
}

// The outcome, once the lock has been released: these writes may wait for the terminal, as
// nothing is sent any more. A reader gone from the output still ends nothing meanwhile; then the
// signals act as before.
void tellOutcome(TerminalFace& face) {
    CliIo& io = face.io;
    if (face.report && face.report->succeeded) {
        io.out << '\n' << catalogueUtf8(face.report->textId, io.language) << '\n';
    } else if (face.report) {
        reportFailure(face.report->textId,
                      face.report->hasErrorCodeLine ? face.report->result : kNotAvailable,
                      face.report->lastError, io);
    }
    if (!face.signals) return;
    io.out.flush();
    io.err.flush();
    face.signals->writingEnded();
}

int exitCodeOf(UpdateEnd end) {
    switch (end) {
        case UpdateEnd::succeeded: return kExitOk;
        case UpdateEnd::declined: return kExitDeclined;
        // Identified once more right after the questions: no longer a ready unit. Linux gives
        // no notice of a unit swapped while a question was open.
        case UpdateEnd::unitGone: return kExitNotReady;
        // Not on Linux, where the node is kept as opened (locked) for the update.
        case UpdateEnd::unitInUse: return kExitUnavailable;
        case UpdateEnd::failed: break;
    }
    return kExitUpdateFailed;
}

// The update: the unit judged and shown, then the conversation of the update on the terminal
// (*wrote set as the writing begins). Several units need a choice: one (--device) or all that
// are ready (--all).
int update(const UnitChoice& choice, bool answerYes, bool wait, CliIo& io, bool* wrote) {
    std::vector<hid::DeviceInfo> units;
    if (!chosenUnits(io.link.backend, choice, &units))
        return usage(notAUnitNode(choice.device, io.language), io);
    if (units.size() > 1 && choice.all) {
        // The run's log records one unit's session: the units updated side by side go unlogged.
        if (io.link.log != nullptr) io.link.log->stop();
        return updateEveryReadyUnit(units, answerYes, io, wrote);
    }
    if (units.size() > 1) return refuseWithoutChoice(units, answerYes, io);
    DeviceSession session(io.link);
    UnitOpenFailure failure;
    const UnitState state =
        probe(session, wait, &failure, io, choice.device.empty() ? nullptr : &units.front());
    const Unavailable why = unavailability(session, failure);
    if (why != Unavailable::no) return reportUnavailable(why, failure.path, io);
    const int shown = showState(session, state, false, io);
    if (state != UnitState::ready || !io.out.flush()) {
        closeSession(session);
        return shown;
    }
    TerminalFace terminal(io, answerYes, wrote);
    UpdateFace face;
    face.context = &terminal;
    face.ask = askOnTerminal;
    face.writing = holdSignalsWhileWriting;
    face.progress = UpdateProgress{&terminal.bar, progressStarting, progressBlock, progressEnded};
    face.report = keepReport;
    UpdateEnd end = UpdateEnd::failed;
    runWritings({[&] {
                    end = converseUpdate(session, face, firmwareImage, io.acceptPlaceholder);
                    terminal.bar.ended(0);
                }},
                terminal.bar, io);
    tellOutcome(terminal);
    closeSession(session);
    if (end == UpdateEnd::declined) io.out << cliText(CliText::declined, io.language);
    return exitCodeOf(end);
}

// The unit's state; with several, each one's. --json: every unit's as JSON, whatever their number.
int status(const UnitChoice& choice, CliIo& io) {
    std::vector<hid::DeviceInfo> units;
    if (!chosenUnits(io.link.backend, choice, &units))
        return usage(notAUnitNode(choice.device, io.language), io);
    if (choice.json) return statusAsJson(units, io);
    if (units.size() > 1) return statusOfUnits(units, io);
    DeviceSession session(io.link);
    UnitOpenFailure failure;
    const UnitState state =
        probe(session, false, &failure, io, choice.device.empty() ? nullptr : &units.front());
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
        buildProgramTitle(title, kTitleBufferSize);
        io.out << "terval-updater-cli 1.0\n" << utf8(title) << '\n';
        return kExitOk;
    }
    if (command == "status") {
        UnitChoice choice;
        for (std::size_t i = 1; i < arguments.size(); ++i) {
            if (arguments[i] == "--json") {
                choice.json = true;
            } else if (!takeUnitChoice(arguments, &i, &choice) || choice.all) {
                return usage(arguments[i], io);
            }
        }
        return status(choice, io);
    }
    if (command == "update") {
        bool answerYes = false;
        bool wait = false;
        UnitChoice choice;
        for (std::size_t i = 1; i < arguments.size(); ++i) {
            if (arguments[i] == "--yes" || arguments[i] == "-y") {
                answerYes = true;
            } else if (arguments[i] == "--wait") {
                wait = true;
            } else if (!takeUnitChoice(arguments, &i, &choice)) {
                return usage(arguments[i], io);
            }
        }
        return update(choice, answerYes, wait, io, wrote);
    }
    return usage(command, io);
}

}  // namespace cli

int runCli(const std::vector<std::string>& arguments, CliIo& io) {
    std::vector<std::string> rest = arguments;
    std::string logFile;
    if (!takeLogOption(&rest, &logFile)) return cli::usage("--log", io);
    sessionlog::Log log;
    startCliLog(log, logFile, io.link.clock);
    sessionlog::Log* const given = io.link.log;
    io.link.log = &log;
    bool wrote = false;
    const int code = cli::runCommand(rest, io, &wrote);
    io.link.log = given;
    const std::string logLost = finishCliLog(log, code, io.language);
    if (!logLost.empty()) io.err << logLost << std::flush;  // the exit code stays the run's
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

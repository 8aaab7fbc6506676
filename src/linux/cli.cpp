#include "cli.h"

#include <memory>
#include <ostream>

#include "cli_arguments.h"
#include "cli_log.h"
#include "cli_texts.h"
#include "cli_units.h"
#include "cli_update.h"
#include "device/device_session.h"
#include "device/session_log.h"
#include "engine/program_title.h"
#include "engine/text_ids.h"
#include "engine/unit_state.h"

namespace cli {
namespace {

// Between polls of --wait.
constexpr std::uint32_t kWaitPollMs = 250;
// How long --wait lets a unit that came during the wait stay unopenable before it gives up:
// udev grants the user at the seat access to a new node only a moment after the node appears.
constexpr std::uint32_t kAccessSettleMs = 2000;

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
        if (unavailability(session, *failure) == Unavailable::none) {
            unavailableMs = 0;
        } else if (first || unavailableMs >= kAccessSettleMs) {
            return state;
        } else {
            unavailableMs += kWaitPollMs;
        }
        closeSession(session);
        if (first) io.out << catalogueUtf8(kTextWaitingForUnit, io.language) << std::flush;
        session.clock->pause(kWaitPollMs);
    }
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

// The command line not understood: what, and the usage; kExitUsage.
int usage(const std::string& what, CliIo& io) {
    io.err << "terval-updater-cli: " << what << '\n' << catalogueUtf8(kTextUsage, io.language);
    return kExitUsage;
}

// update --all: each unit's session records into a log of its own, named after its node, so that
// the units written side by side each leave theirs; the run's own log records none of them.
int updateAll(const std::vector<hid::DeviceInfo>& units, const CommandLine& line, CliIo& io,
              bool* wrote) {
    if (io.link.log != nullptr) io.link.log->stop();
    std::vector<std::unique_ptr<sessionlog::Log>> logs;
    FoundUnits found;
    for (const hid::DeviceInfo& node : units) {
        logs.push_back(std::make_unique<sessionlog::Log>());
        startUnitLog(*logs.back(), line.logFile, node.path, io.link.clock);
        found.push_back(judgedUnit(node, {io.link.backend, io.link.clock, logs.back().get()}));
    }
    const int code = updateEveryReadyUnit(found, line.answerYes, io, wrote);
    for (const auto& log : logs) {
        const std::string logLost = finishCliLog(*log, code, io.language);
        if (!logLost.empty()) io.err << logLost << std::flush;  // said once
    }
    return code;
}

// The update: the unit judged and shown, then the conversation of the update on the terminal
// (*wrote set as the writing begins). Several units need a choice: one (--device) or all that
// are ready (--all).
int update(const CommandLine& line, CliIo& io, bool* wrote) {
    std::vector<hid::DeviceInfo> units;
    if (!chosenUnits(io.link.backend, line.device, &units)) {
        return usage(notAUnitNode(line.device, io.language), io);
    }
    if (units.size() > 1 && line.all) return updateAll(units, line, io, wrote);
    if (units.size() > 1) return refuseWithoutChoice(units, line.answerYes, io);
    FoundUnit unit(io.link);
    UnitOpenFailure failure;
    unit.state = probe(unit.session, line.wait, &failure, io,
                       line.device.empty() ? nullptr : &units.front());
    const Unavailable why = unavailability(unit.session, failure);
    if (why != Unavailable::none) return reportUnavailable(why, failure.path, io);
    const int shown = showState(unit.session, unit.state, false, io);
    if (unit.state != UnitState::ready || !io.out.flush()) {
        closeSession(unit.session);
        return shown;
    }
    return updateOneUnit(unit, line.answerYes, io, wrote);
}

// The unit's state; with several, each one's. --json: every unit's as JSON, whatever their number.
int status(const CommandLine& choice, CliIo& io) {
    std::vector<hid::DeviceInfo> units;
    if (!chosenUnits(io.link.backend, choice.device, &units)) {
        return usage(notAUnitNode(choice.device, io.language), io);
    }
    if (choice.json) return statusAsJson(units, io);
    if (units.size() > 1) return statusOfUnits(units, io);
    DeviceSession session(io.link);
    UnitOpenFailure failure;
    const UnitState state =
        probe(session, false, &failure, io, choice.device.empty() ? nullptr : &units.front());
    const Unavailable why = unavailability(session, failure);
    if (why != Unavailable::none) return reportUnavailable(why, failure.path, io);
    const int code = showState(session, state, true, io);
    closeSession(session);
    return code;
}

int runCommand(const CommandLine& line, CliIo& io, bool* wrote) {
    switch (line.command) {
        case CommandLine::Command::help:
            io.out << catalogueUtf8(kTextHelp, io.language);
            return kExitOk;
        case CommandLine::Command::version: {
            wchar_t title[kTitleBufferSize];
            buildProgramTitle(title, kTitleBufferSize);
            io.out << "terval-updater-cli " << programVersion() << '\n' << utf8(title) << '\n';
            return kExitOk;
        }
        case CommandLine::Command::status: return status(line, io);
        case CommandLine::Command::update: return update(line, io, wrote);
    }
    return kExitUsage;
}

}  // namespace
}  // namespace cli

int runCli(const std::vector<std::string>& arguments, CliIo& io) {
    const CommandLine line = readCommandLine(arguments);
    bool wrote = false;
    int code = kExitUsage;
    if (!line.notUnderstood.empty()) {
        cli::usage(line.notUnderstood, io);
    } else {
        sessionlog::Log log;
        startCliLog(log, line.logFile, io.link.clock);
        sessionlog::Log* const given = io.link.log;
        io.link.log = &log;
        code = cli::runCommand(line, io, &wrote);
        io.link.log = given;
        const std::string logLost = finishCliLog(log, code, io.language);
        if (!logLost.empty()) io.err << logLost << std::flush;  // the exit code stays the run's
    }
    if (wrote || io.out.flush()) return code;
    io.err << catalogueUtf8(kTextOutputFailed, io.language) << std::flush;
    return kExitOutputFailed;
}

Language languageFromLocale(const char* lcAll, const char* lcMessages, const char* lang) {
    for (const char* locale : {lcAll, lcMessages, lang}) {
        if (locale == nullptr || *locale == '\0') continue;
        return locale[0] == 'd' && locale[1] == 'e' ? Language::german : Language::english;
    }
    return Language::english;
}

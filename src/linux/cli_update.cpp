#include "cli_update.h"

#include <algorithm>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "cli_log.h"
#include "cli_signals.h"
#include "cli_texts.h"
#include "engine/text_ids.h"
#include "engine/update_conversation.h"
#include "flash/firmware_image.h"
#include "units_progress.h"

namespace cli {
namespace {

struct TerminalUpdate;

// One unit's side of the update on the terminal: its name where several are updated, its line of
// the progress, and the report of its end.
struct TerminalUnit {
    TerminalUpdate* update = nullptr;
    std::string name;   // empty for the update of one unit
    std::string label;  // of its progress line: its node; empty for the update of one unit
    std::size_t line = 0;
    std::optional<UpdateReport> report;
};

// The terminal's side of the whole update. Its writings run on threads of their own
// (runOnThreads) while this program's first thread draws the progress: a terminal that takes no
// output stops the drawing, never a writing. The reports are kept and told once every writing
// has ended.
struct TerminalUpdate {
    CliIo& io;
    bool answerYes;  // --yes
    bool* wrote;     // set once the first command goes out
    bool several;    // the units are named, and their lines drawn as one block
    std::optional<UnitsProgress> progress;
    std::optional<WritingSignals> signals;
    std::vector<TerminalUnit> units;
};

// A question with its caption, on the terminal beside the progress even when the output goes to
// a file; yes only for an answer that starts with y (or j, in German). The questions come before
// the writing (of every unit): the wait for the terminal and for the answer needs no bound, as
// nothing has been sent, an input that ends answers no, and Ctrl-C still ends the program.
bool confirmed(UpdateQuestion question, bool answerYes, CliIo& io) {
    io.err << '\n'
           << catalogueUtf8(captionOf(question), io.language) << '\n'
           << catalogueUtf8(textOf(question), io.language) << '\n'
           << catalogueUtf8(kTextPrompt, io.language) << std::flush;
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

bool askAboutEveryUnit(void* context, UpdateQuestion question) {
    auto* update = static_cast<TerminalUpdate*>(context);
    return confirmed(question, update->answerYes, update->io);
}

// A question about one unit, named before it where there are several.
bool askAboutUnit(void* context, UpdateQuestion question) {
    auto* unit = static_cast<TerminalUnit*>(context);
    CliIo& io = unit->update->io;
    if (!unit->name.empty()) io.err << '\n' << unit->name << ':';
    return confirmed(question, unit->update->answerYes, io);
}

void progressStarting(void* context) {
    auto* unit = static_cast<TerminalUnit*>(context);
    unit->update->progress->start(unit->line);
}

void progressBlock(void* context, std::uint32_t percent) {
    auto* unit = static_cast<TerminalUnit*>(context);
    unit->update->progress->show(unit->line, percent);
}

void progressEnded(void* context) {
    auto* unit = static_cast<TerminalUnit*>(context);
    unit->update->progress->finish(unit->line);
}

void keepReport(void* context, const UpdateReport& report) {
    static_cast<TerminalUnit*>(context)->report = report;
}

// From the first command on the signals are held, until the outcome has been told. The notice of
// one, as written from the handler, is in the locale's character set; below one unit's bar drawn
// in place it starts a line of its own, while several units' lines are drawn anew below it.
void holdSignals(TerminalUpdate& update) {
    if (update.signals) return;
    *update.wrote = true;
    std::string notice = catalogueUtf8(kTextUpdateInProgress, update.io.language) + '\n';
    if (update.io.barColumns && !update.several) notice = '\n' + notice;
    update.signals.emplace(inLocaleCharset(notice), update.io.noticeFd);
}

void holdSignalsForUnit(void* context) {
    holdSignals(*static_cast<TerminalUnit*>(context)->update);
}
void holdSignalsForAll(void* context) { holdSignals(*static_cast<TerminalUpdate*>(context)); }

// One thread for each writing, which takes none of the held signals, so that the notice of one
// comes on this thread, which draws the progress meanwhile. Tests in virtual time run them through
// io.runUpdates instead, one after the other on this thread, which then draws at once.
void runOnThreads(void* context, const std::vector<UnitUpdate*>& agreed,
                  const std::function<void(UnitUpdate&)>& write) {
    auto* update = static_cast<TerminalUpdate*>(context);
    std::vector<std::string> labels;
    for (std::size_t i = 0; i < agreed.size(); ++i) {
        auto* unit = static_cast<TerminalUnit*>(agreed[i]->face.context);
        unit->line = i;
        labels.push_back(unit->label);
    }
    update->progress.emplace(update->io.err, update->io.barColumns, labels,
                             update->several ? WritingSignals::noticeGiven : nullptr);
    std::vector<std::function<void()>> writings;
    for (UnitUpdate* unit : agreed) {
        writings.push_back([update, unit, &write] {
            write(*unit);
            update->progress->ended(static_cast<TerminalUnit*>(unit->face.context)->line);
        });
    }
    if (update->io.runUpdates) {
        update->io.runUpdates(writings);
        return;
    }
    std::vector<std::thread> threads;
    {
        const WritingSignals::HeldOff heldOff;  // the threads started meanwhile inherit it
        for (const auto& writing : writings) threads.emplace_back(writing);
    }
    update->progress->follow([](const std::function<void()>& draw) {
        const WritingSignals::HeldOff heldOff;  // a notice never lands between look and write
        draw();
    });
    for (std::thread& thread : threads) thread.join();  // each has told its end: at once
}

// The conversation of the engine on the terminal, with the session of each unit found ready (all
// of them named where there are several). The reports are kept in update.units.
bool converse(TerminalUpdate& update, const std::vector<FoundUnit*>& ready,
              std::vector<UnitUpdate>* ends) {
    update.units.resize(ready.size());
    ends->resize(ready.size());
    for (std::size_t i = 0; i < ready.size(); ++i) {
        TerminalUnit& unit = update.units[i];
        unit.update = &update;
        if (update.several) {
            unit.name = unitName(ready[i]->node);
            unit.label = ready[i]->node.path;
        }
        UnitUpdate& end = (*ends)[i];
        end.session = &ready[i]->session;
        end.face.context = &unit;
        end.face.ask = askAboutUnit;
        end.face.progress = UpdateProgress{&unit, progressStarting, progressBlock, progressEnded};
        end.face.report = keepReport;
        if (!update.several) end.face.writingStarted = holdSignalsForUnit;
    }
    UpdatesFace face;
    face.context = &update;
    face.asking = update.several ? Asking::warningOnceForAll : Asking::perUnit;
    face.askAll = askAboutEveryUnit;
    if (update.several) face.writingStarted = holdSignalsForAll;
    face.runWritings = runOnThreads;
    return converseUpdates(*ends, face, firmwareImage, update.io.acceptPlaceholder);
}

// An outcome's text with its error-code line after separator.
std::string outcomeText(const UpdateReport& report, Language language, const wchar_t* separator) {
    wchar_t text[kTextBufferSize];
    if (composeOutcome(text, kTextBufferSize, report,
                       catalogueWide(report.textId, language).c_str(),
                       catalogueWide(kTextErrorCodeLine, language).c_str(), separator) < 0) {
        return catalogueUtf8(report.textId, language);
    }
    return utf8(text);
}

// After the outcomes: the advice to try again, once, where a failure asks for it.
void adviseAfterFailures(const std::vector<TerminalUnit>& units, CliIo& io) {
    if (std::any_of(units.begin(), units.end(), [](const TerminalUnit& unit) {
            return unit.report && adviceFollows(*unit.report);
        })) {
        io.out << '\n' << catalogueUtf8(kTextUpdateFailedHint, io.language) << '\n';
    }
}

// The writing is over: these writes may wait for the terminal, as nothing is sent any more. A
// reader gone from the output still ends nothing meanwhile; then the signals act as before.
void endHeldSignals(TerminalUpdate& update) {
    if (!update.signals) return;
    update.io.out.flush();
    update.io.err.flush();
    update.signals->writingEnded();
}

bool failed(UpdateEnd end) { return end != UpdateEnd::succeeded && end != UpdateEnd::declined; }

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

}  // namespace

int updateOneUnit(FoundUnit& unit, bool answerYes, CliIo& io, bool* wrote) {
    TerminalUpdate update{io, answerYes, wrote, false, {}, {}, {}};
    std::vector<UnitUpdate> ends;
    converse(update, {&unit}, &ends);
    const std::optional<UpdateReport>& report = update.units.front().report;
    if (report && report->succeeded) {
        io.out << '\n' << catalogueUtf8(report->textId, io.language) << '\n';
    } else if (report) {
        io.out << '\n'
               << catalogueUtf8(kTextUpdateFailedCaption, io.language) << '\n'
               << outcomeText(*report, io.language, L"\n") << '\n';
        adviseAfterFailures(update.units, io);
        io.out << logFileLine(io.link.log, io.language);
    }
    endHeldSignals(update);
    closeSession(unit.session);
    const UpdateEnd end = ends.front().end;
    if (end == UpdateEnd::declined) io.out << catalogueUtf8(kTextUpdateNotStarted, io.language);
    return exitCodeOf(end);
}

int updateEveryReadyUnit(FoundUnits& found, bool answerYes, CliIo& io, bool* wrote) {
    printUnits(found, io);
    std::vector<FoundUnit*> ready;
    for (const auto& unit : found) {
        if (isReady(*unit)) ready.push_back(unit.get());
    }
    if (ready.empty()) io.out << '\n' << catalogueUtf8(kTextNoUnitReady, io.language);
    if (ready.empty() || !io.out.flush()) {
        closeAll(found);
        return ready.empty() ? firstUnitsExitCode(found) : kExitOutputFailed;
    }
    TerminalUpdate update{io, answerYes, wrote, true, {}, {}, {}};
    std::vector<UnitUpdate> ends;
    if (!converse(update, ready, &ends)) {
        closeAll(found);
        io.out << catalogueUtf8(kTextUpdateNotStarted, io.language);
        return kExitDeclined;
    }
    // One line per unit: its outcome, or that it was not ready; then what to do after a failure.
    io.out << '\n';
    std::size_t next = 0;
    for (const auto& unit : found) {
        io.out << unitName(unit->node) << ": ";
        if (!isReady(*unit)) {
            io.out << catalogueUtf8(kTextNotReadyLeftAlone, io.language) << '\n';
            continue;
        }
        const std::optional<UpdateReport>& report = update.units[next++].report;
        io.out << (report ? outcomeText(*report, io.language, L" ")
                          : withoutLastLineFeed(catalogueUtf8(kTextUpdateNotStarted, io.language)))
               << '\n';
    }
    adviseAfterFailures(update.units, io);
    // Each failed unit's log, named.
    for (std::size_t i = 0; i < ready.size(); ++i) {
        const std::optional<UpdateReport>& report = update.units[i].report;
        const std::string logLine = report && !report->succeeded
                                        ? logFileLine(ready[i]->session.log, io.language)
                                        : std::string();
        if (!logLine.empty()) io.out << unitName(ready[i]->node) << ": " << logLine;
    }
    endHeldSignals(update);
    closeAll(found);
    const auto endsIn = [&](auto is) {
        return std::any_of(ends.begin(), ends.end(),
                           [&](const UnitUpdate& unit) { return is(unit.end); });
    };
    if (!endsIn([](UpdateEnd end) { return end != UpdateEnd::declined; })) return kExitDeclined;
    return endsIn(failed) ? kExitUpdateFailed : kExitOk;
}

}  // namespace cli

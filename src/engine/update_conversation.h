// The update as its user lives it, written once for the window and for the terminal: the
// questions, the check right after them that the controller about to be written is the one the
// user was asked about, the image's check, the procedure with its progress, and the report of the
// outcome, for one unit or several side by side. Each program gives it a face (UpdateFace, and
// UpdatesFace for several) through which it asks and tells; the face only shows and asks, and
// keeps what is its own (boxes or prompts, the progress window or bar, holding off sleep, notices
// or signals while the controller is written).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "device/device_session.h"
#include "flash/firmware_image.h"
#include "flash/update_procedure.h"

enum class UpdateQuestion {
    warning,      // OK/Cancel: the update must not be interrupted
    olderOrSame,  // Yes/No: the controller already has the carried firmware or a newer one
};

// The text and caption of a question.
std::uint16_t textOf(UpdateQuestion question);
std::uint16_t captionOf(UpdateQuestion question);

// What an update tells at its end: the success text, or the failure's text with, where a command
// failed, the error-code line of its result and the platform's error.
struct UpdateReport {
    bool succeeded = false;
    std::uint16_t textId = 0;
    bool hasErrorCodeLine = false;
    ResultCode result = kSuccess;
    std::uint32_t lastError = 0;
};

// The outcome as the user reads it: the report's text (text, in the face's language) and, where a
// command failed, the error-code line made from errorCodeFormat, after separator. Composed into
// buffer (capacity in characters, terminator included); its length, or -1 when it does not fit
// (an error-code line that does not fit is left out).
int composeOutcome(wchar_t* buffer, int capacity, const UpdateReport& report, const wchar_t* text,
                   const wchar_t* errorCodeFormat, const wchar_t* separator);

// Whether the advice to try again (kTextUpdateFailedHint) follows an outcome: after a failure that
// does not already say it.
bool adviceFollows(const UpdateReport& report);

// How the update reaches its user. Every context is passed on; a function marked optional may be
// null.
struct UpdateFace {
    void* context = nullptr;
    // Asks; true for OK or Yes.
    bool (*ask)(void* context, UpdateQuestion question) = nullptr;
    // Optional. Once the answers are in: whether the session is still the one (the same
    // generation) that was checked when the update was asked for (the window follows removals
    // and arrivals while a question is open, and may have opened another since).
    bool (*isSameSession)(void* context) = nullptr;
    // Optional. Before and after the identification that follows the answers.
    void (*identifyingStarted)(void* context) = nullptr;
    void (*identifyingEnded)(void* context) = nullptr;
    // Optional. Right before the first command of the update, and once its outcome has been
    // reported: the span in which nothing may stop it.
    void (*writingStarted)(void* context) = nullptr;
    void (*writingEnded)(void* context) = nullptr;
    // The progress of the blocks.
    UpdateProgress progress;
    // Tells the outcome.
    void (*report)(void* context, const UpdateReport& report) = nullptr;
};

enum class UpdateEnd {
    succeeded,
    failed,     // a command failed, the image could not be sent, or no unit was open
    declined,   // a question was answered no; nothing was sent after it
    unitGone,   // after the questions the unit was gone, changed or no longer ready; nothing sent
    unitInUse,  // after the questions another program held the unit open for writing; nothing sent
};

// The whole update on the open session, with the image that locateImage gives once the questions
// are answered (the build's placeholder only where placeholderAccepted): the questions
// (confirmUpdate), then the writing (writeAgreedUpdate); converseUpdates with this unit alone.
UpdateEnd converseUpdate(DeviceSession& session, const UpdateFace& face,
                         FirmwareImage (*locateImage)(), bool placeholderAccepted);

// The writing part alone, for a unit whose update the user has agreed to (confirmUpdate or
// reidentifyAndReconfirm gave Confirmation::given): the image's check, the procedure with its
// progress, and the report of the outcome. Asks nothing, so it may run on a thread of its own, one
// for each unit, each with its own session and face.
UpdateEnd writeAgreedUpdate(DeviceSession& session, const UpdateFace& face,
                            FirmwareImage (*locateImage)(), bool placeholderAccepted);

enum class Confirmation {
    given,      // the controller now on the unit is the one the user agreed to write
    declined,   // a question was answered no; nothing was sent after it
    unitGone,   // the unit is gone, changed or no longer ready; nothing of the update may be sent
    unitInUse,  // another program holds the unit open for writing; nothing sent, session closed
};

// The questions alone: the warning and, where the installed firmware is not older than the
// carried one, the older-or-same question; then the unit identified again. When it is no longer a
// ready unit, the update must end; when its controller's type code or installed firmware differ
// from what the user was asked about, the questions are asked again for the controller now found,
// once: a controller found changed a second time ends the update as a unit no longer ready.
Confirmation confirmUpdate(DeviceSession& session, const UpdateFace& face);

// The check after the questions, when they were asked about the controller that the session
// shows: the unit identified again, and the questions asked anew through face when its
// controller differs from the one asked about (once, as above).
Confirmation reidentifyAndReconfirm(DeviceSession& session, const UpdateFace& face);

// One unit of an update of several: its session, its face (its questions, its progress, its
// report), and how its update ended.
struct UnitUpdate {
    DeviceSession* session = nullptr;
    UpdateFace face;
    UpdateEnd end = UpdateEnd::declined;
};

// How the questions are asked when several units are updated: each unit's questions through its
// own face, or the warning once for all (UpdatesFace::askAll) and then each unit's older-or-same
// question where its controller needs it.
enum class Asking { perUnit, warningOnceForAll };

// What an update of several units tells beside each unit's face. Optional functions may be null.
struct UpdatesFace {
    void* context = nullptr;
    Asking asking = Asking::perUnit;
    // The warning, asked once for every unit (Asking::warningOnceForAll).
    bool (*askAll)(void* context, UpdateQuestion question) = nullptr;
    // Optional. Right before the first unit's writing begins.
    void (*writingStarted)(void* context) = nullptr;
    // Optional. Runs write for each agreed unit, in their order, and returns once every writing
    // has ended (the terminal gives each a thread of its own). Null: one after the other on this
    // thread.
    void (*runWritings)(void* context, const std::vector<UnitUpdate*>& agreed,
                        const std::function<void(UnitUpdate&)>& write) = nullptr;
};

// The update of one or several open units: the questions as face.asking chooses, then each unit
// identified again (its questions asked anew where its controller changed), then every agreed
// unit's writing (writeAgreedUpdate) through face.runWritings. Each unit's end is kept in its
// UnitUpdate; a unit found gone or in use after the questions reports it as converseUpdate does.
// False when the warning asked once for all was answered no: nothing was sent, every unit is
// declined and nothing reported.
bool converseUpdates(std::vector<UnitUpdate>& units, const UpdatesFace& face,
                     FirmwareImage (*locateImage)(), bool placeholderAccepted);

// The questions before an update, asked the same way by the window and by the terminal, and the
// check right after them that the controller about to be written is the one the user was asked
// about.
#pragma once

#include <cstdint>

#include "device/device_session.h"

enum class UpdateQuestion {
    warning,      // OK/Cancel: the update must not be interrupted
    olderOrSame,  // Yes/No: the controller already has the carried firmware or a newer one
};

// The text and caption of a question.
std::uint16_t textOf(UpdateQuestion question);
std::uint16_t captionOf(UpdateQuestion question);

// How the questions reach the user; context is passed on.
struct UpdateQuestions {
    void* context = nullptr;
    // Asks; true for OK or Yes.
    bool (*ask)(void* context, UpdateQuestion question) = nullptr;
    // Once the answers are in, before the unit is asked again: whether the session is still the
    // opening that was checked when the update was asked for (the window follows removals and
    // arrivals while a question is open). Null: it is.
    bool (*stillTheCheckedOpening)(void* context) = nullptr;
    // Around the identification after the answers (the window holds its device notices). May be
    // null.
    void (*identifying)(void* context, bool started) = nullptr;
};

enum class Confirmation {
    given,     // the controller now on the unit is the one the user agreed to write
    declined,  // a question was answered no; nothing was sent after it
    unitGone,  // the unit is gone, changed or no longer ready; nothing of the update may be sent
};

// Asks the warning and, where the installed firmware is not older than the carried one, the
// older-or-same question; then identifies the unit again. When it is no longer a ready unit, the
// update must end; when its controller's type code or installed firmware differ from what the
// user was asked about, the questions are asked again for the controller now found.
Confirmation confirmUpdate(DeviceSession& session, const UpdateQuestions& questions);

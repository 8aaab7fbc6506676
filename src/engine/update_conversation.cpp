#include "engine/update_conversation.h"

#include "device/session_log.h"
#include "engine/format_text.h"
#include "engine/text_ids.h"
#include "engine/unit_state.h"
#include "flash/firmware_image.h"

namespace {

// What the user is asked about: the controller by its type, and the firmware it holds.
struct AskedAbout {
    std::uint32_t typeCode;
    std::uint16_t firmware;

    bool operator==(const AskedAbout& other) const {
        return typeCode == other.typeCode && firmware == other.firmware;
    }
};

AskedAbout askedAbout(const DeviceSession& session) {
    return AskedAbout{escTypeCode(session), escFirmwareVersion(session)};
}

// The older-or-same question, where the controller holds the carried firmware or a newer one.
bool olderOrSameAnsweredYes(const UpdateFace& face, const AskedAbout& controller) {
    return !isNotOlderThanImage(controller.firmware) ||
           face.ask(face.context, UpdateQuestion::olderOrSame);
}

bool answeredYes(const UpdateFace& face, const AskedAbout& controller) {
    return face.ask(face.context, UpdateQuestion::warning) &&
           olderOrSameAnsweredYes(face, controller);
}

// How often the controller may be found changed after the questions and be asked about anew.
constexpr int kChangesAskedAbout = 1;

// The unit's identification once more, right before the first command of the update.
bool identifiesAsReady(DeviceSession& session, const UpdateFace& face) {
    if (face.identifyingStarted != nullptr) face.identifyingStarted(face.context);
    const ResultCode result = identifyUnit(session);
    if (face.identifyingEnded != nullptr) face.identifyingEnded(face.context);
    return result == kSuccess && isReadyUnit(session);
}

void tellReport(const UpdateFace& face, std::uint16_t textId, ResultCode result = kNotAvailable,
                std::uint32_t lastError = 0) {
    UpdateReport report;
    report.textId = textId;
    report.hasErrorCodeLine = result != kNotAvailable;
    report.result = result;
    report.lastError = lastError;
    face.report(face.context, report);
}

// The end of an update whose questions ended it after the answers: reported as the face shows it.
UpdateEnd endAfterQuestions(Confirmation confirmation, const UpdateFace& face) {
    switch (confirmation) {
        case Confirmation::declined: return UpdateEnd::declined;
        case Confirmation::unitGone:
            // As when the first command finds the unit gone: nothing is sent, no code to show.
            tellReport(face, kTextLockFailed);
            return UpdateEnd::unitGone;
        case Confirmation::unitInUse: tellReport(face, kTextUnitInUse); return UpdateEnd::unitInUse;
        case Confirmation::given: break;
    }
    return UpdateEnd::succeeded;
}

}  // namespace

int composeOutcome(wchar_t* buffer, int capacity, const UpdateReport& report, const wchar_t* text,
                   const wchar_t* errorCodeFormat, const wchar_t* separator) {
    if (report.hasErrorCodeLine) {
        wchar_t line[kTextBufferSize];
        if (formatText(line, kTextBufferSize, errorCodeFormat,
                       static_cast<std::uint32_t>(report.result), report.lastError) >= 0) {
            const int length = formatText(buffer, capacity, L"%s%s%s", text, separator, line);
            if (length >= 0) return length;
        }
    }
    return formatText(buffer, capacity, L"%s", text);
}

bool adviceFollows(const UpdateReport& report) {
    return !report.succeeded && report.textId != kTextUpdateFailedHint;
}

std::uint16_t textOf(UpdateQuestion question) {
    return question == UpdateQuestion::warning ? kTextWarning : kTextOlderOrSame;
}

std::uint16_t captionOf(UpdateQuestion question) {
    return question == UpdateQuestion::warning ? kTextWarningCaption : kTextOlderOrSameCaption;
}

Confirmation confirmUpdate(DeviceSession& session, const UpdateFace& face) {
    if (!answeredYes(face, askedAbout(session))) return Confirmation::declined;
    return reidentifyAndReconfirm(session, face);
}

Confirmation reidentifyAndReconfirm(DeviceSession& session, const UpdateFace& face) {
    AskedAbout controller = askedAbout(session);
    for (int changesSeen = 0;; ++changesSeen) {
        if (face.isSameSession != nullptr && !face.isSameSession(face.context)) {
            return Confirmation::unitGone;
        }
        if (!isOpen(session)) return Confirmation::unitGone;
        // From here to the end of the update no other program may write to the unit: a report
        // it asks for would reach this program's queue as a reply. The identification that
        // follows is made through the handle that then writes, so the unit checked is the one
        // written.
        if (changesSeen == 0) {
            switch (holdAsSoleWriter(session)) {
                case SoleWriter::taken: break;
                case SoleWriter::inUse: return Confirmation::unitInUse;
                case SoleWriter::lost: return Confirmation::unitGone;
            }
        }
        if (!identifiesAsReady(session, face)) return Confirmation::unitGone;
        const AskedAbout found = askedAbout(session);
        if (found == controller) return Confirmation::given;
        // Changed once: another controller was put on the unit behind the questions, and is
        // asked about anew. Changed again: a controller whose identity does not hold still is
        // not written, as a unit that is no longer ready (asking on would never end).
        if (changesSeen == kChangesAskedAbout) return Confirmation::unitGone;
        controller = found;
        if (!answeredYes(face, controller)) return Confirmation::declined;
    }
}

UpdateEnd converseUpdate(DeviceSession& session, const UpdateFace& face,
                         FirmwareImage (*locateImage)(), bool placeholderAccepted) {
    if (!isOpen(session)) {
        tellReport(face, kTextUnitNotDetected);
        return UpdateEnd::failed;
    }
    std::vector<UnitUpdate> one(1);
    one[0].session = &session;
    one[0].face = face;
    converseUpdates(one, UpdatesFace{}, locateImage, placeholderAccepted);
    return one[0].end;
}

bool converseUpdates(std::vector<UnitUpdate>& units, const UpdatesFace& face,
                     FirmwareImage (*locateImage)(), bool placeholderAccepted) {
    const bool onceForAll = face.asking == Asking::warningOnceForAll;
    for (UnitUpdate& unit : units) unit.end = UpdateEnd::declined;
    if (onceForAll && !face.askAll(face.context, UpdateQuestion::warning)) return false;
    // Every unit's questions first, then every unit identified again: the answers may take long,
    // and what counts is each unit as it is right before its writing.
    std::vector<bool> answered;
    for (UnitUpdate& unit : units) {
        const AskedAbout controller = askedAbout(*unit.session);
        answered.push_back(onceForAll ? olderOrSameAnsweredYes(unit.face, controller)
                                      : answeredYes(unit.face, controller));
    }
    std::vector<UnitUpdate*> agreed;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (!answered[i]) continue;
        UnitUpdate& unit = units[i];
        const Confirmation confirmation = reidentifyAndReconfirm(*unit.session, unit.face);
        unit.end = endAfterQuestions(confirmation, unit.face);
        if (confirmation == Confirmation::given) agreed.push_back(&unit);
    }
    if (agreed.empty()) return true;
    const auto write = [locateImage, placeholderAccepted](UnitUpdate& unit) {
        unit.end = writeAgreedUpdate(*unit.session, unit.face, locateImage, placeholderAccepted);
    };
    if (face.writingStarted != nullptr) face.writingStarted(face.context);
    if (face.runWritings != nullptr) {
        face.runWritings(face.context, agreed, write);
    } else {
        for (UnitUpdate* unit : agreed) write(*unit);
    }
    return true;
}

UpdateEnd writeAgreedUpdate(DeviceSession& session, const UpdateFace& face,
                            FirmwareImage (*locateImage)(), bool placeholderAccepted) {
    const FirmwareImage image = locateImage();
    if (!canBeSent(image, placeholderAccepted)) {
        tellReport(face, kTextUpdateFailedHint);
        return UpdateEnd::failed;
    }
    if (face.writingStarted != nullptr) face.writingStarted(face.context);
    const UpdateOutcome outcome = writeFirmware(session, image, face.progress);
    if (session.log != nullptr) session.log->write();  // the log so far, before the outcome shows
    if (outcome.succeeded) {
        UpdateReport success;
        success.succeeded = true;
        success.textId = kTextUpdateSucceeded;
        face.report(face.context, success);
    } else {
        tellReport(face, failureTextOf(outcome.failedStep), outcome.result, outcome.lastError);
    }
    if (face.writingEnded != nullptr) face.writingEnded(face.context);
    return outcome.succeeded ? UpdateEnd::succeeded : UpdateEnd::failed;
}

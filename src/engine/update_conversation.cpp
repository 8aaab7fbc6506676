#include "engine/update_conversation.h"

#include "flash/firmware_image.h"
#include "engine/text_ids.h"
#include "engine/unit_state.h"

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

bool answeredYes(const UpdateFace& face, const AskedAbout& controller) {
    if (!face.ask(face.context, UpdateQuestion::warning)) return false;
    return !isNotOlderThanImage(controller.firmware) ||
           face.ask(face.context, UpdateQuestion::olderOrSame);
}

// How often the controller may be found changed after the questions and be asked about anew.
constexpr int kChangesAskedAbout = 1;

// The unit's identification once more, right before the first command of the update.
bool identifiesAsReady(DeviceSession& session, const UpdateFace& face) {
    if (face.identifying != nullptr) face.identifying(face.context, true);
    const ResultCode result = identifyUnit(session);
    if (face.identifying != nullptr) face.identifying(face.context, false);
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

void tellWriting(const UpdateFace& face, bool started) {
    if (face.writing != nullptr) face.writing(face.context, started);
}

}  // namespace

std::uint16_t textOf(UpdateQuestion question) {
    return question == UpdateQuestion::warning ? kTextWarning : kTextOlderOrSame;
}

std::uint16_t captionOf(UpdateQuestion question) {
    return question == UpdateQuestion::warning ? kTextWarningCaption : kTextNewerFirmwareCaption;
}

Confirmation confirmUpdate(DeviceSession& session, const UpdateFace& face) {
    if (!answeredYes(face, askedAbout(session))) return Confirmation::declined;
    return confirmAnswered(session, face);
}

Confirmation confirmAnswered(DeviceSession& session, const UpdateFace& face) {
    AskedAbout controller = askedAbout(session);
    for (int changesSeen = 0;; ++changesSeen) {
        if (face.stillTheCheckedOpening != nullptr && !face.stillTheCheckedOpening(face.context)) {
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
    switch (confirmUpdate(session, face)) {
        case Confirmation::declined: return UpdateEnd::declined;
        case Confirmation::unitGone:
            // As when the first command finds the unit gone: nothing is sent, no code to show.
            tellReport(face, kTextLockFailed);
            return UpdateEnd::unitGone;
        case Confirmation::unitInUse: tellReport(face, kTextUnitInUse); return UpdateEnd::unitInUse;
        case Confirmation::given: break;
    }
    return writeAgreedUpdate(session, face, locateImage, placeholderAccepted);
}

UpdateEnd writeAgreedUpdate(DeviceSession& session, const UpdateFace& face,
                            FirmwareImage (*locateImage)(), bool placeholderAccepted) {
    const FirmwareImage image = locateImage();
    if (!canBeSent(image, placeholderAccepted)) {
        tellReport(face, kTextUpdateFailedHint);
        return UpdateEnd::failed;
    }
    tellWriting(face, true);
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
    tellWriting(face, false);
    return outcome.succeeded ? UpdateEnd::succeeded : UpdateEnd::failed;
}

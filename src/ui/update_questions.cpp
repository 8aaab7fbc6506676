#include "ui/update_questions.h"

#include "flash/firmware_image.h"
#include "ui/resource_ids.h"
#include "ui/unit_state.h"

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

bool answeredYes(const UpdateQuestions& questions, const AskedAbout& controller) {
    if (!questions.ask(questions.context, UpdateQuestion::warning)) return false;
    return !isNotOlderThanImage(controller.firmware) ||
           questions.ask(questions.context, UpdateQuestion::olderOrSame);
}

// The unit's identification once more, right before the first command of the update.
bool identifiesAsReady(DeviceSession& session, const UpdateQuestions& questions) {
    if (questions.identifying != nullptr) questions.identifying(questions.context, true);
    const ResultCode result = identifyUnit(session);
    if (questions.identifying != nullptr) questions.identifying(questions.context, false);
    return result == kSuccess && isReadyUnit(session);
}

}  // namespace

std::uint16_t textOf(UpdateQuestion question) {
    return question == UpdateQuestion::warning ? kTextWarning : kTextOlderOrSame;
}

std::uint16_t captionOf(UpdateQuestion question) {
    return question == UpdateQuestion::warning ? kTextWarningCaption : kTextNewerFirmwareCaption;
}

Confirmation confirmUpdate(DeviceSession& session, const UpdateQuestions& questions) {
    AskedAbout controller = askedAbout(session);
    for (;;) {
        if (!answeredYes(questions, controller)) return Confirmation::declined;
        if (questions.stillTheCheckedOpening != nullptr &&
            !questions.stillTheCheckedOpening(questions.context)) {
            return Confirmation::unitGone;
        }
        if (!isOpen(session) || !identifiesAsReady(session, questions)) {
            return Confirmation::unitGone;
        }
        const AskedAbout found = askedAbout(session);
        if (found == controller) return Confirmation::given;
        controller = found;  // another controller, or other firmware: asked about anew
    }
}

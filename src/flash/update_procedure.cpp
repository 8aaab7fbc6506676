#include "flash/update_procedure.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "flash/commands.h"

namespace {

constexpr std::uint32_t kCommandPauseMs = 20;  // before each command after the lock
constexpr std::uint32_t kAfterErasePauseMs = 4000;
constexpr std::uint32_t kAfterBlockPauseMs = 20;

UpdateOutcome failedAt(UpdateStep step, ResultCode result, std::uint32_t lastError) {
    return UpdateOutcome{false, step, result, lastError};
}

// A step's result into the session's log, with the last error that the step left.
void logStep(const char* step, ResultCode result, const DeviceSession& session) {
    if (session.log != nullptr) session.log->noteResult(step, result, session.lastError);
}

const char* stepName(UpdateStep step) {
    switch (step) {
        case UpdateStep::lock: return "lock";
        case UpdateStep::unprotect: return "unprotect";
        case UpdateStep::erase: return "erase";
        case UpdateStep::address: return "address";
        case UpdateStep::block: return "block";
    }
    return "?";
}

void logOutcome(const UpdateOutcome& outcome, sessionlog::Log* log) {
    if (log == nullptr) return;
    if (outcome.succeeded) {
        log->note("outcome: the update succeeded");
        return;
    }
    char text[128];
    std::snprintf(text, sizeof text, "outcome: the update failed at %s: 0x%08x-0x%08x",
                  stepName(outcome.failedStep), static_cast<unsigned>(outcome.result),
                  static_cast<unsigned>(outcome.lastError));
    log->note(text);
}

void tell(void (*what)(void*), const UpdateProgress& progress) {
    if (what != nullptr) what(progress.context);
}

// The bootloader commands before the transfer; a failure's outcome, or success.
UpdateOutcome prepareController(DeviceSession& session) {
    ResultCode result = setSystemLock(session, true);
    logStep("lock", result, session);
    if (result != kSuccess) return failedAt(UpdateStep::lock, result, session.lastError);

    session.clock->pause(kCommandPauseMs);
    result = setWriteProtection(session, false);
    logStep("unprotect", result, session);
    if (result != kSuccess) return failedAt(UpdateStep::unprotect, result, session.lastError);

    session.clock->pause(kCommandPauseMs);
    result = eraseFirmware(session);
    const std::uint32_t eraseError = session.lastError;
    logStep("erase", result, session);
    session.clock->pause(
        kAfterErasePauseMs);  // the controller settles after the erase, whatever its result
    if (result != kSuccess) return failedAt(UpdateStep::erase, result, eraseError);

    session.clock->pause(kCommandPauseMs);
    result = setWriteAddress(session, 0);
    logStep("address", result, session);
    if (result != kSuccess) return failedAt(UpdateStep::address, result, session.lastError);
    return UpdateOutcome{true, UpdateStep::lock, kSuccess, 0};
}

// Sends the image in 48-byte blocks, the last one padded with 0xFF.
UpdateOutcome transferImage(DeviceSession& session, const FirmwareImage& image,
                            const UpdateProgress& progress) {
    tell(progress.transferStarting, progress);
    const std::uint32_t total = static_cast<std::uint32_t>(image.size);
    const std::uint8_t* next = image.bytes;
    std::uint32_t remaining = total;
    const std::uint32_t blocks = (total + kBlockBytes - 1) / kBlockBytes;
    std::uint32_t sent = 0;  // blocks accepted
    while (remaining != 0) {
        ResultCode result;
        if (remaining >= kBlockBytes) {
            result = writeBlock(session, next, kBlockBytes, kBlockBytes / 4);
            next += kBlockBytes;
            remaining -= kBlockBytes;
        } else {
            // The last, short block: its words, then 0xFF to the end of the area.
            std::uint8_t area[kBlockBytes];
            std::memset(area, 0xFF, sizeof area);
            std::memcpy(area, next, remaining);
            result = writeBlock(session, area, sizeof area, remaining / 4);
            remaining = 0;
        }
        if (result != kSuccess) {
            const std::uint32_t error = session.lastError;
            logStep(("block " + std::to_string(sent + 1) + " of " + std::to_string(blocks)).c_str(),
                    result, session);
            tell(progress.transferEnded, progress);
            return failedAt(UpdateStep::block, result, error);
        }
        ++sent;
        if (progress.blockWritten != nullptr) {
            progress.blockWritten(progress.context, (total - remaining) * 100u / total);
        }
        session.clock->pause(kAfterBlockPauseMs);
    }
    tell(progress.transferEnded, progress);
    logStep(("blocks, all " + std::to_string(blocks)).c_str(), kSuccess, session);
    return UpdateOutcome{true, UpdateStep::block, kSuccess, 0};
}

// Protects the new firmware and releases the unit; the update has succeeded by now, so neither
// result changes the outcome.
void restoreProtection(DeviceSession& session) {
    logStep("protect", setWriteProtection(session, true), session);
    logStep("release", setSystemLock(session, false), session);
}

}  // namespace

bool canBeSent(const FirmwareImage& image, bool placeholderAccepted) {
    return image.bytes != nullptr && image.size != 0 && image.size % 4 == 0 &&
           matchesExpectedDigest(image) && (!image.placeholder || placeholderAccepted);
}

UpdateOutcome writeFirmware(DeviceSession& session, const FirmwareImage& image,
                            const UpdateProgress& progress) {
    // From the first command to the last, a report that no request of this update asked for
    // stops it (see exchange): a reply taken in its place would have a block read as written.
    session.updating = true;
    UpdateOutcome outcome = prepareController(session);
    if (outcome.succeeded) {
        session.clock->pause(kCommandPauseMs);
        outcome = transferImage(session, image, progress);
        if (outcome.succeeded) restoreProtection(session);
    }
    session.updating = false;
    logOutcome(outcome, session.log);
    return outcome;
}

#include "flash/update_procedure.h"

#include <cstring>

#include "flash/commands.h"

namespace {

constexpr std::uint32_t kCommandPauseMs = 20;  // before each command after the lock
constexpr std::uint32_t kAfterErasePauseMs = 4000;
constexpr std::uint32_t kAfterBlockPauseMs = 20;

UpdateOutcome failedAt(UpdateStep step, ResultCode result, std::uint32_t lastError) {
    return UpdateOutcome{false, step, result, lastError};
}

void tell(void (*what)(void*), const UpdateProgress& progress) {
    if (what != nullptr) what(progress.context);
}

// The bootloader commands before the transfer; a failure's outcome, or success.
UpdateOutcome prepareController(DeviceSession& session) {
    ResultCode result = setSystemLock(session, true);
    if (result != kSuccess) return failedAt(UpdateStep::lock, result, session.lastError);

    hid::pause(kCommandPauseMs);
    result = setWriteProtection(session, false);
    if (result != kSuccess) return failedAt(UpdateStep::unprotect, result, session.lastError);

    hid::pause(kCommandPauseMs);
    result = eraseFirmware(session);
    const std::uint32_t eraseError = session.lastError;
    hid::pause(kAfterErasePauseMs);  // the controller settles after the erase, whatever its result
    if (result != kSuccess) return failedAt(UpdateStep::erase, result, eraseError);

    hid::pause(kCommandPauseMs);
    result = setWriteAddress(session, 0);
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
            tell(progress.transferEnded, progress);
            return failedAt(UpdateStep::block, result, error);
        }
        if (progress.blockWritten != nullptr) {
            progress.blockWritten(progress.context, (total - remaining) * 100u / total);
        }
        hid::pause(kAfterBlockPauseMs);
    }
    tell(progress.transferEnded, progress);
    return UpdateOutcome{true, UpdateStep::block, kSuccess, 0};
}

// Protects the new firmware and releases the unit; the update has succeeded by now, so neither
// result changes the outcome.
void restoreProtection(DeviceSession& session) {
    setWriteProtection(session, true);
    setSystemLock(session, false);
}

}  // namespace

bool canBeSent(const FirmwareImage& image, bool placeholderAccepted) {
    return image.bytes != nullptr && image.size != 0 && image.size % 4 == 0 &&
           matchesExpectedDigest(image) && (!image.placeholder || placeholderAccepted);
}

UpdateOutcome writeFirmware(DeviceSession& session, const FirmwareImage& image,
                            const UpdateProgress& progress) {
    UpdateOutcome outcome = prepareController(session);
    if (!outcome.succeeded) return outcome;
    hid::pause(kCommandPauseMs);
    outcome = transferImage(session, image, progress);
    if (!outcome.succeeded) return outcome;
    restoreProtection(session);
    return outcome;
}

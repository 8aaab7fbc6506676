// The update procedure itself, from the first command to the closing commands, apart from any
// window: the bootloader commands in their order with their pauses, the image in 48-byte blocks,
// progress told as it goes, and the outcome returned. The conversation around it (the questions,
// the check after them, the report of the outcome) is the engine's (src/engine/
// update_conversation.h), which both programs drive, each with its own progress.
#pragma once

#include <cstdint>

#include "device/device_session.h"
#include "flash/firmware_image.h"

// The steps that can fail, in their order.
enum class UpdateStep { lock, unprotect, erase, address, block };

struct UpdateOutcome {
    bool succeeded;
    UpdateStep failedStep;    // when not succeeded
    ResultCode result;        // the failed step's result
    std::uint32_t lastError;  // the platform's last error, read right after the failed step
};

// What the procedure tells while it writes; any function may be null. context is passed on.
struct UpdateProgress {
    void* context = nullptr;
    // The blocks are about to be sent (the address is set and its pause is over).
    void (*transferStarting)(void* context) = nullptr;
    // A block was accepted; percent = bytes sent so far * 100 / image size, truncated. Called
    // before the pause that follows the block.
    void (*blockWritten)(void* context, std::uint32_t percent) = nullptr;
    // The blocks are over: all accepted, or one failed (after its last error has been read).
    void (*transferEnded)(void* context) = nullptr;
};

// The size of one data block.
constexpr std::uint32_t kBlockBytes = 48;

// Whether image may be sent: present, not empty, a whole number of 4-byte words, with the digest
// that the build stored (not damaged on the way to the user or on the disk), and not the build's
// placeholder unless placeholderAccepted (a simulated unit): the placeholder is no firmware, and a
// controller given it would be left without any.
bool canBeSent(const FirmwareImage& image, bool placeholderAccepted);

// Writes image into the controller behind the open session: lock, unprotect, erase, address, the
// blocks, then protection on and the lock released. The two closing commands come once every
// block was accepted; their results change nothing. Nothing is retried; the first failure ends it.
UpdateOutcome writeFirmware(DeviceSession& session, const FirmwareImage& image,
                            const UpdateProgress& progress);

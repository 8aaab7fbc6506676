// The numbers of the message catalogue's texts, as both faces reach them, and the size of the
// buffer that every text is loaded into.
#pragma once

#include <cstdint>

// Texts of the message catalogue.
enum TextId : std::uint16_t {
    kTextReady = 40000,
    kTextInstructions = 40001,
    kTextUpdateFailedCaption = 40002,
    kTextAddressFailed = 40008,
    kTextBlockFailed = 40009,
    kTextRegistrationFailed = 40011,
    kTextApplicationErrorCaption = 40012,
    kTextWrongMode = 40015,
    kTextNoController = 40016,
    kTextNoUnit = 40017,
    kTextConnectionLost = 40020,
    kTextUnitNotDetected = 40022,
    kTextOlderOrSame = 40023,
    kTextNewerFirmwareCaption = 40025,
    kTextLockFailed = 40026,
    kTextUnprotectFailed = 40027,
    kTextEraseFailed = 40028,
    kTextUpdateInProgress = 40029,
    kTextUpdateFailedHint = 40030,
    kTextUpdateSucceeded = 40032,
    kTextIncompatibleCaption = 40033,
    kTextIncompatibleNotice = 40034,
    kTextIncompatible = 40035,
    kTextErrorCodeLine = 40036,
    kTextWarningCaption = 40037,
    kTextWarning = 40038,
    kTextRow1Caption = 40039,
    kTextRow2Caption = 40040,
    kTextRow3Caption = 40041,
    kTextLogNotWritten = 40042,  // ours: the run's log could not be written
    kTextUnitInUse = 40043,      // ours: another program holds the unit for writing
};

// Every text is loaded into a buffer of this many UTF-16 units, terminator included.
constexpr int kTextBufferSize = 2048;

// The numbers by which the code reaches the program's resources: texts of the message
// catalogue, the controls of the main dialog, and the other resources. Texts and controls share
// one number range without any relation between a text and a control of the same number.
#pragma once

#include <cstdint>

// Resources.
constexpr std::uint16_t kMainDialogId = 110;
constexpr std::uint16_t kProgressDialogId = 113;  // carried, never loaded
constexpr std::uint16_t kLogoBitmapId = 121;
constexpr std::uint16_t kIconGroupId = 123;
constexpr std::uint16_t kFirmwareImageId = 151;

// Controls of the main dialog.
constexpr int kCloseButton = 2;
constexpr int kUpdateButton = 1002;
constexpr int kRow2Caption = 1005;
constexpr int kHintBox = 40004;
constexpr int kVersionGroupBox = 40007;
constexpr int kRow1Caption = 40010;
constexpr int kRow3Caption = 40011;
constexpr int kRow1Version = 40013;
constexpr int kRow2Version = 40014;
constexpr int kRow3Version = 40015;

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

// The numbers by which the code reaches the program's resources: texts of the message catalogue
// (engine/text_ids.h), the controls of the main dialog, and the other resources. Texts and
// controls share one number range without any relation between a text and a control of the
// same number.
#pragma once

#include <cstdint>

#include "engine/text_ids.h"

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

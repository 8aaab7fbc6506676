// What the stand-in updater shows and how its controls are numbered (the updater's own numbers
// where it has a control of that kind).
#pragma once

constexpr int kStandInAskButton = 1002;
constexpr int kStandInBusyButton = 1003;
constexpr int kStandInHintBox = 40004;
constexpr int kStandInNoticeText = 40013;
constexpr unsigned kStandInBusyMs = 3000;

constexpr wchar_t kStandInTitle[] = L"Stand-in updater";
constexpr wchar_t kStandInBoxCaption[] = L"Stand-in question";
constexpr wchar_t kStandInBoxText[] = L"Go on?\r\nOK or Cancel.";

#include "ui/main_window.h"

#include "ui/app.h"
#include "engine/format_text.h"
#include "ui/resource_ids.h"
#include "ui/texts.h"

namespace {

constexpr int kLogoGap = 20;          // between the group box and the logo
constexpr int kLogoRightMargin = 45;  // kept free at the window's right edge

void setControlTextFromCatalogue(int controlId, std::uint16_t textId) {
    window::setControlText(controlId, loadText(textId).chars);
}

}  // namespace

void showWindowTexts() {
    wchar_t title[kTitleBufferSize];
    buildProgramTitle(title, kTitleBufferSize);
    window::setTitle(title);
    setControlTextFromCatalogue(kRow1Caption, kTextRow1Caption);
    setControlTextFromCatalogue(kRow2Caption, kTextRow2Caption);
    setControlTextFromCatalogue(kRow3Caption, kTextRow3Caption);
}

void reportRegistrationFailure() {
    showTextBox(kTextRegistrationFailed, kTextApplicationErrorCaption, window::Box::error);
}

LogoPlacement placeLogo(int bitmapWidth, int bitmapHeight, window::Rect windowRect,
                        window::Rect groupRect, int frameWidth, int captionHeight) {
    LogoPlacement placement{};
    placement.x = groupRect.right - (windowRect.left + frameWidth) + kLogoGap;
    placement.y = groupRect.top - (windowRect.top + captionHeight);
    if (bitmapWidth <= 0 || bitmapHeight <= 0) return placement;  // nothing to draw
    const int room = windowRect.right - groupRect.right - kLogoRightMargin;
    int width = bitmapWidth / 2 < room ? bitmapWidth / 2 : room;
    if (width < 0) width = 0;  // a window too narrow for any logo draws none
    // Single precision, quotient first, truncated: the rounding the logo's size is known by.
    const float scaled = static_cast<float>(width) / static_cast<float>(bitmapWidth) *
                         static_cast<float>(bitmapHeight);
    placement.width = width;
    placement.height = static_cast<int>(scaled);
    return placement;
}

bool isRedControl(int controlId) { return controlId == kRow3Caption || controlId == kRow3Version; }

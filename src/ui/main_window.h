// The main window's own logic, apart from the window system: the title, the row captions, the
// registration-failure notice, the logo's place and size, and which controls are drawn red.
#pragma once

#include <cstdint>

#include "ui/app.h"
#include "ui/window.h"

// Colours as the window system's COLORREF: 0x00BBGGRR.
constexpr std::uint32_t kLogoKeyColour = 0x0000FF00;  // the logo's background, left out
constexpr std::uint32_t kRedRowColour = 0x000000FF;   // the controller's row

// Sets the title and the three row captions, replacing the template's.
void showWindowTexts();

// The error box that ends the program when device notices cannot be registered for.
void reportRegistrationFailure();

// Where the logo goes, in the main window's paint coordinates, and how large.
struct LogoPlacement {
    int x, y, width, height;
};

// The logo (bitmapWidth x bitmapHeight) beside the Version panel: 20 pixels right of the group
// box, at most half the bitmap's width and no wider than the room that leaves 45 pixels at the
// window's right edge; the height keeps the bitmap's proportions. windowRect and groupRect are
// outer rectangles in screen coordinates.
LogoPlacement placeLogo(int bitmapWidth, int bitmapHeight, window::Rect windowRect,
                        window::Rect groupRect, int frameWidth, int captionHeight);

// Whether a static control is drawn in red: the controller's row, caption and version.
bool isRedControl(int controlId);

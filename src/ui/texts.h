// The catalogue's texts as the window's logic uses them: loaded at the moment of use into a
// buffer of their own, and message boxes built from text IDs.
#pragma once

#include <cstdint>

#include "ui/resource_ids.h"
#include "ui/window.h"

// One loaded text, cut to the buffer that every text is loaded into.
struct Text {
    wchar_t chars[kTextBufferSize];
};

// Text id of the message catalogue in the user's language; empty for an id without text.
Text loadText(std::uint16_t id);

// A message box owned by the main window with text textId and caption captionId; its answer.
window::Answer showTextBox(std::uint16_t textId, std::uint16_t captionId, window::Box box);

#include "ui/texts.h"

#include "ui/window.h"

Text loadText(std::uint16_t id) {
    Text text;
    window::loadText(id, text.chars, kTextBufferSize);
    return text;
}

window::Answer showTextBox(std::uint16_t textId, std::uint16_t captionId, window::Box box) {
    return window::showMessageBox(loadText(textId).chars, loadText(captionId).chars, box);
}
